// SPREADSETUP: the print job's copy grid, totals row, selection question, header and footer
// texts and error box, and the small grid utilities. Driven through the public API and the
// windows' object names, as a product program's test would.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "lumagrid/spreadsetup.h"
#include "platform/grid/grid_preview.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "print_test_support.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace printjob_test;
using lumagrid::SPREADSETUP;
using veltrano::grid::Grid;

namespace {

class PrintJob : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"SPREADPRT", "SPREADSET"})
      if (QWidget* w = window(name)) w->close();
    settle();
  }
  // The copy grid the open preview shows.
  static Grid* copyGrid() {
    auto* vspw = control<veltrano::grid::GridPreview>(window("SPREADPRT"), "VSPW");
    return vspw ? Grid::fromHwnd(vspw->gridHwnd()) : nullptr;
  }
  void print(const std::string& title = "화주별 운임 내역", std::int16_t orientation = 1) {
    setup.UserSpreadPrint(g, title, "운송 1팀", orientation);
  }
  std::vector<ui::ScriptedUi::Shown> boxes() const { return ui.shown(); }

  test::ScopedRegistry registry;
  ManualClock clock{makeDate(2024, 5, 1, 14, 30, 0)};
  ScopedClock scopedClock{clock};
  ui::ScriptedUi ui;
  ui::ScopedUi scopedUi{ui};
  Grid g;
  SPREADSETUP setup;
};

TEST_F(PrintJob, CopiesTextsWidthsHiddenColumnsNumberFormatsAndAlignment) {
  freightGrid(g, 10);
  g.Row(-1);
  g.Col(kNote);
  g.ColHidden(true);
  g.Col(kVehicle);
  g.TypeHAlign(2);
  print();
  EXPECT_TRUE(boxes().empty()) << "no selection, no question";
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_NE(ss, &g);
  EXPECT_EQ(setup.Print_SPR.get(), &g);

  EXPECT_EQ(ss->MaxCols(), kFreightCols);
  EXPECT_EQ(ss->MaxRows(), 11) << "ten data rows and the totals row";
  for (int c = 1; c <= kFreightCols; ++c) EXPECT_EQ(ss->textAt(0, c), g.textAt(0, c)) << "header of column " << c;
  for (int r = 1; r <= 10; ++r)
    for (int c = 1; c <= kFreightCols; ++c) EXPECT_EQ(ss->textAt(r, c), g.textAt(r, c)) << r << "," << c;
  EXPECT_EQ(ss->textAt(3, kFare), "3,000.00");

  EXPECT_EQ(ss->RowHeight(-1), g.RowHeight(-1));
  EXPECT_EQ(ss->COLWIDTH(kShipper), 16);
  EXPECT_EQ(ss->COLWIDTH(kFare), 12);
  ss->Col(kNote);
  EXPECT_TRUE(ss->ColHidden()) << "a hidden column stays hidden in print";
  EXPECT_EQ(ss->COLWIDTH(kNote), veltrano::grid::kDefaultColWidth) << "its width is not copied";
  EXPECT_FALSE(ss->isColShown(kNote));

  EXPECT_EQ(ss->cellTypeAt(1, kFare), g.cellTypeAt(1, kFare));
  EXPECT_EQ(ss->cellTypeAt(1, kTrips), g.cellTypeAt(1, kTrips));
  EXPECT_EQ(ss->numberFormatAt(1, kTrips).decPlaces, 0);
  EXPECT_EQ(ss->numberFormatAt(1, kFare).decPlaces, 2);
  EXPECT_TRUE(ss->numberFormatAt(1, kFare).showSep);
  EXPECT_EQ(ss->cellTypeAt(1, kShipper), veltrano::grid::celltype::Edit);
  EXPECT_EQ(ss->hAlignAt(1, kVehicle), 2);
  EXPECT_EQ(ss->hAlignAt(1, kFare), 1);
  EXPECT_EQ(ss->hAlignAt(1, kShipper), 0);
  EXPECT_TRUE(ss->ReDraw()) << "drawing is back on for the preview";

  // The caller's grid keeps its rows and content.
  EXPECT_EQ(g.MaxRows(), 10);
  EXPECT_EQ(g.textAt(10, kFare), "10,000.00");
}

