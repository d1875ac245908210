#include "platform/fs/fs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/deploy/deploy.h"
#include "platform/fs/folder_listings.h"
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

// Listings of folders, kept so that a name whose case differs from the one on disk is found
// without reading the folder again. A listing is used while the folder's modification time is
// the one it was read at, and the listing was read later than that time by more than the
// granularity of file timestamps (the kernel's coarse clock): a change made within the same
// tick as the listing would not move the time. Every change made through this module drops the
// listing of the folder it changed at once.
struct Listing {
  std::unordered_map<std::string, std::string> byUpperName;  // the first entry of each spelling
  timespec modified{};
  bool trusted = false;  // read after the tick of `modified` had passed
};
std::mutex g_listingsMutex;
std::unordered_map<std::string, Listing> g_listings;

long long nanoseconds(const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }

long long timestampGranularityNs() {
  static const long long ns = [] {
    timespec res{};
    long long coarse = clock_getres(CLOCK_REALTIME_COARSE, &res) == 0 ? nanoseconds(res) : 0;
    return std::max(coarse, 10'000'000LL);
  }();
  return ns;
}


// The entry of `dir` (which exists, with status `dirStat`) whose name equals `name` without
// regard to case, or "" when there is none.
std::string matchCase(const stdfs::path& dir, const struct stat& dirStat, const std::string& name) {
  std::lock_guard lock(g_listingsMutex);
  Listing& listing = g_listings[dir.string()];
  const bool current = listing.trusted && nanoseconds(listing.modified) == nanoseconds(dirStat.st_mtim);
  if (!current) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    listing.byUpperName.clear();
    listing.modified = dirStat.st_mtim;
    listing.trusted = nanoseconds(now) - nanoseconds(dirStat.st_mtim) > timestampGranularityNs();
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(dir, ec)) {
      std::string real = entry.path().filename().string();
      listing.byUpperName.emplace(text::UCase(real), std::move(real));
    }
  }
  auto it = listing.byUpperName.find(text::UCase(name));
  return it == listing.byUpperName.end() ? std::string() : it->second;
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

namespace detail {
void forgetListing(const stdfs::path& folder) {
  std::lock_guard lock(g_listingsMutex);
  g_listings.erase(folder.string());
}
}  // namespace detail
using detail::forgetListing;

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

namespace {

// The native path of `p` (see toNative); `st` receives its status and the result says whether
// it exists, so that callers testing existence need no second stat.
bool resolve(std::string_view p, stdfs::path& out, struct stat& st) {
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
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (parts.empty()) base = base.parent_path();
      else parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (; i < p.size(); ++i) {
    if (isSeparator(p[i])) flush();
    else part.push_back(p[i]);
  }
  flush();

  // The spelling given, when it exists as it stands: one stat, the common case.
  out = base;
  for (const std::string& name : parts) out /= name;
  if (::stat(out.c_str(), &st) == 0) return true;
  if (parts.empty()) return false;
  const stdfs::path literal = out;

  // Otherwise the deepest folder that exists as spelled, then each further name matched
  // without regard to case; from the first name that matches nothing, the spelling given.
  std::size_t known = parts.size() - 1;
  for (;; --known) {
    out = base;
    for (std::size_t k = 0; k < known; ++k) out /= parts[k];
    if (::stat(out.c_str(), &st) == 0) break;
    if (known == 0) {
      out = literal;
      return false;
    }
  }
  for (std::size_t k = known; k < parts.size(); ++k) {
    std::string real = S_ISDIR(st.st_mode) ? matchCase(out, st, parts[k]) : std::string();
    if (real.empty()) {
      for (; k < parts.size(); ++k) out /= parts[k];
      return false;
    }
    out /= real;
    if (::stat(out.c_str(), &st) != 0) {
      for (++k; k < parts.size(); ++k) out /= parts[k];
      return false;  // gone since the folder was listed
    }
  }
  return true;
}

}  // namespace

stdfs::path toNative(std::string_view p) {
  stdfs::path out;
  struct stat st {};
  resolve(p, out, st);
  return out;
}

bool fileExists(std::string_view path) {
  stdfs::path native;
  struct stat st {};
  return resolve(path, native, st) && S_ISREG(st.st_mode);
}

bool folderExists(std::string_view path) {
  stdfs::path native;
  struct stat st {};
  return resolve(path, native, st) && S_ISDIR(st.st_mode);
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
    case EDQUOT: return err::kDiskFull;
    default: return err::kPathFileAccessError;
  }
}

int writeErrorOf(int e) { return e == ENOSPC || e == EDQUOT ? err::kDiskFull : err::kDeviceIOError; }

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
