#pragma once
// The Range header of a GET: "bytes=" followed by comma-separated ranges "first-last",
// "first-" or "-suffix".

#include <optional>
#include <string_view>

#include "server/file_host.h"

namespace veltrano::server {

// The ranges of a Range header value, or nothing when the value is not a well-formed set of
// byte ranges (another unit, a sign, a blank inside a number, a last position before the first
// ...): such a header is ignored and the whole file is sent. Numbers too large for 63 bits are
// held as the largest such number, which settles against any file as the true value would.
std::optional<RequestedRanges> parseRangeHeader(std::string_view value);

}  // namespace veltrano::server
