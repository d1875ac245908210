// Files written by cls_Excel, read back by LibreOffice through its Excel import filter, in its
// flat ODS output (which keeps every character as decoded, unlike a CSV export).
//
// LibreOffice is slow to start, so the files are converted once per test run: this program run
// with "--prepare DIR" writes the samples into DIR and converts them all in one call (the CTest
// fixture); the test cases then read DIR/fods/*.fods, found through VELTRANO_XLS_PEER_DIR.
//
// Sheet protection is not checked here: LibreOffice takes the protection and password-hash
// records only from BIFF8 files and passes over them in BIFF2 files. What is checked is that the
// file carrying them opens whole, where the "file is encrypted" record is refused.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "support/test_support.h"
#include "xls_samples.h"

namespace stdfs = std::filesystem;

namespace {

int prepare(const stdfs::path& dir) {
  std::error_code ec;
  stdfs::remove_all(dir, ec);
  stdfs::create_directories(dir / "fods");
  const std::string full = (dir / "full.xls").string();
  const std::string encrypted = (dir / "encrypted.xls").string();
  std::string problems = xls_samples::writeFull(full) + xls_samples::writeWithEncryptedRecord(encrypted);
  if (!problems.empty()) {
    std::fprintf(stderr, "writing the samples: %s\n", problems.c_str());
    return 1;
  }
  const std::string cmd = "timeout 240 soffice --headless --norestore -env:UserInstallation=file://" +
                          (dir / "profile").string() + " --infilter=\"MS Excel 97\" --convert-to fods --outdir '" +
                          (dir / "fods").string() + "' '" + full + "' '" + encrypted + "' 2>&1";
  const auto r = veltrano::test::run(cmd);
  std::fprintf(stderr, "%s", r.out.c_str());
  if (!stdfs::exists(dir / "fods" / "full.fods")) {
    std::fprintf(stderr, "LibreOffice produced no full.fods (exit %d); is libreoffice-calc-nogui installed?\n", r.exitCode);
    return 1;
  }
  return 0;
}

stdfs::path peerDir() {
  const char* d = std::getenv("VELTRANO_XLS_PEER_DIR");
  return d ? stdfs::path(d) : stdfs::path();
}

struct Cell {
  std::string type, value, text;
};

// The first table of a flat ODS document as cells by (row, column), from 0.
std::map<std::pair<int, int>, Cell> cellsOf(const pugi::xml_document& doc) {
  std::map<std::pair<int, int>, Cell> out;
  pugi::xml_node table = doc.child("office:document").child("office:body").child("office:spreadsheet").child("table:table");
  int row = 0;
  for (pugi::xml_node r : table.children("table:table-row")) {
    const int rowRepeat = std::max(1, r.attribute("table:number-rows-repeated").as_int(1));
    int col = 0;
    for (pugi::xml_node c : r.children("table:table-cell")) {
      const int colRepeat = std::max(1, c.attribute("table:number-columns-repeated").as_int(1));
      if (c.attribute("office:value-type")) {
        Cell cell{c.attribute("office:value-type").value(), c.attribute("office:value").value(),
                  c.child("text:p").text().get()};
        for (int i = 0; i < colRepeat; ++i) out[{row, col + i}] = cell;
      }
      col += colRepeat;
    }
    row += rowRepeat;
  }
  return out;
}

class LibreOfficeReads : public ::testing::Test {
 protected:
  void SetUp() override {
    const stdfs::path fods = peerDir() / "fods" / "full.fods";
    ASSERT_TRUE(stdfs::exists(fods)) << "the conversion fixture did not run: " << fods;
    ASSERT_TRUE(doc_.load_file(fods.c_str()));
    cells_ = cellsOf(doc_);
  }
  Cell at(int r, int c) {
    auto it = cells_.find({r, c});
    return it == cells_.end() ? Cell{"<missing>", "", ""} : it->second;
  }
  // The length in inches of a column's style.
  double columnWidth(int column) {
    pugi::xml_node table = doc_.child("office:document").child("office:body").child("office:spreadsheet").child("table:table");
    int col = 0;
    for (pugi::xml_node c : table.children("table:table-column")) {
      const int repeat = std::max(1, c.attribute("table:number-columns-repeated").as_int(1));
      if (column < col + repeat) {
        const std::string style = c.attribute("table:style-name").value();
        pugi::xml_node s = doc_.child("office:document").child("office:automatic-styles").find_child_by_attribute(
            "style:style", "style:name", style.c_str());
        return std::atof(s.child("style:table-column-properties").attribute("style:column-width").value());
      }
      col += repeat;
    }
    return 0;
  }
  pugi::xml_document doc_;
  std::map<std::pair<int, int>, Cell> cells_;
};

TEST_F(LibreOfficeReads, IntegersAndNumbers) {
  EXPECT_EQ(at(0, 0).value, "0");
  EXPECT_EQ(at(0, 1).value, "5");
  EXPECT_EQ(at(0, 2).value, "32767");
  EXPECT_EQ(at(0, 3).value, "-5");
  EXPECT_EQ(at(0, 3).type, "float");
  EXPECT_EQ(at(0, 4).value, "-32768");
  EXPECT_EQ(at(1, 0).value, "1.5");
  EXPECT_EQ(at(1, 1).value, "-0.25");
  EXPECT_EQ(at(1, 2).value, "1234567.891");
  EXPECT_EQ(at(1, 3).value, "2");
}

TEST_F(LibreOfficeReads, TextDecodedThroughTheCodePageRecord) {
  EXPECT_EQ(at(2, 0).type, "string");
  EXPECT_EQ(at(2, 0).text, "Tarvic freight");
  EXPECT_EQ(at(2, 1).text, xls_samples::kKoreanText);
  EXPECT_EQ(at(2, 2).text, "숨김");
  EXPECT_EQ(at(99, 19).text, std::string(255, 'x'));
}

TEST_F(LibreOfficeReads, FontNamesIncludingKorean) {
  std::vector<std::string> faces;
  for (pugi::xml_node f : doc_.child("office:document").child("office:font-face-decls").children("style:font-face"))
    faces.push_back(f.attribute("style:name").value());
  for (const char* name : {"Arial", "굴림", "Courier New", "바탕"})
    EXPECT_NE(std::find(faces.begin(), faces.end(), name), faces.end()) << name;
}

TEST_F(LibreOfficeReads, ColumnWidthsFollowTheWidthRecords) {
  const double a = columnWidth(0), b = columnWidth(1), c = columnWidth(2), d = columnWidth(3);
  EXPECT_GT(a, 0);
  EXPECT_NEAR(a / b, 20.0 / 12.0, 0.05);  // 20 and 12 characters
  EXPECT_DOUBLE_EQ(b, c);
  EXPECT_LT(b, a);
  EXPECT_NE(d, b);  // column D keeps the default width
}

// Every piece of text below a node, in document order.
std::string allText(pugi::xml_node n) {
  std::string out;
  for (pugi::xml_node c : n.children()) out += c.type() == pugi::node_pcdata ? std::string(c.value()) : allText(c);
  return out;
}

TEST_F(LibreOfficeReads, HeaderTextAndPageSettings) {
  pugi::xml_node page = doc_.child("office:document").child("office:master-styles").child("style:master-page");
  EXPECT_EQ(allText(page.child("style:header").child("text:p")), xls_samples::kHeader);
  EXPECT_EQ(allText(page.child("style:footer").child("text:p")), "Page 1");  // &P: the page number field
  const std::string all = veltrano::test::readFile(peerDir() / "fods" / "full.fods");
  EXPECT_NE(all.find("fo:margin-left=\"0.5in\""), std::string::npos);
  EXPECT_NE(all.find("style:print=\"charts drawings grid"), std::string::npos);  // grid lines printed
}

TEST(LibreOfficeRefuses, TheEncryptedFileRecordOfTheOriginalLayout) {
  ASSERT_TRUE(stdfs::exists(peerDir() / "full.xls"));
  ASSERT_TRUE(stdfs::exists(peerDir() / "encrypted.xls"));
  EXPECT_FALSE(stdfs::exists(peerDir() / "fods" / "encrypted.fods"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--prepare") return prepare(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