TEST_F(PrintJob, SwappedDecimalAndSeparatorCharactersAreCopied) {
  freightGrid(g, 3);
  g.Row(-1);
  g.Col(kFare);
  g.TypeNumberSeparator(" ");
  g.TypeNumberDecimal(",");
  g.TypeNumberSeparator(".");
  ASSERT_EQ(g.textAt(2, kFare), "2.000,00");
  print();
  EXPECT_TRUE(boxes().empty()) << (boxes().empty() ? "" : boxes()[0].text);
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->numberFormatAt(1, kFare).decimal, ",");
  EXPECT_EQ(ss->numberFormatAt(1, kFare).separator, ".");
  EXPECT_EQ(ss->textAt(2, kFare), "2.000,00");
  EXPECT_EQ(ss->textAt(4, kFare), "6.000,00") << "the sum reads the copied amounts";
}

TEST_F(PrintJob, TotalsRowCountsSumsNumberColumnsButNotTheCumulativeOrTextColumns) {
  freightGrid(g, 10);
  print();
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  const int t = ss->MaxRows();
  ASSERT_EQ(t, 11);
  EXPECT_EQ(ss->textAt(t, 1), "[총 10건]");
  EXPECT_EQ(ss->formulaAt(t, kTrips), "SUM(D1:D10)");
  EXPECT_EQ(ss->textAt(t, kTrips), "30");  // 2+3+4+5+1, twice
  EXPECT_EQ(ss->formulaAt(t, kFare), "SUM(E1:E10)");
  EXPECT_EQ(ss->textAt(t, kFare), "55,000.00");
  EXPECT_EQ(ss->textAt(0, kCumulative), "누계금액");
  EXPECT_EQ(ss->textAt(t, kCumulative), "") << "a running total is not summed, though numeric";
  EXPECT_EQ(ss->formulaAt(t, kCumulative), "");
  for (int c : {kShipper, kVehicle, kNote}) EXPECT_EQ(ss->textAt(t, c), "") << "text column " << c;
  for (int c = 1; c <= kFreightCols; ++c) EXPECT_EQ(ss->backColorAt(t, c), 14737632u) << "totals cell " << c;
  EXPECT_NE(ss->backColorAt(t - 1, kFare), 14737632u);
}

TEST_F(PrintJob, EmptyGridPrintsTheHeaderRowAndACountOfZero) {
  freightGrid(g, 0);
  print();
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->MaxRows(), 1);
  EXPECT_EQ(ss->textAt(0, kShipper), "화주명");
  EXPECT_EQ(ss->textAt(1, 1), "[총 0건]");
  EXPECT_EQ(ss->textAt(1, kFare), "0.00") << "a sum over no rows";
  EXPECT_EQ(ss->PrintPageCount(), 1);
  EXPECT_EQ(control<QLabel>(window("SPREADPRT"), "Print_Page")->text(), "1 / 1");
}

TEST_F(PrintJob, CountLabelIsTextEvenWhenTheFirstColumnIsANumberColumn) {
  freightGrid(g, 3);
  g.Row(-1);
  g.Col(1);
  g.CellType(veltrano::grid::celltype::Number);
  print();
  EXPECT_TRUE(boxes().empty());
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->textAt(4, 1), "[총 3건]");
}

