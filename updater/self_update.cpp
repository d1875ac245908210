#include "updater/self_update.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/crypto/crypto.h"
#include "platform/deploy/deploy.h"
#include "platform/fs/fs.h"
#include "platform/fs/side_file.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"
#include "updater/mod_killproc.h"
#include "updater/shell_start.h"

namespace meridox {

namespace crypto = veltrano::crypto;
namespace fs = veltrano::fs;
namespace text = veltrano::text;
namespace ui = veltrano::ui;
using veltrano::RuntimeError;

namespace {

constexpr const char* kTitle = "업데이트";

bool isUpdater(const ProgramInfo& p) { return text::LCase(p.exeName) == kUpdaterProgramName; }

// Runs `step` until it succeeds or the attempts are spent, letting the window breathe and
// waiting between attempts.
template <class Step>
bool tryBounded(Step&& step, std::string& why) {
  for (int attempt = 1; attempt <= kRelayAttempts; ++attempt) {
    try {
      if (step()) return true;
    } catch (const RuntimeError& e) {
      why = e.description();
    }
    ui::DoEvents();
    if (attempt < kRelayAttempts) veltrano::clock().sleep(kRelayAttemptPauseMs);
  }
  return false;
}

// True without a signing key; with one, when the patch file's signature file verifies it.
bool patchFileVerified(const ProgramInfo& p) {
  const std::optional<std::string> keyText = veltrano::deploy::find("UPDATE_PUBLIC_KEY");
  if (!keyText) return true;
  const auto key = crypto::base64Decode(*keyText);
  std::ifstream sigIn(fs::toNative(PatchSignatureFile(p)), std::ios::binary);
  std::ifstream in(fs::toNative(PatchFile(p)), std::ios::binary);
  if (!key || !sigIn || !in) return false;
  std::ostringstream sigText;
  sigText << sigIn.rdbuf();
  const auto signature = crypto::base64Decode(sigText.str());
  if (!signature) return false;
  crypto::Sha256 sha;
  std::vector<char> buffer(64 * 1024);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    sha.update(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return false;
  const crypto::Digest digest = sha.finish();
  return crypto::verify(*key, crypto::Bytes(digest.begin(), digest.end()), *signature);
}

}  // namespace

std::string UpdaterFile(const ProgramInfo& p) { return p.path + "\\meridox.exe"; }
std::string PatchFile(const ProgramInfo& p) { return p.path + "\\meridoxpch.exe"; }

bool IsCopyCommand(const ProgramInfo& p) {
  return text::UCase(p.command) == "COPY" && text::LCase(p.exeName) == kPatchProgramName;
}

bool IsDeleteCommand(const ProgramInfo& p) { return p.command == "Delete"; }

std::string PatchSignatureFile(const ProgramInfo& p) { return PatchFile(p) + ".sig"; }

bool IsPatchFileName(const std::string& fileName) {
  return text::LCase(text::Trim(fileName)) == std::string(kPatchProgramName) + ".exe";
}

void HandOffCheck(const ProgramInfo& p) {
  if (!isUpdater(p) || !fs::fileExists(PatchFile(p))) return;
  if (!patchFileVerified(p)) {
    // Never started: a patch file nobody can vouch for goes, with its signature file.
    std::string why;
    DeletePatchFile(p, why);
    try {
      if (fs::fileExists(PatchSignatureFile(p))) fs::deleteFile(PatchSignatureFile(p));
    } catch (const RuntimeError&) {
    }
    return;
  }
  MarkRunnable(PatchFile(p));
  StartProgram(PatchFile(p), {"COPY"}, p.path);
}

bool ReplaceUpdaterFile(const ProgramInfo& p, std::string& why) {
  const std::string source = p.path + "\\Meridoxpch.exe";
  const std::string target = p.path + "\\Meridox.exe";
  // The copy goes into a side file beside the updater and replaces it in one rename, so the
  // folder never lacks a whole updater. A side file that is complete is kept between attempts:
  // only its replacement is tried again.
  fs::SideFile side;
  return tryBounded(
      [&] {
        if (!side.complete()) {
          side.create(target);
          side.writeFrom(source);
        }
        side.place();
        MarkRunnable(target);
        return true;
      },
      why);
}

bool DeletePatchFile(const ProgramInfo& p, std::string& why) {
  return tryBounded(
      [&] {
        if (fs::fileExists(PatchFile(p))) fs::deleteFile(PatchFile(p));
        return !fs::fileExists(PatchFile(p));
      },
      why);
}

void RunCopyMode(const ProgramInfo& p) {
  KillProcessByName("meridox.exe");
  veltrano::clock().sleep(1000);
  if (fs::fileExists(PatchFile(p))) {
    std::string why;
    if (!ReplaceUpdaterFile(p, why)) {
      ui::MsgBox("업데이트 프로그램(meridox.exe)을 새 버젼으로 바꾸지 못했습니다." "\r\n\r\n" + why +
                     "\r\n\r\n다음에 업데이트를 실행하면 다시 시도합니다.",
                 ui::vbCritical, kTitle);
      throw veltrano::ProgramEnd(kRelayFailed);
    }
    try {
      StartProgram(UpdaterFile(p), {"Delete"}, p.path);
    } catch (const RuntimeError&) {
      // The new updater is in place; the patch file it would have removed is removed by the
      // hand-off of the next run.
    }
  }
  throw veltrano::ProgramEnd(kRelayDone);
}

void RunCleanupMode(const ProgramInfo& p) {
  KillProcessByName("meridoxpch.exe");
  veltrano::clock().sleep(1000);
  if (isUpdater(p) && fs::fileExists(PatchFile(p))) {
    std::string why;
    try {
      if (fs::fileExists(PatchSignatureFile(p))) fs::deleteFile(PatchSignatureFile(p));
    } catch (const RuntimeError&) {
    }
    if (!DeletePatchFile(p, why)) {
      ui::MsgBox("업데이트 임시파일(meridoxpch.exe)을 지우지 못했습니다." "\r\n\r\n" + why, ui::vbExclamation, kTitle);
      throw veltrano::ProgramEnd(kRelayFailed);
    }
  }
  throw veltrano::ProgramEnd(kRelayDone);
}

}  // namespace meridox
