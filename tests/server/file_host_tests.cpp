#include <gtest/gtest.h>

#include <filesystem>

#include <limits>

#include "server/byte_range.h"
#include "server/file_host.h"
#include "support/test_support.h"

using namespace veltrano::server;
using veltrano::test::TempDir;
using veltrano::test::writeFile;
namespace fs = std::filesystem;

namespace {

class FileHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root() / "FILES" / "Tarvic");
    writeFile(root() / "FILES" / "Tarvic" / "tarvic.exe", "program");
    writeFile(root() / "FILES" / "Tarvic" / "README.TXT", "readme");
    writeFile(dir_.path() / "secret.txt", "outside");
  }
  fs::path root() const { return dir_.path() / "files"; }
  FileHost host() const { return FileHost(root()); }
  FileHost::Outcome outcome(const std::string& target) const { return host().find(target).outcome; }

  TempDir dir_;
};

}  // namespace

TEST_F(FileHostTest, PathsMatchWithoutRegardToCase) {
  const auto found = host().find("/FILES/TARVIC/TARVIC.EXE");
  ASSERT_EQ(found.outcome, FileHost::Outcome::Found);
  EXPECT_EQ(found.file.filename(), "tarvic.exe");
  EXPECT_EQ(outcome("/files/tarvic/readme.txt"), FileHost::Outcome::Found);
  EXPECT_EQ(outcome("/FILES/Tarvic/tarvic.exe?version=2"), FileHost::Outcome::Found);
  EXPECT_EQ(outcome("//FILES\\TARVIC\\./TARVIC.EXE"), FileHost::Outcome::Found);
  EXPECT_EQ(outcome("/FILES/TARVIC/T%41RVIC.EXE"), FileHost::Outcome::Found);
}

TEST_F(FileHostTest, AnExactNameWinsOverAFoldedOne) {
  writeFile(root() / "FILES" / "Tarvic" / "TARVIC.EXE", "upper");
  EXPECT_EQ(host().find("/FILES/TARVIC/TARVIC.EXE").file.filename(), "TARVIC.EXE");
  EXPECT_EQ(host().find("/FILES/TARVIC/tarvic.exe").file.filename(), "tarvic.exe");
  // Neither exact: the first in byte order.
  EXPECT_EQ(host().find("/FILES/TARVIC/Tarvic.Exe").file.filename(), "TARVIC.EXE");
}

TEST_F(FileHostTest, MissingFilesAndFoldersAreNotFound) {
  EXPECT_EQ(outcome("/FILES/TARVIC/NONE.EXE"), FileHost::Outcome::NotFound);
  EXPECT_EQ(outcome("/FILES/NOPE/TARVIC.EXE"), FileHost::Outcome::NotFound);
  EXPECT_EQ(outcome("/FILES/TARVIC"), FileHost::Outcome::NotFound);  // a folder
  EXPECT_EQ(outcome("/"), FileHost::Outcome::NotFound);
  EXPECT_EQ(outcome(""), FileHost::Outcome::NotFound);
  EXPECT_EQ(outcome("/FILES/TARVIC/TARVIC.EXE/x"), FileHost::Outcome::NotFound);
  EXPECT_EQ(FileHost(dir_.path() / "absent").find("/x").outcome, FileHost::Outcome::NotFound);
}

TEST_F(FileHostTest, EscapesFromTheFolderAreRefused) {
  for (const char* target :
       {"/../secret.txt", "/FILES/../../secret.txt", "/FILES/%2e%2e/%2E%2E/secret.txt",
        "/FILES%2f..%2f..%2fsecret.txt", "/FILES%5c..%5c..%5csecret.txt", "/..\\secret.txt",
        "/FILES/TARVIC/tarvic.exe%00.txt", "/FILES/TARVIC/..", "/%2e%2e"}) {
    EXPECT_EQ(outcome(target), FileHost::Outcome::Refused) << target;
  }
  EXPECT_EQ(outcome("/FILES/%zz"), FileHost::Outcome::BadRequest);
  EXPECT_EQ(outcome("/FILES/%4"), FileHost::Outcome::BadRequest);
  // Dots that are part of a name are names.
  writeFile(root() / "..hidden", "x");
  EXPECT_EQ(outcome("/..hidden"), FileHost::Outcome::Found);
}

TEST_F(FileHostTest, SymbolicLinksLeadingOutAreRefusedAndInsideAreFollowed) {
  fs::create_symlink(dir_.path() / "secret.txt", root() / "FILES" / "out.txt");
  fs::create_directory_symlink(dir_.path(), root() / "FILES" / "up");
  fs::create_symlink(root() / "FILES" / "Tarvic" / "tarvic.exe", root() / "FILES" / "in.exe");
  fs::create_symlink(dir_.path() / "missing", root() / "FILES" / "dangling");
  EXPECT_EQ(outcome("/FILES/OUT.TXT"), FileHost::Outcome::Refused);
  EXPECT_EQ(outcome("/FILES/UP/SECRET.TXT"), FileHost::Outcome::Refused);
  const auto in = host().find("/files/in.exe");
  ASSERT_EQ(in.outcome, FileHost::Outcome::Found);
  EXPECT_EQ(in.file.filename(), "tarvic.exe");
  EXPECT_EQ(outcome("/FILES/DANGLING"), FileHost::Outcome::NotFound);
}

