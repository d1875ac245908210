#include <gtest/gtest.h>

#include "platform/grid/grid.h"
#include "platform/runtime/error.h"

using namespace veltrano;
using namespace veltrano::grid;

namespace {

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

void put(Grid& g, int row, int col, const std::string& text) {
  g.Row(row);
  g.Col(col);
  g.Text(text);
}

std::shared_ptr<MemoryDataSource> freightTable() {
  auto src = std::make_shared<MemoryDataSource>(std::vector<MemoryDataSource::Field>{
      {"화주명", adtype::adVarWChar},
      {"건수", adtype::adInteger},
      {"운임", adtype::adDouble},
      {"단가", adtype::adNumeric, 3},
      {"등록일", adtype::adDBTimeStamp},
      {"수수료", adtype::adCurrency}});
  src->addRecord({"(주)한빛물류", std::int32_t{12}, 1234567.5, Variant::decimal(12.345), DateValue{45000}, CurrencyValue{15000}});
  src->addRecord({"대한운송", std::int32_t{3}, 250000.0, Variant::decimal(0.5), Null, CurrencyValue{0}});
  src->addRecord({Null, Null, Null, Null, Null, Null});
  return src;
}

struct Recorder : GridListener {
  std::vector<GridChange::Kind> kinds;
  void gridChanged(const GridChange& c) override { kinds.push_back(c.kind); }
};

}  // namespace

TEST(GridAddressing, MinusOneAddressesAllRowsOrAllColumns) {
  Grid g;
  g.MaxRows(3);
  g.MaxCols(3);
  g.Row(-1);
  g.Col(2);
  g.Text("x");
  for (int r = 1; r <= 3; ++r) {
    EXPECT_EQ(g.textAt(r, 2), "x");
    EXPECT_EQ(g.textAt(r, 1), "");
  }
  EXPECT_EQ(g.textAt(0, 2), "") << "the header row is not a data row";
  g.Row(2);
  g.Col(-1);
  g.TypeHAlign(2);
  EXPECT_EQ(g.hAlignAt(2, 1), 2);
  EXPECT_EQ(g.hAlignAt(2, 3), 2);
  EXPECT_EQ(g.hAlignAt(1, 1), 0);
  // The setting made last wins where row, column and sheet settings meet.
  g.Row(-1);
  g.Col(3);
  g.TypeHAlign(1);
  EXPECT_EQ(g.hAlignAt(2, 3), 1);
  g.Row(2);
  g.Col(3);
  g.TypeHAlign(0);
  EXPECT_EQ(g.hAlignAt(2, 3), 0);
  g.Row(-1);
  g.Col(-1);
  g.TypeHAlign(2);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(g.hAlignAt(r, c), 2);
  // Rows added later take the column's setting.
  g.Row(-1);
  g.Col(1);
  g.CellType(celltype::Number);
  g.MaxRows(5);
  EXPECT_EQ(g.cellTypeAt(5, 1), celltype::Number);
}

TEST(GridAddressing, CellsBeyondTheGridReadEmptyAndIgnoreWrites) {
  Grid g;
  g.MaxRows(2);
  g.MaxCols(2);
  put(g, 5, 1, "far");
  put(g, 1, 9, "far");
  EXPECT_EQ(g.DataRowCnt(), 0);
  g.MaxRows(10);
  g.MaxCols(10);
  EXPECT_EQ(g.textAt(5, 1), "");
  // Shrinking drops the content of the rows and columns removed.
  put(g, 8, 8, "gone");
  g.MaxRows(4);
  g.MaxRows(10);
  EXPECT_EQ(g.textAt(8, 8), "");
}