TEST_F(PrintJob, AnsweringYesKeepsOnlyTheSelectedRows) {
  freightGrid(g, 10);
  for (int r : {3, 7}) {
    g.Row(r);
    g.SelModeSelected(true);
  }
  ui.queue("Yes");
  print();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "선택한 항목만 인쇄하시겠습니까?");
  EXPECT_EQ(boxes()[0].title, "인쇄옵션");
  EXPECT_EQ(boxes()[0].buttons, ui::Buttons::YesNoCancel);
  EXPECT_EQ(boxes()[0].icon, ui::Icon::Question);

  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  ASSERT_EQ(ss->MaxRows(), 11) << "ten data rows print, eight of them hidden";
  int hidden = 0;
  for (int r = 1; r <= 10; ++r) {
    const bool kept = r == 3 || r == 7;
    EXPECT_EQ(ss->isRowShown(r), kept) << "row " << r;
    hidden += ss->isRowShown(r) ? 0 : 1;
    if (kept) {
      EXPECT_EQ(ss->textAt(r, kFare), g.textAt(r, kFare));
      continue;
    }
    for (int c = 1; c <= kFreightCols; ++c) EXPECT_EQ(ss->textAt(r, c), "") << "hidden row " << r << " is emptied";
  }
  EXPECT_EQ(hidden, 8);
  EXPECT_EQ(ss->textAt(11, 1), "[총 2건]");
  EXPECT_EQ(ss->textAt(11, kFare), "10,000.00") << "3,000 + 7,000";
  EXPECT_EQ(ss->textAt(11, kTrips), "7") << "4 + 3";
  // The caller's grid is not touched.
  for (int r = 1; r <= 10; ++r) EXPECT_TRUE(g.isRowShown(r));
}

TEST_F(PrintJob, YesInCellSelectionModeCountsTheSelectedBlocks) {
  freightGrid(g, 10);
  g.OperationMode(veltrano::grid::opmode::Normal);  // blocks of cells, no row marked selected
  g.AddSelection(2, 3, 4, 5);
  g.Action(veltrano::grid::action::SelectBlock);
  ASSERT_EQ(g.SelectionCount(), 1);
  ui.queue("Yes");
  print();
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->textAt(11, 1), "[총 1건]");
  for (int r = 1; r <= 10; ++r) EXPECT_FALSE(ss->isRowShown(r)) << "row " << r;
}

TEST_F(PrintJob, NoIsTheDefaultAndPrintsEveryRow) {
  freightGrid(g, 10);
  g.Row(4);
  g.SelModeSelected(true);
  print();  // no answer queued: the default button
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].answer, "No");
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->textAt(11, 1), "[총 10건]");
  for (int r = 1; r <= 10; ++r) EXPECT_TRUE(ss->isRowShown(r));
}

TEST_F(PrintJob, CancelUnloadsThePreviewTheSetupAndTheHiddenForm) {
  freightGrid(g, 10);
  print();
  Grid* first = copyGrid();
  ASSERT_NE(first, nullptr);
  const auto firstCopy = first->hwnd();
  setup.OPENFORMNAME = "FRM_PRINT_TEST";
  setup.ShowForm("");
  ASSERT_NE(window("SPREADSET"), nullptr);

  g.Row(2);
  g.SelModeSelected(true);
  ui.queue("Cancel");
  print();
  EXPECT_EQ(window("SPREADPRT"), nullptr);
  EXPECT_EQ(window("SPREADSET"), nullptr);
  EXPECT_EQ(Grid::fromHwnd(firstCopy), nullptr) << "the hidden form and its copy grid are gone";
}

TEST_F(PrintJob, ASecondJobReplacesTheOpenPreview) {
  freightGrid(g, 5);
  print("첫 번째");
  const auto firstCopy = copyGrid()->hwnd();
  Grid other;
  freightGrid(other, 8);
  setup.UserSpreadPrint(other, "두 번째", "", 1);
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(Grid::fromHwnd(firstCopy), nullptr);
  EXPECT_EQ(ss->textAt(ss->MaxRows(), 1), "[총 8건]");
  EXPECT_EQ(ss->PrintJobName(), "두 번째");
  int open = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "SPREADPRT") ++open;
  EXPECT_EQ(open, 1);
  EXPECT_EQ(setup.Print_SPR.get(), &other);
}

