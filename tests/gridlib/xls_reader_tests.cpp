// Files written by cls_Excel, read back by a spreadsheet reader: on Linux one nobody here wrote,
// Debian's python3-xlrd under the system Python; on Windows ours, held to xlrd's reading on
// Linux (xls_read.h).
#include <gtest/gtest.h>

#include <map>

#include "support/test_support.h"
#include "xls_read.h"
#include "xls_samples.h"

namespace {

struct Dump {
  std::string error;
  std::map<std::string, std::string> facts;  // "cell\t0\t1" -> the rest of the line
  std::vector<std::string> fonts;
  std::map<int, int> widths;
};

Dump readBack(const std::string& path) {
  Dump d;
  for (const std::vector<std::string>& f : printjob_test::xlsDumpFields(path)) {
    if (f[0] == "error") d.error = f.size() > 1 ? f[1] : "?";
    else if (f[0] == "cell" && f.size() >= 4) {
      std::string rest;
      for (std::size_t i = 3; i < f.size(); ++i) rest += (i > 3 ? "\t" : "") + f[i];
      d.facts["cell " + f[1] + " " + f[2]] = rest;
    } else if (f[0] == "font" && f.size() >= 3) {
      std::string rest;
      for (std::size_t i = 2; i < f.size(); ++i) rest += (i > 2 ? " " : "") + f[i];
      d.fonts.push_back(rest);
    } else if (f[0] == "width" && f.size() == 3) {
      d.widths[std::stoi(f[1])] = std::stoi(f[2]);
    } else if (f.size() == 2) {
      d.facts[f[0]] = f[1];
    }
  }
  return d;
}

class ReaderReads : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new veltrano::test::TempDir();
    const std::string path = (*dir_ / "full.xls").string();
    const std::string problems = xls_samples::writeFull(path);
    ASSERT_EQ(problems, "");
    dump_ = new Dump(readBack(path));
  }
  static void TearDownTestSuite() {
    delete dump_;
    delete dir_;
  }
  static std::string cell(int r, int c) {
    auto it = dump_->facts.find("cell " + std::to_string(r) + " " + std::to_string(c));
    return it == dump_->facts.end() ? "<missing>" : it->second;
  }
  static veltrano::test::TempDir* dir_;
  static Dump* dump_;
};
veltrano::test::TempDir* ReaderReads::dir_ = nullptr;
Dump* ReaderReads::dump_ = nullptr;

// Cell facts: type, value, font, alignment, locked, hidden, borders (left right top bottom),
// shaded.
TEST_F(ReaderReads, OpensAsBiff2InCodePage949) {
  EXPECT_EQ(dump_->error, "");
  EXPECT_EQ(dump_->facts["biff"], "20");
  EXPECT_EQ(dump_->facts["encoding"], "cp949");
}

TEST_F(ReaderReads, IntegersIncludingNegativeOnes) {
  EXPECT_EQ(cell(0, 0), "number\t0.0\t0\t0\t0\t0\t0000\t0");
  EXPECT_EQ(cell(0, 1), "number\t5.0\t0\t0\t0\t0\t0000\t0");
  EXPECT_EQ(cell(0, 2), "number\t32767.0\t0\t0\t0\t0\t0000\t0");
  // Negative integers keep their value (an integer cell would read back as 65531).
  EXPECT_EQ(cell(0, 3), "number\t-5.0\t1\t2\t1\t0\t0000\t1");
  EXPECT_EQ(cell(0, 4), "number\t-32768.0\t0\t0\t0\t0\t0000\t0");
  EXPECT_EQ(cell(1, 3), "number\t2.0\t0\t0\t0\t0\t0000\t0");  // 2.5 rounded half to even
}

TEST_F(ReaderReads, NumbersExactly) {
  EXPECT_EQ(cell(1, 0), "number\t1.5\t0\t0\t0\t0\t0000\t0");
  EXPECT_EQ(cell(1, 1), "number\t-0.25\t0\t0\t0\t0\t0000\t0");
  EXPECT_EQ(cell(1, 2), "number\t1234567.891\t2\t3\t0\t0\t0000\t0");
}

TEST_F(ReaderReads, AsciiAndKoreanTextWithAttributes) {
  EXPECT_EQ(cell(2, 0), "text\tTarvic freight\t0\t1\t0\t0\t0000\t0");
  EXPECT_EQ(cell(2, 1), std::string("text\t") + xls_samples::kKoreanText + "\t1\t3\t0\t0\t1111\t0");
  EXPECT_EQ(cell(2, 2), "text\t숨김\t3\t0\t1\t1\t0000\t0");
  EXPECT_EQ(cell(99, 19), "text\t" + std::string(255, 'x') + "\t0\t0\t0\t0\t0000\t0");
}

TEST_F(ReaderReads, FontsInTheOrderWritten) {
  // name, height in twentieths of a point, bold, italic, underline, struck out
  ASSERT_EQ(dump_->fonts.size(), 4u);
  EXPECT_EQ(dump_->fonts[0], "Arial 200 1 0 0 0");
  EXPECT_EQ(dump_->fonts[1], "굴림 240 0 1 0 0");
  EXPECT_EQ(dump_->fonts[2], "Courier New 180 0 0 1 0");
  EXPECT_EQ(dump_->fonts[3], "바탕 220 1 0 0 1");
}

TEST_F(ReaderReads, ColumnWidths) {
  EXPECT_EQ(dump_->widths[0], 20 * 256);
  EXPECT_EQ(dump_->widths[1], 12 * 256);
  EXPECT_EQ(dump_->widths[2], 12 * 256);
}

TEST(ReaderRefuses, TheEncryptedFileRecordOfTheOriginalLayout) {
  veltrano::test::TempDir dir;
  const std::string path = (dir / "encrypted.xls").string();
  ASSERT_EQ(xls_samples::writeWithEncryptedRecord(path), "");
  EXPECT_EQ(readBack(path).error, "Workbook is encrypted");
}

}  // namespace