TEST(GridRejections, OutOfRangeValuesRaiseAndLeaveTheGridAsItWas) {
  Grid g;
  g.MaxRows(5);
  g.MaxCols(5);
  EXPECT_EQ(errorOf([&] { g.MaxRows(-1); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.MaxRows(kMaxRowsLimit + 1); }), kInvalidPropertyValue);
  EXPECT_EQ(g.MaxRows(), 5);
  EXPECT_EQ(errorOf([&] { g.MaxCols(kMaxColsLimit + 1); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.Row(-2); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.col2(-5); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.COLWIDTH(1, -1); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.RowHeight(1, kMaxRowHeight + 1); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.CellType(16); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.TypeNumberDecPlaces(16); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.TypeNumberDecimal(",,"); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.TypeNumberSeparator("."); }), kInvalidPropertyValue) << "the same as the decimal";
  EXPECT_EQ(errorOf([&] { g.TypeHAlign(3); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.ForeColor(0x1000000); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.ForeColor(0x8000000F); }), 0) << "a system colour";
  EXPECT_EQ(errorOf([&] { g.FontSize(0); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.FontName("  "); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.OperationMode(6); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.PrintOrientation(3); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.PrintMarginTop(-1); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.Action(99); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { g.SortKey(4, 1); }), kInvalidArrayIndex);
  EXPECT_EQ(errorOf([&] { g.SortKeyOrder(0, 1); }), kInvalidArrayIndex);
  g.Row(1);
  g.Col(1);
  EXPECT_EQ(errorOf([&] { g.Formula("SUM(A1:"); }), kInvalidPropertyValue);

  // Number cells take numbers within their range only.
  g.Row(-1);
  g.Col(1);
  g.CellType(celltype::Number);
  g.TypeNumberMin(0);
  g.TypeNumberMax(100);
  put(g, 1, 1, "50");
  EXPECT_EQ(errorOf([&] { put(g, 1, 1, "abc"); }), veltrano::err::kTypeMismatch);
  EXPECT_EQ(errorOf([&] { put(g, 1, 1, "101"); }), kInvalidPropertyValue);
  EXPECT_EQ(errorOf([&] { put(g, 1, 1, "-1"); }), kInvalidPropertyValue);
  EXPECT_EQ(g.textAt(1, 1), "50.00");
  // A rejected value in a range write leaves every cell of the range unchanged.
  g.Row(-1);
  g.Col(-1);
  EXPECT_EQ(errorOf([&] { g.Text("text"); }), veltrano::err::kTypeMismatch);
  EXPECT_EQ(g.textAt(1, 1), "50.00");
  EXPECT_EQ(g.textAt(1, 2), "");
  put(g, 1, 1, "");
  EXPECT_EQ(g.textAt(1, 1), "") << "empty text empties a number cell";
}

TEST(GridCells, NumberCellsFormatTextValueAndReinterpretEarlierText) {
  Grid g;
  g.MaxRows(3);
  g.MaxCols(2);
  put(g, 1, 1, "1,234.5");  // written while the column is still text
  put(g, 2, 1, "memo");
  g.Row(-1);
  g.Col(1);
  g.CellType(celltype::Number);
  g.TypeNumberDecPlaces(1);
  g.TypeNumberShowSep(true);
  EXPECT_EQ(g.textAt(1, 1), "1,234.5");
  EXPECT_EQ(g.textAt(2, 1), "") << "text that is no number shows nothing in a number cell";
  put(g, 3, 1, "98765.44");
  EXPECT_EQ(g.textAt(3, 1), "98,765.4");
  EXPECT_EQ(g.valueAt(3, 1), "98765.44");
  g.TypeNumberSeparator(" ");
  g.TypeNumberDecimal(",");
  EXPECT_EQ(g.textAt(3, 1), "98 765,4");
  put(g, 3, 1, "1 000,5");
  EXPECT_EQ(g.valueAt(3, 1), "1000.5");
  EXPECT_EQ(g.hAlignAt(3, 1), 1) << "numbers align right unless set";
  EXPECT_EQ(g.hAlignAt(3, 2), 0);
}

TEST(GridFormulas, RecalculateWhenCellsChangeAndFormatByTheColumnType) {
  Grid g;
  g.MaxRows(4);
  g.MaxCols(2);
  g.Row(-1);
  g.Col(1);
  g.CellType(celltype::Number);
  g.TypeNumberDecPlaces(0);
  g.TypeNumberShowSep(true);
  put(g, 1, 1, "1000");
  put(g, 2, 1, "2500");
  g.Row(4);
  g.Col(1);
  g.Formula("SUM(A1:A3)");
  EXPECT_EQ(g.Text(), "3,500");
  EXPECT_EQ(g.Formula(), "SUM(A1:A3)");
  EXPECT_EQ(g.Value(), "3500");
  put(g, 3, 1, "500");
  EXPECT_EQ(g.textAt(4, 1), "4,000");
  // Text cells: numbers in them count, other text does not.
  put(g, 1, 2, "12");
  put(g, 2, 2, "(주)한빛");
  put(g, 3, 2, "1,000");
  g.Row(4);
  g.Col(2);
  g.Formula("SUM(B1:B3)");
  EXPECT_EQ(g.Text(), "1012");
  // A formula over itself is a cycle, not an endless loop; cells depending on it show it too.
  g.Row(1);
  g.Col(2);
  g.Formula("SUM(B1:B4)");
  EXPECT_EQ(g.textAt(1, 2), "#CIRC!");
  EXPECT_EQ(g.textAt(4, 2), "#CIRC!");
  put(g, 1, 2, "5");
  EXPECT_EQ(g.textAt(4, 2), "1005");
  g.Row(4);
  g.Col(2);
  g.Formula("B1/0");
  EXPECT_EQ(g.Text(), "#DIV/0!");
  // Without automatic calculation the last value stays until Recalc.
  g.Formula("SUM(B1:B3)");
  EXPECT_EQ(g.Text(), "1005");
  g.AutoCalc(false);
  put(g, 1, 2, "10");
  EXPECT_EQ(g.textAt(4, 2), "1005");
  g.Action(action::Recalc);
  EXPECT_EQ(g.textAt(4, 2), "1010");
}

TEST(GridBinding, AutomaticCellTypesFromTheFieldTypes) {
  Grid g;
  auto src = freightTable();
  g.DataSource(src);
  EXPECT_EQ(g.MaxRows(), 3);
  EXPECT_EQ(g.MaxCols(), 6);
  EXPECT_EQ(g.textAt(0, 1), "화주명");
  EXPECT_EQ(g.colHeaderText(6), "수수료");
  EXPECT_EQ(g.cellTypeAt(1, 1), celltype::Edit);
  EXPECT_EQ(g.textAt(1, 1), "(주)한빛물류");
  // Integer fields: no decimals; other numbers: the field's scale, else 2; separators shown.
  EXPECT_EQ(g.cellTypeAt(1, 2), celltype::Number);
  EXPECT_EQ(g.textAt(1, 2), "12");
  EXPECT_EQ(g.textAt(1, 3), "1,234,567.50");
  EXPECT_EQ(g.textAt(1, 4), "12.345");
  EXPECT_EQ(g.textAt(2, 4), "0.500");
  EXPECT_EQ(g.textAt(1, 6), "1.50");
  EXPECT_EQ(g.cellTypeAt(1, 5), celltype::Edit) << "dates stay text";
  EXPECT_FALSE(g.textAt(1, 5).empty());
  EXPECT_EQ(g.textAt(3, 3), "") << "Null shows nothing";
  Grid::fromHwnd(g.hwnd())->Row(1);
  EXPECT_EQ(Grid::fromHwnd(g.hwnd()), &g);

  // Without automatic types every column stays text.
  Grid plain;
  plain.DAutoCellTypes(false);
  plain.DAutoHeadings(false);
  plain.DataSource(src);
  EXPECT_EQ(plain.cellTypeAt(1, 3), celltype::Edit);
  EXPECT_EQ(plain.textAt(1, 3), "1234567.5");
  EXPECT_EQ(plain.textAt(0, 1), "");
  EXPECT_EQ(plain.colHeaderText(1), "A");
}

TEST(GridBinding, DataFillEventRunsForSwitchedColumnsOnly) {
  Grid g;
  g.MaxCols(6);
  g.Col(3);
  g.DataFillEvent(true);
  std::vector<std::pair<int, int>> seen;
  g.setOnDataFill([&](DataFillArgs& a) {
    seen.emplace_back(a.Row, a.Col);
    if (a.Row == 1) a.value = 7.0;
    if (a.Row == 2) a.Cancel = true;
  });
  g.DataSource(freightTable());
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::make_pair(1, 3));
  EXPECT_EQ(seen[2], std::make_pair(3, 3));
  EXPECT_EQ(g.textAt(1, 3), "7.00");
  EXPECT_EQ(g.textAt(2, 3), "");
  EXPECT_EQ(g.textAt(2, 2), "3");
}

