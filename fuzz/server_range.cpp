// The file host's Range header, as clients send it: any header value parses to nothing (the
// header is ignored) or to ranges whose settling against any file size gives ranges inside the
// file; a header that parses is parsed again the same from its own canonical form.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "server/byte_range.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano::server;
  FuzzedDataProvider in(data, size);
  const std::uint64_t fileSize = in.ConsumeIntegral<std::uint64_t>() >> in.ConsumeIntegralInRange<int>(0, 63);
  const std::string header = in.ConsumeRemainingBytesAsString();
  const auto ranges = parseRangeHeader(header);
  if (!ranges) return 0;
  std::string canonical = "bytes=";
  for (std::size_t i = 0; i < ranges->size(); ++i) {
    const auto [first, last] = (*ranges)[i];
    veltrano::fuzz::require(first >= -1 && last >= -1 && (first >= 0 || last >= 0), "numbers are positions or absent",
                            header);
    if (i) canonical += ",";
    if (first >= 0) canonical += std::to_string(first);
    canonical += "-";
    if (last >= 0) canonical += std::to_string(last);
  }
  veltrano::fuzz::require(parseRangeHeader(canonical) == ranges, "the canonical form parses the same",
                          header + " -> " + canonical);
  const RangePlan plan = planRanges(*ranges, fileSize);
  if (plan.kind == RangePlan::Kind::Partial) {
    veltrano::fuzz::require(!plan.ranges.empty(), "a partial reply has ranges", header);
    for (const ByteRange& r : plan.ranges)
      veltrano::fuzz::require(r.first <= r.last && r.last < fileSize, "ranges lie inside the file",
                              header + " of " + std::to_string(fileSize));
  }
  return 0;
}