TEST_F(PrintJob, HeaderAndFooterTextsWithAndWithoutTheApprovalBox) {
  freightGrid(g, 130);
  print("화주별 운임 내역");
  const std::array<std::string, 7> box = {
      "┏━┳━━━━┳━━━━┳━━━━┳━━━━┳━━━━┓    ",
      "┃　┃　담당　┃　과장　┃　차장　┃　부장　┃　사장　┃    ",
      "┃결┣━━━━╋━━━━╋━━━━╋━━━━╋━━━━┫    ",
      "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
      "┃재┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
      "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
      "┗━┻━━━━┻━━━━┻━━━━┻━━━━┻━━━━┛    "};
  EXPECT_EQ(setup.approvalBox(), box);
  EXPECT_NE(box[3].find("\u3000"), std::string::npos) << "the blanks inside are ideographic spaces";

  const std::string title = "/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1화주별 운임 내역/fb0/fu0/n/n/r";
  std::string boxed = title + "/fn\"굴림체\"/fz\"10\"/r" + box[0] + "/n/r";
  for (int i = 1; i < 7; ++i) boxed += "/r" + box[static_cast<std::size_t>(i)] + "/n/r";
  EXPECT_EQ(setup.PrintHeader_F, boxed);
  EXPECT_EQ(setup.PrintHeader_S, title + "/fn\"굴림체\"/fz\"10\"/r /n/r");
  const std::string footer = "/n\"/fn\"굴림체\"/fz\"9\"/l운송 1팀/r인쇄일자 : 2024-05-01/n";
  EXPECT_EQ(setup.PrintFooter_F, footer);
  std::string padded = footer;
  for (int i = 0; i < 6; ++i) padded += "/fn\"굴림체\"/fz\"10\"/r /n/r";
  EXPECT_EQ(setup.PrintFooter_S, padded);

  // Both pairs give the same page breaks.
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->PrintHeader(), setup.PrintHeader_S);
  EXPECT_EQ(ss->PrintJobName(), "화주별 운임 내역");
  const int plain = ss->PrintPageCount();
  EXPECT_GT(plain, 2);
  ss->PrintHeader(setup.PrintHeader_F);
  ss->PrintFooter(setup.PrintFooter_F);
  EXPECT_EQ(ss->PrintPageCount(), plain);
  ss->PrintHeader(setup.PrintHeader_S);
  ss->PrintFooter(setup.PrintFooter_S);
}

TEST_F(PrintJob, PreviewGetsTheJobsSettings) {
  freightGrid(g, 20);
  setup.PrintMarginTop = 720;
  setup.PrintMarginLeft = 360;
  setup.PrintGrid = false;       // not read: the preview gets grid lines on
  setup.PrintSmartPrint = true;  // not read: smart print off
  print("운임", 2);
  Grid* ss = copyGrid();
  ASSERT_NE(ss, nullptr);
  EXPECT_EQ(ss->PrintMarginTop(), 720);
  EXPECT_EQ(ss->PrintMarginLeft(), 360);
  EXPECT_EQ(ss->PrintOrientation(), 2);
  EXPECT_TRUE(ss->PrintGrid());
  EXPECT_TRUE(ss->PrintBorder());
  EXPECT_FALSE(ss->PrintSmartPrint());
  EXPECT_EQ(ss->PrintPageEnd(), ss->PrintPageCount());
  EXPECT_FALSE(control<QCheckBox>(window("SPREADPRT"), "CHK_LANDSCAPE")->isChecked()) << "landscape handed in";
}

TEST_F(PrintJob, ErrorsAreShownInABoxTitledOryuAndLeaveNoPreview) {
  freightGrid(g, 5);
  print("운임", 7);  // no such orientation
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].title, "오류");
  EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
  EXPECT_NE(boxes()[0].text.find("Invalid property value"), std::string::npos) << boxes()[0].text;
  EXPECT_EQ(window("SPREADPRT"), nullptr);

  ui.clearShown();
  setup.PrintMarginTop = -5;
  print("운임", 1);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].title, "오류");
  EXPECT_EQ(window("SPREADPRT"), nullptr);
}