TEST_F(FileHostTest, TheRedirectTargetNamesTheRealFileBelowTheFolder) {
  fs::create_symlink(root() / "FILES" / "Tarvic" / "tarvic.exe", root() / "FILES" / "in.exe");
  writeFile(root() / "FILES" / "Tarvic" / "설명 #1?%.txt", "x");
  const auto target = [&](const std::string& path) {
    const auto found = host().find(path);
    EXPECT_EQ(found.outcome, FileHost::Outcome::Found) << path;
    return accelRedirectTarget("/_files/", found.relative);
  };
  EXPECT_EQ(target("/files\\TARVIC\\Tarvic.EXE"), "/_files/FILES/Tarvic/tarvic.exe");
  EXPECT_EQ(target("/FILES/IN.EXE"), "/_files/FILES/Tarvic/tarvic.exe");  // the link resolved
  // Everything but unreserved bytes and "/" encoded: the front decodes once, "?" and "%"
  // included.
  EXPECT_EQ(target("/FILES/TARVIC/%EC%84%A4%EB%AA%85%20%231%3F%25.TXT"),
            "/_files/FILES/Tarvic/%EC%84%A4%EB%AA%85%20%231%3F%25.txt");
  EXPECT_EQ(accelRedirectTarget("/p/", "a-b_c.d~e/F+G;H"), "/p/a-b_c.d~e/F%2BG%3BH");
}

TEST(RangePlanning, SettlesRangesAgainstTheFileSize) {
  using K = RangePlan::Kind;
  struct Case {
    RequestedRanges requested;
    std::uint64_t size;
    K kind;
    std::vector<ByteRange> ranges;
  };
  const std::vector<Case> cases = {
      {{}, 100, K::Whole, {}},
      {{{10, 19}}, 100, K::Partial, {{10, 19}}},
      {{{4000, -1}}, 10000, K::Partial, {{4000, 9999}}},   // open-ended
      {{{90, 500}}, 100, K::Partial, {{90, 99}}},          // end cut to the last byte
      {{{0, 0}}, 1, K::Partial, {{0, 0}}},
      {{{99, -1}}, 100, K::Partial, {{99, 99}}},
      {{{100, -1}}, 100, K::Unsatisfiable, {}},            // starts at the end
      {{{200, 300}}, 100, K::Unsatisfiable, {}},
      {{{-1, 10}}, 100, K::Partial, {{90, 99}}},           // suffix
      {{{-1, 1000}}, 100, K::Partial, {{0, 99}}},          // suffix longer than the file
      {{{-1, 0}}, 100, K::Unsatisfiable, {}},
      {{{0, -1}}, 0, K::Unsatisfiable, {}},                // nothing to give of an empty file
      {{{0, 9}, {200, 300}, {50, -1}}, 100, K::Partial, {{0, 9}, {50, 99}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RangePlan plan = planRanges(cases[i].requested, cases[i].size);
    EXPECT_EQ(plan.kind, cases[i].kind) << "case " << i;
    EXPECT_EQ(plan.ranges, cases[i].ranges) << "case " << i;
  }
  // Too many ranges: the whole file instead.
  const RequestedRanges many(17, {0, 0});
  EXPECT_EQ(planRanges(many, 100).kind, RangePlan::Kind::Whole);
  EXPECT_EQ(planRanges(RequestedRanges(16, {0, 0}), 100).kind, RangePlan::Kind::Partial);
}

TEST(RangeHeader, ParsesWellFormedRangesAndRejectsTheRest) {
  const std::int64_t big = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(parseRangeHeader("bytes=4000-"), RequestedRanges({{4000, -1}}));
  EXPECT_EQ(parseRangeHeader(" Bytes=0-0 , -500,"), RequestedRanges({{0, 0}, {-1, 500}}));
  EXPECT_EQ(parseRangeHeader("bytes=0-18446744073709551615"), RequestedRanges({{0, big}}));
  EXPECT_EQ(parseRangeHeader("bytes=99999999999999999999-"), RequestedRanges({{big, -1}}));
  for (const char* bad : {"", "bytes=", "bytes=,", "bytes=5-1", "bytes=-", "bytes=x-y", "bytes=1-2-3",
                          "bytes=+1-2", "bytes=1 -2", "bytes=-+5", "items=0-1", "bytes 0-1",
                          "bytes=0-1,5-1"})
    EXPECT_EQ(parseRangeHeader(bad), std::nullopt) << bad;
  // The largest end settles to the whole of any file.
  const RangePlan plan = planRanges(*parseRangeHeader("bytes=0-18446744073709551615"), 1000);
  EXPECT_EQ(plan.kind, RangePlan::Kind::Partial);
  EXPECT_EQ(plan.ranges, std::vector<ByteRange>({{0, 999}}));
}

TEST_F(FileHostTest, ASeparatorAfterAFileNameFindsNothing) {
  EXPECT_EQ(outcome("/FILES/Tarvic/README.TXT"), FileHost::Outcome::Found);
  for (const char* target : {"/FILES/Tarvic/README.TXT/", "/FILES/Tarvic/README.TXT\\",
                             "/FILES/Tarvic/README.TXT/.", "/FILES/Tarvic/README.TXT%2F",
                             "/FILES/Tarvic/README.TXT/x"})
    EXPECT_EQ(outcome(target), FileHost::Outcome::NotFound) << target;
}
