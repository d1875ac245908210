// The grid export (SPREADSETUP.Create_Excel_From_Spread over Mod_Excel and cls_Excel): the file
// prompt, the rows and columns written, hidden and cut columns, number and text cells, fonts
// and margins, and failures; every file read back by a spreadsheet reader (xls_read.h).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "freight_grid.h"
#include "lumagrid/spreadsetup.h"
#include "platform/fs/fs.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"
#include "xls_read.h"

using namespace veltrano;
using namespace printjob_test;
using lumagrid::SPREADSETUP;
using veltrano::grid::Grid;

namespace {

// Keeps the file prompts it is asked for, answering from the script.
class PromptRecorder : public ui::ScriptedUi {
 public:
  std::optional<std::string> saveFileDialog(const ui::FileDialogSpec& dlg) override {
    prompts.push_back(dlg);
    return ScriptedUi::saveFileDialog(dlg);
  }
  std::vector<ui::FileDialogSpec> prompts;
};

// The records of a BIFF file: id and body, in file order.
std::vector<std::pair<int, std::string>> records(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::pair<int, std::string>> out;
  std::size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const int id = static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
    const std::size_t n = static_cast<unsigned char>(bytes[at + 2]) | static_cast<unsigned char>(bytes[at + 3]) << 8;
    out.emplace_back(id, bytes.substr(at + 4, n));
    at += 4 + n;
  }
  return out;
}

double doubleOf(const std::string& body) {
  double v = 0;
  if (body.size() == 8) std::memcpy(&v, body.data(), 8);
  return v;
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override { setup.Print_SPR = g; }
  void TearDown() override { fs::clearFaults(); }
  std::filesystem::path exportTo(const std::string& name) {
    const auto file = dir / name;
    ui.queue("File:" + file.string());
    setup.Create_Excel_From_Spread();
    return file;
  }

  test::ScopedRegistry registry;
  test::TempDir dir;
  PromptRecorder ui;
  ui::ScopedUi scopedUi{ui};
  Grid g;
  SPREADSETUP setup;
};

TEST_F(Export, ThreeRowGridGivesRowsOneToFourHeaderFirst) {
  freightGrid(g, 3);
  const auto file = exportTo("운임.xls");
  EXPECT_TRUE(ui.shown().size() == 1 && ui.shown()[0].kind == "Save") << "no message besides the prompt";
  const XlsRead xls = readXls(file);
  ASSERT_EQ(xls.error, "");
  EXPECT_EQ(xls.rows(), 4);
  EXPECT_EQ(xls.cols(), kFreightCols);
  // Header row: bold (font 1), centred.
  for (int c = 1; c <= kFreightCols; ++c) {
    const XlsCell& h = xls.cells.at({0, c - 1});
    EXPECT_EQ(h.type, "text");
    EXPECT_EQ(h.value, g.textAt(0, c));
    EXPECT_EQ(h.font, 1);
    EXPECT_EQ(h.align, 2);
  }
  EXPECT_EQ(xls.text(0, 1), "화주명");
  // Data rows: font 2, left; number columns as numbers, the others as text.
  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= kFreightCols; ++c) {
      const XlsCell& cell = xls.cells.at({r, c - 1});
      EXPECT_EQ(cell.font, 2);
      EXPECT_EQ(cell.align, 1);
      const bool number = c == kTrips || c == kFare || c == kCumulative;
      EXPECT_EQ(cell.type, number ? "number" : "text") << r << "," << c;
      if (!number) {
        EXPECT_EQ(cell.value, g.textAt(r, c)) << r << "," << c;
      }
    }
  }
  EXPECT_EQ(xls.text(2, kFare - 1), "2000.0") << "the shown 2,000.00 as a number";
  EXPECT_EQ(xls.text(3, kCumulative - 1), "6000.0");
  EXPECT_EQ(xls.text(1, kTrips - 1), "2.0");

  // Fonts and page settings in the order written.
  ASSERT_EQ(xls.fonts.size(), 4u);
  EXPECT_EQ(xls.fonts[0], "Arial 200 0 0 0 0");
  EXPECT_EQ(xls.fonts[1], "Arial 200 1 0 0 0");
  EXPECT_EQ(xls.fonts[2], "Arial 180 0 0 0 0");
  EXPECT_EQ(xls.fonts[3], "Courier 240 0 1 0 0");
  std::vector<int> settings;
  for (const auto& [id, body] : records(file)) {
    if (id == 0x2B) {
      EXPECT_EQ(body, std::string("\0\0", 2)) << "no grid lines";
      settings.push_back(id);
    } else if (id >= 0x26 && id <= 0x29) {
      EXPECT_EQ(doubleOf(body), 1.5);
      settings.push_back(id);
    } else if (id == 0x31) {
      settings.push_back(id);
    }
  }
  EXPECT_EQ(settings, (std::vector<int>{0x2B, 0x28, 0x26, 0x27, 0x29, 0x31, 0x31, 0x31, 0x31}))
      << "grid lines, then top, left, right, bottom margins, then the four fonts";
}

TEST_F(Export, HiddenColumnsCloseUpAndCuttingLeavesOutTheRightEnd) {
  freightGrid(g, 3);
  g.Row(-1);
  for (int c : {kVehicle, kTrips}) {
    g.Col(c);
    g.ColHidden(true);
  }
  setup.cutting = 2;  // the cumulative fare and the note
  const XlsRead xls = readXls(exportTo("cut.xls"));
  ASSERT_EQ(xls.error, "");
  EXPECT_EQ(xls.cols(), 3) << "columns 1 to 5, less the two hidden ones";
  EXPECT_EQ(xls.text(0, 0), "일자");
  EXPECT_EQ(xls.text(0, 1), "화주명");
  EXPECT_EQ(xls.text(0, 2), "운임") << "the next visible column takes the free place";
  EXPECT_EQ(xls.text(3, 2), "3000.0");
  EXPECT_EQ(xls.rows(), 4);
}

