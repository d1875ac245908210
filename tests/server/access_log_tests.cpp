#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "server/access_log.h"
#include "support/test_support.h"

using namespace veltrano::server;
using veltrano::test::readFile;
using veltrano::test::TempDir;

namespace {

AccessRecord sample() {
  AccessRecord r;
  // 2025-03-04 05:06:07.089 UTC
  r.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1741064767089));
  r.client = "127.0.0.1:40312";
  r.method = "GET";
  r.target = "/FILES/TARVIC/README.TXT";
  r.status = 206;
  r.bytes = 4000;
  r.duration = std::chrono::microseconds(1250);
  return r;
}

}  // namespace

TEST(AccessLog, OneReadableLinePerRequest) {
  EXPECT_EQ(formatAccessRecord(sample()),
            "2025-03-04T05:06:07.089Z 127.0.0.1:40312 GET /FILES/TARVIC/README.TXT 206 4000 1.2ms");
  AccessRecord refused = sample();
  refused.duration.reset();
  refused.status = 413;
  refused.bytes = 0;
  EXPECT_EQ(formatAccessRecord(refused),
            "2025-03-04T05:06:07.089Z 127.0.0.1:40312 GET /FILES/TARVIC/README.TXT 413 0 -");
}

TEST(AccessLog, TargetsCannotBreakOrSplitTheLine) {
  AccessRecord r = sample();
  r.target = "/a b\r\n200 OK/한/%2e";
  r.method = "";
  const std::string line = formatAccessRecord(r);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_NE(line.find(" - /a%20b%0D%0A200%20OK/%ED%95%9C/%2e 206 "), std::string::npos) << line;
  std::istringstream fields(line);
  int count = 0;
  for (std::string f; fields >> f;) ++count;
  EXPECT_EQ(count, 7);
}

TEST(AccessLog, ConcurrentWritersNeverInterleave) {
  TempDir dir;
  const auto file = dir / "access.log";
  {
    AccessLog log(file.string());
    ASSERT_TRUE(log.enabled());
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
      writers.emplace_back([&log, t] {
        AccessRecord r = sample();
        r.target = "/thread/" + std::to_string(t) + "/" + std::string(300, 'x');
        for (int i = 0; i < 200; ++i) log.write(r);
      });
    for (auto& w : writers) w.join();
  }
  std::istringstream in(readFile(file));
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines)
    ASSERT_EQ(line.size(), formatAccessRecord(sample()).size() + 310 - 24) << line;
  EXPECT_EQ(lines, 1600);
}

TEST(AccessLog, DisabledOrUnopenable) {
  AccessLog none("");
  EXPECT_FALSE(none.enabled());
  none.write(sample());  // nothing, no crash
  EXPECT_THROW(AccessLog("/nonexistent-folder/x/access.log"), std::runtime_error);
}
