// Windows-style paths on Linux: drive letters stand for folders, and existing names are
// matched without regard to case.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/deploy/deploy.h"
#include "platform/fs/fs.h"
#include "platform/fs/path_lookup.h"
#include "platform/text/vbstring.h"

namespace stdfs = std::filesystem;

namespace veltrano::fs {
namespace {

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

}  // namespace

namespace detail {
void forgetListing(const stdfs::path& folder) {
  std::lock_guard lock(g_listingsMutex);
  g_listings.erase(folder.string());
}
}  // namespace detail

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

namespace detail {

Entry lookUp(std::string_view windowsPath, stdfs::path& native) {
  struct stat st {};
  if (!resolve(windowsPath, native, st)) return Entry::Missing;
  return S_ISREG(st.st_mode) ? Entry::File : S_ISDIR(st.st_mode) ? Entry::Folder : Entry::Other;
}

}  // namespace detail
}  // namespace veltrano::fs