TEST(GridBinding, EmptyRecordsetAndUnbinding) {
  Grid g;
  auto empty = std::make_shared<MemoryDataSource>(std::vector<MemoryDataSource::Field>{{"a", adtype::adInteger}});
  g.DataSource(empty);
  EXPECT_EQ(g.MaxRows(), 0);
  EXPECT_EQ(g.MaxCols(), 1);
  EXPECT_EQ(g.DataRowCnt(), 0);
  g.DataSource(nullptr);
  EXPECT_EQ(g.DataSource(), nullptr);
}

TEST(GridSort, AscendingDescendingEmptyLastAndRowsMoveWhole) {
  Grid g;
  g.MaxRows(5);
  g.MaxCols(2);
  g.Row(-1);
  g.Col(2);
  g.CellType(celltype::Number);
  const char* names[] = {"다", "가", "", "나", "라"};
  const char* amounts[] = {"30", "10", "", "20", "5"};
  for (int r = 1; r <= 5; ++r) {
    put(g, r, 1, names[r - 1]);
    if (*amounts[r - 1]) put(g, r, 2, amounts[r - 1]);
  }
  g.Row(4);
  g.RowHidden(true);
  g.Row(5);
  g.SelModeSelected(true);
  auto sortBy = [&](int col, int order) {
    g.Row(1);
    g.Col(1);
    g.Row2(g.DataRowCnt());
    g.col2(g.MaxCols());
    g.SortBy(0);
    g.SortKey(1, col);
    g.SortKeyOrder(1, order);
    g.Action(action::Sort);
  };
  sortBy(2, 1);
  EXPECT_EQ(g.textAt(1, 1), "라");
  EXPECT_EQ(g.textAt(2, 1), "가");
  EXPECT_EQ(g.textAt(3, 1), "나");
  EXPECT_EQ(g.textAt(4, 1), "다");
  EXPECT_EQ(g.textAt(5, 2), "");
  EXPECT_TRUE(g.isRowSelected(1)) << "the selection moves with its row";
  EXPECT_FALSE(g.isRowShown(3)) << "and so does the hidden mark";
  sortBy(2, 2);
  EXPECT_EQ(g.textAt(1, 2), "30.00");
  EXPECT_EQ(g.textAt(4, 2), "5.00");
  EXPECT_EQ(g.textAt(5, 2), "") << "empty cells stay last when descending";
  sortBy(1, 1);
  EXPECT_EQ(g.textAt(1, 1), "가");
  EXPECT_EQ(g.textAt(4, 1), "라");
  // Sorting a part of the columns moves only those cells.
  g.Row(1);
  g.Col(2);
  g.Row2(4);
  g.col2(2);
  g.SortKey(1, 2);
  g.SortKeyOrder(1, 2);
  g.Action(action::Sort);
  EXPECT_EQ(g.textAt(1, 1), "가");
  EXPECT_EQ(g.textAt(1, 2), "30.00");
}

