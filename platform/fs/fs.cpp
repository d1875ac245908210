#include "platform/fs/fs.h"

#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/deploy/deploy.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"

namespace stdfs = std::filesystem;

namespace veltrano::fs {
namespace {

struct Fault {
  std::string operation, pathPart;
  int error, count;
};
std::vector<Fault> g_faults;
// An injected fault with this number stops the process at once (SIGKILL) instead of raising.
constexpr int kKillProcess = -9;

// Faults given to a whole process by VELTRANO_FS_FAULTS: "operation:pathPart:number[:count]"
// entries separated by ";", number "kill" for kKillProcess; read once, at the first check.
void loadEnvironmentFaults() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  const char* env = std::getenv("VELTRANO_FS_FAULTS");
  if (!env) return;
  for (const std::string& entry : text::Split(env, ";")) {
    const std::vector<std::string> f = text::Split(entry, ":");
    if (f.size() < 3) continue;
    const int number = f[2] == "kill" ? kKillProcess : std::atoi(f[2].c_str());
    g_faults.push_back({f[0], f[1], number, f.size() > 3 ? std::atoi(f[3].c_str()) : 1});
  }
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Finds an entry of `dir` whose name equals `name` without regard to case.
stdfs::path matchCase(const stdfs::path& dir, const std::string& name) {
  std::error_code ec;
  if (stdfs::exists(dir / name, ec)) return dir / name;
  const std::string wanted = text::UCase(name);
  for (const auto& entry : stdfs::directory_iterator(dir, ec)) {
    if (text::UCase(entry.path().filename().string()) == wanted) return entry.path();
  }
  return dir / name;
}

[[noreturn]] void raise(int number, std::string_view what) {
  throw RuntimeError(number, std::string(what));
}

int errorOf(const std::error_code& ec, int fallback) {
  if (ec == std::errc::no_such_file_or_directory) return err::kFileNotFound;
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) return err::kPermissionDenied;
  if (ec == std::errc::file_exists) return err::kFileAlreadyExists;
  if (ec == std::errc::no_space_on_device) return err::kDiskFull;
  return fallback;
}

}  // namespace

stdfs::path driveFolder(char letter) {
  const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (up == 'C') {
    std::string configured = deploy::get("DRIVE_C");
    if (!configured.empty()) return configured;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string base = xdg && *xdg ? xdg : std::string(home && *home ? home : "/tmp") + "/.local/share";
    return base + "/veltrano/drive_c";
  }
  std::string var = std::string("VELTRANO_DRIVE_") + up;
  if (const char* env = std::getenv(var.c_str()); env && *env) return env;
  return stdfs::path("/nonexistent-drive-") += std::string(1, up);
}

stdfs::path toNative(std::string_view p) {
  stdfs::path base;
  std::size_t i = 0;
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    base = driveFolder(p[0]);
    i = 2;
  } else if (!p.empty() && p[0] == '/') {
    base = "/";
  } else if (!p.empty() && p[0] == '\\') {
    base = driveFolder('C');
  } else {
    std::error_code ec;
    base = stdfs::current_path(ec);
  }
  stdfs::path out = base;
  std::string part;
  auto flush = [&] {
    if (part.empty() || part == ".") {
      part.clear();
      return;
    }
    if (part == "..") out = out.parent_path();
    else out = matchCase(out, part);
    part.clear();
  };
  for (; i < p.size(); ++i) {
    if (isSeparator(p[i])) flush();
    else part.push_back(p[i]);
  }
  flush();
  return out;
}

bool fileExists(std::string_view path) {
  std::error_code ec;
  return stdfs::is_regular_file(toNative(path), ec);
}

bool folderExists(std::string_view path) {
  std::error_code ec;
  return stdfs::is_directory(toNative(path), ec);
}

std::uint64_t fileLength(std::string_view path) {
  std::error_code ec;
  auto n = stdfs::file_size(toNative(path), ec);
  if (ec) raise(err::kFileNotFound, "FileLen");
  return n;
}

void createFolder(std::string_view path) {
  stdfs::path native = toNative(path);
  checkFault("create", native);
  std::error_code ec;
  if (stdfs::exists(native, ec)) raise(err::kFileAlreadyExists, "CreateFolder");
  if (!stdfs::is_directory(native.parent_path(), ec)) raise(err::kPathNotFound, "CreateFolder");
  if (!stdfs::create_directory(native, ec)) raise(errorOf(ec, err::kPathFileAccessError), "CreateFolder");
}

void deleteFile(std::string_view path) {
  stdfs::path native = toNative(path);
  checkFault("delete", native);
  std::error_code ec;
  if (!stdfs::is_regular_file(native, ec)) raise(err::kFileNotFound, "Kill");
  if (!stdfs::remove(native, ec)) raise(errorOf(ec, err::kPermissionDenied), "Kill");
}

void copyFile(std::string_view from, std::string_view to) {
  stdfs::path src = toNative(from), dst = toNative(to);
  checkFault("copy", src);
  checkFault("copy", dst);
  std::error_code ec;
  if (!stdfs::is_regular_file(src, ec)) raise(err::kFileNotFound, "FileCopy");
  if (!stdfs::is_directory(dst.parent_path(), ec)) raise(err::kPathNotFound, "FileCopy");
  stdfs::copy_file(src, dst, stdfs::copy_options::overwrite_existing, ec);
  if (ec) raise(errorOf(ec, err::kPathFileAccessError), "FileCopy");
}

void renameFile(std::string_view from, std::string_view to) {
  stdfs::path src = toNative(from), dst = toNative(to);
  checkFault("rename", src);
  std::error_code ec;
  stdfs::rename(src, dst, ec);
  if (ec) raise(errorOf(ec, err::kPathFileAccessError), "Name");
}

std::string fileNamePart(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string folderPart(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

void injectFault(std::string operation, std::string pathPart, int errorNumber, int count) {
  g_faults.push_back({std::move(operation), std::move(pathPart), errorNumber, count});
}

void clearFaults() { g_faults.clear(); }

void checkFault(std::string_view operation, const stdfs::path& nativePath) {
  loadEnvironmentFaults();
  const std::string p = nativePath.string();
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if ((it->operation == "*" || it->operation == operation) && p.find(it->pathPart) != std::string::npos) {
      int number = it->error;
      if (it->count > 0 && --it->count == 0) g_faults.erase(it);
      if (number == kKillProcess) std::raise(SIGKILL);
      throw RuntimeError(number, std::string(operation));
    }
  }
}

}  // namespace veltrano::fs
