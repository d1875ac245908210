// The file host's path resolution and byte-range settling, as request targets and Range
// headers reach them: whatever the target says, a file found lies inside the served folder;
// a partial reply's ranges lie inside the file.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_check.h"
#include "server/file_host.h"

namespace {

namespace fs = std::filesystem;

// A served folder with files in mixed case, a sub-folder, a link inside and a link out, next
// to a file that must never be served.
const fs::path& servedFolder() {
  static const fs::path root = [] {
    char base[] = "/tmp/veltrano-fuzz-XXXXXX";
    const fs::path top = mkdtemp(base);
    const fs::path root = top / "served";
    fs::create_directories(root / "Sub" / "deep");
    std::ofstream(top / "secret") << "never served";
    std::ofstream(root / "A.TXT") << "a";
    std::ofstream(root / "Sub" / "lower.bin") << "b";
    std::ofstream(root / "Sub" / "deep" / "x") << "x";
    fs::create_directory_symlink(top, root / "out");
    fs::create_directory_symlink(root / "Sub", root / "in");
    return fs::canonical(root);
  }();
  return root;
}

bool inside(const fs::path& file, const fs::path& root) {
  const fs::path real = fs::weakly_canonical(file);
  const auto [r, f] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
  return r == root.end() && f != real.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  static const server::FileHost host(servedFolder());
  FuzzedDataProvider in(data, size);
  const std::string target = in.ConsumeRandomLengthString(1024);
  const server::FileHost::Lookup found = host.find(target);
  if (found.outcome == server::FileHost::Outcome::Found)
    fuzz::require(inside(found.file, servedFolder()), "a file found lies inside the folder", target + " -> " + found.file.string());

  const std::uint64_t fileSize = in.ConsumeIntegralInRange<std::uint64_t>(0, 1u << 20);
  server::RequestedRanges ranges;
  while (in.remaining_bytes() >= 2 && ranges.size() < 40)
    ranges.emplace_back(in.ConsumeIntegralInRange<std::int64_t>(-1, 1 << 21), in.ConsumeIntegralInRange<std::int64_t>(-1, 1 << 21));
  const server::RangePlan plan = server::planRanges(ranges, fileSize);
  if (plan.kind == server::RangePlan::Kind::Partial) {
    fuzz::require(!plan.ranges.empty(), "a partial reply has ranges");
    for (const auto& r : plan.ranges)
      fuzz::require(r.first <= r.last && r.last < fileSize, "ranges lie inside the file",
                    std::to_string(r.first) + "-" + std::to_string(r.last) + " of " + std::to_string(fileSize));
  }
  return 0;
}