TEST_F(PrintJob, SetupAndExportNeedALiveGrid) {
  try {
    setup.ShowForm("");
    FAIL() << "no grid yet";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kObjectNotSet);
  }
  {
    Grid gone;
    setup.Print_SPR = gone;
  }
  try {
    setup.Create_Excel_From_Spread();
    FAIL() << "the grid was destroyed";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kObjectNotSet);
  }
  EXPECT_TRUE(boxes().empty()) << "no dialog was shown";
}

// ---------------------------------------------------------------- the grid utilities

class GridUtilities : public PrintJob {};

TEST_F(GridUtilities, SortAlternatesAscendingAndDescendingWithOneFlag) {
  freightGrid(g, 10);
  auto column = [&](int c) {
    std::vector<std::string> v;
    for (int r = 1; r <= g.MaxRows(); ++r) v.push_back(g.textAt(r, c));
    return v;
  };
  bool flag = false;
  setup.SSpreedSort(g, kTrips, flag);
  EXPECT_TRUE(flag);
  const auto up = column(kTrips);
  EXPECT_TRUE(std::is_sorted(up.begin(), up.end())) << up.front() << " .. " << up.back();
  EXPECT_EQ(up.front(), "1");
  // Whole rows move: the fare of a row with 1 trip is a multiple of 5,000.
  EXPECT_EQ(g.textAt(1, kFare), "5,000.00");
  setup.SSpreedSort(g, kTrips, flag);
  EXPECT_FALSE(flag);
  const auto down = column(kTrips);
  EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
  EXPECT_EQ(down.front(), "5");
  EXPECT_EQ(g.SortKey(1), kTrips);
  EXPECT_EQ(g.SortKeyOrder(1), 2);
}

TEST_F(GridUtilities, SelectAllInvertsTheRowSelection) {
  freightGrid(g, 6);
  for (int r : {2, 5}) {
    g.Row(r);
    g.SelModeSelected(true);
  }
  setup.SSpreadSelectAll(g);
  for (int r = 1; r <= 6; ++r) EXPECT_EQ(g.isRowSelected(r), r != 2 && r != 5) << "row " << r;
  EXPECT_EQ(g.SelectionCount(), 4);
  EXPECT_TRUE(g.ReDraw());
}

TEST_F(GridUtilities, ActiveRowAndBlockBox) {
  freightGrid(g, 8);
  setup.SSpreadActiveRow(g, 4);
  EXPECT_EQ(g.ActiveRow(), 4);
  EXPECT_EQ(g.ActiveCol(), 1);
  EXPECT_TRUE(g.isRowSelected(4));

  std::int32_t x1 = 2, y1 = 3, x2 = 4, y2 = 6;
  EXPECT_TRUE(setup.SSBlockBox(g, x1, y1, x2, y2).isEmpty());
  EXPECT_FALSE(g.BlockMode());
  const auto corner = g.cellBorders(3, 2);
  EXPECT_EQ(corner.top.style, veltrano::grid::border::StyleSolid);
  EXPECT_EQ(corner.left.color, 8421504u);
  EXPECT_EQ(corner.right.style, veltrano::grid::border::StyleNone) << "only the outline";
  EXPECT_EQ(g.cellBorders(6, 4).bottom.style, veltrano::grid::border::StyleSolid);
  EXPECT_EQ(g.cellBorders(6, 4).right.style, veltrano::grid::border::StyleSolid);
  EXPECT_EQ(g.cellBorders(4, 3).top.style, veltrano::grid::border::StyleNone) << "inside the box";
  EXPECT_EQ(g.cellBorders(2, 2).bottom.style, veltrano::grid::border::StyleNone) << "outside the box";
}

}  // namespace
