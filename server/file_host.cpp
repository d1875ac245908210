#include "server/file_host.h"

#include <algorithm>
#include <string>

#include "platform/text/ascii.h"
#include "server/form.h"

namespace veltrano::server {

namespace fs = std::filesystem;

namespace {

// The entry of `dir` named `segment`: the exact name when it exists, else the first name (in
// byte order) equal to it without regard to ASCII case; `status` is the entry's own (lstat).
bool findEntry(const fs::path& dir, const std::string& segment, fs::path& out, fs::file_status& status) {
  std::error_code ec;
  fs::path exact = dir / segment;
  status = fs::symlink_status(exact, ec);
  if (fs::exists(status)) {
    out = std::move(exact);
    return true;
  }
  std::string best;
  bool found = false;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (text::EqualsNoCaseAscii(name, segment) && (!found || name < best)) {
      best = name;
      found = true;
    }
  }
  if (!found) return false;
  out = dir / best;
  status = fs::symlink_status(out, ec);
  return fs::exists(status);
}

// True when `p` is `root` or lies below it (both canonical).
bool isInside(const fs::path& p, const fs::path& root) {
  auto r = root.begin();
  auto q = p.begin();
  for (; r != root.end(); ++r, ++q) {
    if (q == p.end() || *q != *r) return false;
  }
  return true;
}

}  // namespace

FileHost::FileHost(fs::path root) : root_(std::move(root)) {
  std::error_code ec;
  canonicalRoot_ = fs::canonical(root_, ec);
  if (ec) canonicalRoot_.clear();
}

FileHost::Lookup FileHost::find(std::string_view target) const {
  Lookup result;
  const auto cut = target.find_first_of("?#");
  if (cut != std::string_view::npos) target = target.substr(0, cut);

  std::string path;
  if (!percentDecode(target, path, false)) {
    result.outcome = Outcome::BadRequest;
    return result;
  }
  if (path.find('\0') != std::string::npos) {
    result.outcome = Outcome::Refused;
    return result;
  }

  std::vector<std::string> segments;
  bool namesFolder = false;  // ends in a separator or ".": only a folder could be meant
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of("/\\", start), path.size());
    std::string seg = path.substr(start, end - start);
    if (seg == "..") {
      result.outcome = Outcome::Refused;
      return result;
    }
    namesFolder = seg.empty() || seg == ".";
    if (!namesFolder) segments.push_back(std::move(seg));
    start = end + 1;
  }
  if (segments.empty() || namesFolder) return result;  // folders are not listed

  // The folder is resolved once when it existed at start, else on each request until it does.
  std::error_code ec;
  const fs::path root = canonicalRoot_.empty() ? fs::canonical(root_, ec) : canonicalRoot_;
  if (ec) return result;

  // Walked with one lstat per segment: a path without symbolic links is canonical as it
  // stands, so only a path that passes through a link is resolved again.
  fs::path current = root;
  fs::file_status status(fs::file_type::directory);  // the root, canonical: no link
  bool throughLink = false;
  for (const std::string& segment : segments) {
    if (fs::is_symlink(status) ? !fs::is_directory(current, ec) : !fs::is_directory(status)) return result;
    fs::path next;
    if (!findEntry(current, segment, next, status)) return result;
    current = std::move(next);
    if (fs::is_symlink(status)) throughLink = true;
  }

  fs::path real = std::move(current);
  if (throughLink) {
    real = fs::canonical(real, ec);
    if (ec) return result;  // a dangling link
    if (!isInside(real, root)) {
      result.outcome = Outcome::Refused;
      return result;
    }
    status = fs::status(real, ec);
  }
  if (!fs::is_regular_file(status)) return result;
  result.outcome = Outcome::Found;
  result.relative = real.lexically_relative(root).generic_string();
  result.file = std::move(real);
  return result;
}

std::string accelRedirectTarget(std::string_view prefix, std::string_view relative) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(prefix);
  out.reserve(prefix.size() + relative.size() * 3);
  for (const char c : relative) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~' || b == '/') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

RangePlan planRanges(const RequestedRanges& requested, std::uint64_t size, std::size_t maxRanges) {
  RangePlan plan;
  if (requested.empty() || requested.size() > maxRanges) return plan;
  for (const auto& [first, last] : requested) {
    ByteRange r;
    if (first < 0) {  // suffix: the last `last` bytes
      if (last <= 0 || size == 0) continue;
      const auto n = static_cast<std::uint64_t>(last);
      r.first = n >= size ? 0 : size - n;
      r.last = size - 1;
    } else {
      const auto f = static_cast<std::uint64_t>(first);
      if (f >= size) continue;
      r.first = f;
      r.last = (last < 0 || static_cast<std::uint64_t>(last) >= size)
                   ? size - 1
                   : static_cast<std::uint64_t>(last);
      if (r.last < r.first) continue;
    }
    plan.ranges.push_back(r);
  }
  plan.kind = plan.ranges.empty() ? RangePlan::Kind::Unsatisfiable : RangePlan::Kind::Partial;
  return plan;
}

}  // namespace veltrano::server