TEST(GridSelection, BlocksRowsAndCounts) {
  Grid g;
  g.MaxRows(10);
  g.MaxCols(3);
  g.AddSelection(0, 4, 100, 4);
  EXPECT_EQ(g.SelectionCount(), 0) << "a block counts once applied";
  g.Action(action::SelectBlock);
  EXPECT_EQ(g.SelectionCount(), 1);
  EXPECT_TRUE(g.isCellSelected(4, 3));
  EXPECT_FALSE(g.isCellSelected(5, 3));
  g.OperationMode(opmode::ExtendedSelect);
  EXPECT_EQ(g.SelectionCount(), 0) << "row modes count rows";
  for (int r : {2, 5, 7}) {
    g.Row(r);
    g.SelModeSelected(true);
  }
  EXPECT_EQ(g.SelectionCount(), 3);
  g.Row(5);
  g.SelModeSelected(false);
  EXPECT_EQ(g.SelectionCount(), 2);
  g.OperationMode(opmode::SingleSelect);
  g.Row(9);
  g.SelModeSelected(true);
  EXPECT_EQ(g.SelectionCount(), 1);
  EXPECT_TRUE(g.isRowSelected(9));
  g.Action(action::SelModeClear);
  EXPECT_EQ(g.SelectionCount(), 0);
}

