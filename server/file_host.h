#pragma once
// The file host: maps request paths to the files of one folder, and byte ranges to the part of
// a file a reply carries. Free of HTTP library types; the server wires it to its routes.
//
// A request path names a path below the folder. Segments are matched without regard to the
// case of ASCII letters, since the updater upper-cases source paths and file names and the
// servers it was written for did not care; an exact match wins over a folded one. Whatever
// the path says, the file served lies inside the folder: ".." segments (also written as
// %2e%2e), NUL bytes and symbolic links that lead outside are refused; "/" and "\" (also as
// %2f and %5c) both separate segments. A path ending in a separator names a folder, never a
// file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano::server {

class FileHost {
 public:
  explicit FileHost(std::filesystem::path root);

  enum class Outcome {
    Found,
    NotFound,    // no such file (folders are not served either)
    Refused,     // the path tries to leave the folder
    BadRequest,  // malformed percent-encoding
  };
  struct Lookup {
    Outcome outcome = Outcome::NotFound;
    std::filesystem::path file;  // for Found: the file, with symbolic links resolved
    std::string relative;        // for Found: `file` below the folder, "/"-separated
  };

  // `target` is the request target as sent (percent-encoded; a query string is ignored).
  Lookup find(std::string_view target) const;

  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  std::filesystem::path canonicalRoot_;  // empty when the folder did not exist at construction
};

// The X-Accel-Redirect target that hands a found file to a front server (nginx) to send:
// `prefix` (the front's internal location, "/" at both ends) followed by `relative` with every
// byte but letters, digits, "-._~" and "/" percent-encoded, since the front decodes the target
// once and would read "?" as the start of a query.
std::string accelRedirectTarget(std::string_view prefix, std::string_view relative);

// Byte ranges of a Range header, as parsed: (first, last) with -1 for an absent number, so
// (4000, -1) is "4000-" and (-1, 500) the last 500 bytes.
using RequestedRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
  bool operator==(const ByteRange&) const = default;
};

struct RangePlan {
  enum class Kind {
    Whole,          // no ranges, or too many to honour: 200 with the whole file
    Partial,        // 206 with `ranges`
    Unsatisfiable,  // 416: no range overlaps the file
  } kind = Kind::Whole;
  std::vector<ByteRange> ranges;
};

// Settles the requested ranges against a file of `size` bytes: ranges that start beyond the
// end are dropped, ends beyond the end are cut to the last byte, a suffix longer than the
// file means the whole file. More than `maxRanges` ranges are ignored (the whole file is sent).
RangePlan planRanges(const RequestedRanges& requested, std::uint64_t size,
                     std::size_t maxRanges = 16);

}  // namespace veltrano::server
