#include "updater/shell_start.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"

namespace meridox {

namespace fs = veltrano::fs;
namespace text = veltrano::text;
namespace stdfs = std::filesystem;

namespace {

[[noreturn]] void fileNotFound() { throw veltrano::RuntimeError(veltrano::err::kFileNotFound, "Shell"); }

bool hasFolder(std::string_view name) {
  return name.find_first_of("\\/") != std::string_view::npos || name.find(':') != std::string_view::npos;
}

// The base name in lower case without ".exe".
std::string programWord(std::string_view program) {
  std::string word = text::LCase(fs::fileNamePart(program));
  if (word.size() > 4 && word.compare(word.size() - 4, 4, ".exe") == 0) word.erase(word.size() - 4);
  return word;
}

std::string findOnPath(const std::string& name) { return veltrano::proc::findOnPath(name); }

// A file beside the updater: "<folder>\<name>" as it exists, else "".
std::string besideUpdater(const std::string& programFolder, const std::string& name) {
  if (programFolder.empty()) return {};
  const std::string candidate = programFolder + "\\" + name;
  return fs::fileExists(candidate) ? fs::toNative(candidate).string() : std::string();
}

bool isViewer(std::string_view program) { return !hasFolder(program) && programWord(program) == "notepad"; }

// No text viewer on this machine: each file is shown in a window of the program's own, which
// the caller waits on, rather than not at all. A file that cannot be read raises 53.
int showInOwnWindow(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    const stdfs::path native = fs::toNative(file);  // the name as it exists on disk
    std::ifstream in(native, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) fileNotFound();
    const std::string raw = bytes.str();
    // README files come from Windows servers in CP949; a UTF-8 file is taken as it is.
    const std::string shown = text::IsValidUtf8(raw) ? raw : text::fromAnsi(raw);
    veltrano::ui::current().showText(native.filename().string() + " - 메모장", shown);
  }
  return 0;
}

int startResolved(const std::vector<std::string>& resolved, std::vector<std::string> args) {
  if (resolved.empty()) fileNotFound();
  std::vector<std::string> all(resolved.begin() + 1, resolved.end());
  all.insert(all.end(), args.begin(), args.end());
  const int pid = veltrano::proc::startDetached(resolved.front(), all);
  if (pid < 0) fileNotFound();
  return pid;
}

// Program and arguments of a command text.
std::vector<std::string> splitCommand(std::string_view commandText) {
  const std::string whole = text::Trim(commandText);
  if (hasFolder(whole) && fs::fileExists(whole)) return {whole};
  return veltrano::proc::splitCommandLine(commandText);
}

std::vector<std::string> viewerArguments(const std::vector<std::string>& args) {
  std::vector<std::string> out;
  for (const std::string& a : args) out.push_back(hasFolder(a) ? fs::toNative(a).string() : a);
  return out;
}

}  // namespace

std::vector<std::string> ResolveProgram(std::string_view program, const std::string& programFolder) {
  const std::string word = programWord(program);
  if (!hasFolder(program)) {
    if (word == "regsvr32") {
      for (const char* name : {"regsvr32", "regsvr32.exe"})
        if (std::string beside = besideUpdater(programFolder, name); !beside.empty()) return {beside};
      if (std::string onPath = findOnPath("regsvr32"); !onPath.empty()) return {onPath};
      return {};
    }
    if (word == "notepad") return veltrano::proc::textViewer();
    const std::string name(program);
    if (std::string beside = besideUpdater(programFolder, name); !beside.empty()) return {beside};
    if (std::string onPath = findOnPath(name); !onPath.empty()) return {onPath};
    return {};
  }
  if (!fs::fileExists(program)) return {};
  return {fs::toNative(program).string()};
}

int StartProgram(const std::string& program, const std::vector<std::string>& args, const std::string& programFolder) {
  std::vector<std::string> resolved = ResolveProgram(program, programFolder);
  if (isViewer(program) && resolved.empty() && !args.empty()) return showInOwnWindow(args);
  return startResolved(resolved, isViewer(program) ? viewerArguments(args) : args);
}

int Shell(std::string_view commandText, const std::string& programFolder) {
  const std::vector<std::string> words = splitCommand(commandText);
  if (words.empty()) fileNotFound();
  return StartProgram(words.front(), std::vector<std::string>(words.begin() + 1, words.end()), programFolder);
}

void ShellInOrder(const std::vector<std::string>& commandTexts, const std::string& programFolder) {
  std::vector<std::vector<std::string>> commands;
  for (const std::string& command : commandTexts) {
    const std::vector<std::string> words = splitCommand(command);
    if (words.empty()) fileNotFound();
    std::vector<std::string> resolved = ResolveProgram(words.front(), programFolder);
    if (resolved.empty()) fileNotFound();
    std::vector<std::string> args(words.begin() + 1, words.end());
    if (isViewer(words.front())) args = viewerArguments(args);
    resolved.insert(resolved.end(), args.begin(), args.end());
    commands.push_back(std::move(resolved));
  }
  if (!veltrano::proc::startInOrder(commands)) fileNotFound();
}

void MarkRunnable(std::string_view path) noexcept {
  try {
    if (text::LCase(text::Right(fs::fileNamePart(path), 4)) != ".exe") return;
    std::error_code ec;
    stdfs::permissions(fs::toNative(path),
                       stdfs::perms::owner_exec | stdfs::perms::group_exec | stdfs::perms::others_exec,
                       stdfs::perm_options::add, ec);
  } catch (...) {
  }
}

}  // namespace meridox