TEST(GridBorders, OutlineAndSidesOfABlock) {
  Grid g;
  g.MaxRows(5);
  g.MaxCols(5);
  g.BlockMode(true);
  g.Col(2);
  g.Row(2);
  g.col2(4);
  g.Row2(3);
  g.CellBorderColor(8421504);
  g.CellBorderStyle(1);
  g.CellBorderType(border::Outline);
  g.Action(action::SetCellBorder);
  g.BlockMode(false);
  EXPECT_EQ(g.cellBorders(2, 2).left.style, 1);
  EXPECT_EQ(g.cellBorders(2, 2).top.color, 8421504u);
  EXPECT_EQ(g.cellBorders(2, 3).left.style, 0) << "inner cells have no outline";
  EXPECT_EQ(g.cellBorders(3, 4).right.style, 1);
  EXPECT_EQ(g.cellBorders(3, 4).bottom.style, 1);
  EXPECT_EQ(g.cellBorders(4, 4).top.style, 0);
}

TEST(GridDrawing, ListenersHearNothingWhileDrawingIsOffThenOneRefresh) {
  Grid g;
  Recorder rec;
  g.addListener(&rec);
  g.ReDraw(false);
  g.MaxRows(3);
  put(g, 1, 1, "a");
  EXPECT_TRUE(rec.kinds.empty());
  g.ReDraw(true);
  ASSERT_EQ(rec.kinds.size(), 1u);
  EXPECT_EQ(rec.kinds[0], GridChange::Everything);
  put(g, 1, 1, "b");
  EXPECT_EQ(rec.kinds.back(), GridChange::Cells);
  g.removeListener(&rec);
}

TEST(GridDefaults, ResetRestoresDefaultsAndSizesApplyToRowsAndColumns) {
  Grid g;
  g.MaxRows(3);
  g.MaxCols(3);
  g.RowHeight(-1, 16);
  g.MaxRows(6);
  EXPECT_EQ(g.RowHeight(6), 16) << "rows added later take the height of all rows";
  g.COLWIDTH(-1, 0);
  EXPECT_EQ(g.COLWIDTH(2), 0);
  g.MaxCols(4);
  EXPECT_EQ(g.COLWIDTH(4), kDefaultColWidth) << "columns added later start at the standard width";
  EXPECT_FALSE(g.isColShown(2));
  g.Col(4);
  g.ColHidden(true);
  EXPECT_FALSE(g.isColShown(4));
  g.Reset();
  EXPECT_EQ(g.MaxRows(), 500);
  EXPECT_EQ(g.COLWIDTH(2), kDefaultColWidth);
  EXPECT_TRUE(g.isColShown(4));
  EXPECT_EQ(g.RowHeight(2), kDefaultRowHeight);
  g.TopRow(1000);
  EXPECT_EQ(g.TopRow(), 500);
  g.TopRow(0);
  EXPECT_EQ(g.TopRow(), 1);
}
