#include "platform/fs/fs.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/deploy/deploy.h"
#include "platform/fs/path_lookup.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"

namespace stdfs = std::filesystem;

namespace veltrano::fs {

using detail::forgetListing;

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

stdfs::path toNative(std::string_view p) {
  stdfs::path out;
  detail::lookUp(p, out);
  return out;
}

bool fileExists(std::string_view path) {
  stdfs::path native;
  return detail::lookUp(path, native) == detail::Entry::File;
}

bool folderExists(std::string_view path) {
  stdfs::path native;
  return detail::lookUp(path, native) == detail::Entry::Folder;
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
  forgetListing(native.parent_path());
  if (!stdfs::create_directory(native, ec)) raise(errorOf(ec, err::kPathFileAccessError), "CreateFolder");
}

void deleteFile(std::string_view path) {
  stdfs::path native = toNative(path);
  checkFault("delete", native);
  std::error_code ec;
  if (!stdfs::is_regular_file(native, ec)) raise(err::kFileNotFound, "Kill");
  forgetListing(native.parent_path());
  if (!stdfs::remove(native, ec)) raise(errorOf(ec, err::kPermissionDenied), "Kill");
}

void copyFile(std::string_view from, std::string_view to) {
  stdfs::path src = toNative(from), dst = toNative(to);
  checkFault("copy", src);
  checkFault("copy", dst);
  std::error_code ec;
  if (!stdfs::is_regular_file(src, ec)) raise(err::kFileNotFound, "FileCopy");
  if (!stdfs::is_directory(dst.parent_path(), ec)) raise(err::kPathNotFound, "FileCopy");
  forgetListing(dst.parent_path());
  stdfs::copy_file(src, dst, stdfs::copy_options::overwrite_existing, ec);
  if (ec) raise(errorOf(ec, err::kPathFileAccessError), "FileCopy");
}

void renameFile(std::string_view from, std::string_view to) {
  stdfs::path src = toNative(from), dst = toNative(to);
  checkFault("rename", src);
  std::error_code ec;
  forgetListing(src.parent_path());
  forgetListing(dst.parent_path());
  stdfs::rename(src, dst, ec);
  if (ec) raise(errorOf(ec, err::kPathFileAccessError), "Name");
}

int openErrorOf(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return err::kPermissionDenied;
    case ENAMETOOLONG: return err::kBadFileName;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return err::kDiskFull;
    default: return err::kPathFileAccessError;
  }
}

int writeErrorOf(int e) {
#ifdef EDQUOT
  if (e == EDQUOT) return err::kDiskFull;
#endif
  return e == ENOSPC ? err::kDiskFull : err::kDeviceIOError;
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
  const std::u8string u8 = nativePath.u8string();
  std::string p(u8.begin(), u8.end());
  // A path part names folders with "/" on every platform, and matches a name in any case: on
  // Windows the native path keeps the caller's spelling, not the one on disk.
  std::replace(p.begin(), p.end(), '\\', '/');
  p = text::LCase(p);
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if ((it->operation == "*" || it->operation == operation) &&
        p.find(text::LCase(it->pathPart)) != std::string::npos) {
      int number = it->error;
      if (it->count > 0 && --it->count == 0) g_faults.erase(it);
      if (number == kKillProcess) {
#ifdef SIGKILL
        std::raise(SIGKILL);
#endif
        std::_Exit(137);  // as a killed process ends: nothing flushed, nothing run at exit
      }
      throw RuntimeError(number, std::string(operation));
    }
  }
}

}  // namespace veltrano::fs