TEST_F(Export, PromptsForAnXlsNameAndACancelIsQuiet) {
  freightGrid(g, 2);
  setup.Create_Excel_From_Spread();  // nothing queued: the prompt is cancelled
  ASSERT_EQ(ui.prompts.size(), 1u);
  EXPECT_EQ(ui.prompts[0].filter, "Excel Files (*.xls)|*.xls");
  EXPECT_EQ(ui.prompts[0].filterIndex, 2);
  EXPECT_EQ(ui.prompts[0].fileName, "");
  EXPECT_EQ(ui.prompts[0].flags, 4);
  ASSERT_EQ(ui.shown().size(), 1u) << "no message after a cancel";
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Export, ANameTypedWithoutExtensionIsSavedAsXls) {
  freightGrid(g, 2);
  exportTo("운임내역");
  EXPECT_EQ(ui.prompts.at(0).defaultExt, "xls");
  EXPECT_TRUE(std::filesystem::exists(dir / "운임내역.xls"));
  EXPECT_FALSE(std::filesystem::exists(dir / "운임내역"));
  exportTo("운임.XLS");
  EXPECT_TRUE(std::filesystem::exists(dir / "운임.XLS"));
  EXPECT_FALSE(std::filesystem::exists(dir / "운임.XLS.xls"));
}

TEST_F(Export, NumberCellsWithoutANumberAreLeftOutAndLongTextsCut) {
  freightGrid(g, 3);
  g.Row(2);
  g.Col(kFare);
  g.Text("");
  std::string remark;
  for (int i = 0; i < 200; ++i) remark += "가";  // 400 bytes in CP949
  g.Row(3);
  g.Col(kNote);
  g.Text(remark);
  const XlsRead xls = readXls(exportTo("gaps.xls"));
  ASSERT_EQ(xls.error, "");
  EXPECT_EQ(xls.cells.count({2, kFare - 1}), 0u) << "an empty number cell is not written";
  EXPECT_EQ(xls.text(2, kCumulative - 1), "3000.0") << "the row goes on";
  EXPECT_EQ(xls.text(3, kFare - 1), "3000.0");
  std::string cut;
  for (int i = 0; i < 127; ++i) cut += "가";  // 254 bytes: the last whole character that fits
  EXPECT_EQ(xls.text(3, kNote - 1), cut);
}

TEST_F(Export, AGridLongerThanTheFileHoldsWritesWhatFitsAndSaysHowManyRowsAreLeftOut) {
  g.MaxCols(1);
  g.MaxRows(32770);
  g.Row(-1);
  g.Col(1);
  g.Text("운임");
  g.Row(32766);
  g.Text("마지막");
  g.Row(32767);
  g.Text("빠짐");
  // Read record by record: xlrd holds BIFF2 sheets to Excel 2.1's 16,384 rows.
  std::vector<int> rows;
  std::string last;
  for (const auto& [id, body] : records(exportTo("long.xls")))
    if (id == 0x04 && body.size() >= 8) {
      rows.push_back(static_cast<unsigned char>(body[0]) | static_cast<unsigned char>(body[1]) << 8);
      last = body.substr(8);
    }
  ASSERT_EQ(rows.size(), 32767u) << "the header and grid rows 1 to 32,766";
  EXPECT_EQ(rows.back(), 32766);
  EXPECT_EQ(last, text::toAnsiString("마지막"));
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[1].title, "출력");
  EXPECT_EQ(ui.shown()[1].icon, ui::Icon::Exclamation);
  EXPECT_EQ(ui.shown()[1].text,
            "엑셀 파일에는 32,766행까지만 저장할 수 있습니다.\r\n\r\n전체 32,770행 중 32,766행을 저장했고, "
            "나머지 4행(32,767행부터)은 저장하지 못했습니다.");
}

TEST_F(Export, FilesThatCannotBeWrittenAreReportedAndLeaveNothingHalfDone) {
  freightGrid(g, 3);
  // A folder that does not exist.
  exportTo("no-such-folder/운임.xls");
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[1].title, "오류");
  EXPECT_EQ(ui.shown()[1].icon, ui::Icon::Critical);
  EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));

  // The disk fills while the file is written: the part written is removed.
  ui.clearShown();
  fs::injectFault("write", "full.xls", err::kDiskFull);
  const auto full = exportTo("full.xls");
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[1].title, "오류");
  EXPECT_NE(ui.shown()[1].text.find("Disk full"), std::string::npos) << ui.shown()[1].text;
  EXPECT_FALSE(std::filesystem::exists(full));

  // An old file that cannot be replaced stays as it was.
  ui.clearShown();
  const auto locked = dir / "locked.xls";
  test::writeFile(locked, "the user's old file");
  fs::injectFault("delete", "locked.xls", err::kPermissionDenied);
  exportTo("locked.xls");
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[1].title, "오류");
  EXPECT_EQ(test::readFile(locked), "the user's old file");

  // And a later export to a good place works.
  ui.clearShown();
  const XlsRead xls = readXls(exportTo("good.xls"));
  EXPECT_EQ(xls.error, "");
  EXPECT_EQ(xls.rows(), 4);
  EXPECT_EQ(ui.shown().size(), 1u);
}

}  // namespace
