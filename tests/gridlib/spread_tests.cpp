#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "lumagrid/registry.h"
#include "lumagrid/spread.h"
#include "platform/ado/recordset.h"
#include "platform/text/vbstring.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace veltrano::grid;
using lumagrid::Spread;

namespace {

std::shared_ptr<MemoryDataSource> freight(int records) {
  auto src = std::make_shared<MemoryDataSource>(std::vector<MemoryDataSource::Field>{
      {"화주명", adtype::adVarWChar}, {"건수", adtype::adInteger}, {"운임", adtype::adDouble}, {"비고", adtype::adVarChar}});
  for (int i = 1; i <= records; ++i)
    src->addRecord({"화주" + std::to_string(i), std::int32_t{i}, i * 1000.5, i % 2 ? Variant("12") : Variant(Null)});
  return src;
}

// A table of `cols` integer columns; column c holds c * 10^(c % 4) in each record, so a sum read
// from the wrong column shows.
std::shared_ptr<MemoryDataSource> wide(int cols, int records) {
  std::vector<MemoryDataSource::Field> fields;
  for (int c = 1; c <= cols; ++c) fields.push_back({"F" + std::to_string(c), adtype::adInteger});
  auto src = std::make_shared<MemoryDataSource>(fields);
  for (int r = 0; r < records; ++r) {
    std::vector<Variant> values;
    for (int c = 1; c <= cols; ++c) values.emplace_back(static_cast<std::int32_t>(c * (c % 4 == 0 ? 1000 : c % 4 == 1 ? 1 : c % 4 == 2 ? 10 : 100)));
    src->addRecord(values);
  }
  return src;
}

// Records the formulas a grid holds while SumFormula writes them.
struct FormulaSpy : GridListener {
  Grid& g;
  std::vector<std::string> formulas;
  explicit FormulaSpy(Grid& grid) : g(grid) { g.addListener(this); }
  ~FormulaSpy() override { g.removeListener(this); }
  void gridChanged(const GridChange& c) override {
    if (c.kind == GridChange::Cells) {
      std::string f = g.formulaAt(c.cells.row, c.cells.col);
      if (!f.empty()) formulas.push_back(f);
    }
  }
};

void setDisplay(const std::string& name, const std::string& value) {
  lumagrid::REGISTRY reg;
  reg.HKEY(lumagrid::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  reg.KeyName("DISPLAY");
  reg.KeyValue(name);
  reg.SetRegistry(value);
}

bool dataFillOn(Grid& g, int col) {
  g.Col(col);
  return g.DataFillEvent();
}

struct WinmsgFolder {
  test::TempDir dir;
  test::ScopedEnv env{"VELTRANO_WINMSG_DIR", dir.path().string()};
};

}  // namespace

TEST(SpreadDisplay, EmptyRecordsetShowsZeroCountAndEmptySums) {
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(freight(0), grid, tot, false);
  EXPECT_EQ(grid.MaxRows(), 0);
  EXPECT_EQ(grid.MaxCols(), 4);
  EXPECT_EQ(grid.TopRow(), 1);
  EXPECT_EQ(tot.MaxRows(), 1);
  EXPECT_EQ(tot.textAt(1, 1), "총 0 건");
  EXPECT_EQ(tot.textAt(1, 2), "0");
  EXPECT_EQ(tot.textAt(1, 3), "0.00");
  EXPECT_EQ(tot.textAt(1, 4), "0");
  EXPECT_TRUE(grid.ReDraw());
  EXPECT_TRUE(tot.ReDraw());
}

TEST(SpreadDisplay, FillsTheGridAndTheTotalsRow) {
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(freight(1234), grid, tot, false);
  EXPECT_EQ(grid.MaxRows(), 1234) << "the totals row is removed again";
  EXPECT_EQ(grid.textAt(1, 1), "화주1");
  EXPECT_EQ(grid.textAt(1234, 3), "1,234,617.00");
  EXPECT_EQ(tot.textAt(1, 1), "총 1,234 건");
  EXPECT_EQ(tot.textAt(1, 2), "761,995");  // 1 + 2 + ... + 1234
  EXPECT_EQ(tot.textAt(1, 3), "762,375,997.50");
  EXPECT_EQ(tot.textAt(1, 4), "7404") << "a text column sums the numbers it holds";
  // The totals grid: right-aligned, centred vertically, one row, no column headers.
  EXPECT_EQ(tot.hAlignAt(1, 3), 1);
  EXPECT_EQ(tot.vAlignAt(1, 3), 2);
  EXPECT_EQ(tot.MaxCols(), 4);
  EXPECT_FALSE(tot.ColHeadersShow());
  EXPECT_TRUE(tot.RowHeadersShow());
  EXPECT_EQ(tot.RowHeadersAutoText(), 0);
  EXPECT_EQ(tot.RowHeaderCols(), 2);
  EXPECT_EQ(tot.ScrollBars(), 1);
  EXPECT_EQ(grid.ScrollBars(), 2);
  EXPECT_TRUE(grid.AllowUserFormulas());
  EXPECT_TRUE(grid.DAutoFill());
  EXPECT_EQ(grid.RowHeaderCols(), 2);
  EXPECT_EQ(grid.DataSource()->recordCount(), 1234);
}

TEST(SpreadDisplay, AutoScrollRulesInBothDisplayMethods) {
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(freight(10), grid, tot, false, 50);
  EXPECT_EQ(grid.TopRow(), 1) << "beyond the records: start at row 1";
  s.SpreadDisplay(freight(10), grid, tot, false, 10);
  EXPECT_EQ(grid.TopRow(), 1) << "the record count itself also starts at row 1";
  s.SpreadDisplay(freight(10), grid, tot, false, 5);
  EXPECT_EQ(grid.TopRow(), 5);
  s.SpreadDisplay(freight(10), grid, tot, false, 0);
  EXPECT_EQ(grid.TopRow(), 1);

  Grid one;
  s.SpreadDisplayOne(freight(10), one, false, 50);
  EXPECT_EQ(one.TopRow(), 10) << "SpreadDisplayOne starts at the last row";
  EXPECT_EQ(one.ScrollBars(), 3);
  s.SpreadDisplayOne(freight(10), one, false, 4);
  EXPECT_EQ(one.TopRow(), 4);
  EXPECT_EQ(one.MaxRows(), 10);

  // Virtual mode leaves the scroll position to the grid and sets the virtual settings.
  Grid v, vt;
  v.TopRow(3);
  s.SpreadDisplay(freight(10), v, vt, false, 8, true);
  EXPECT_EQ(v.TopRow(), 3);
  EXPECT_TRUE(v.VirtualMode());
  EXPECT_TRUE(v.VScrollSpecial());
  EXPECT_TRUE(v.VirtualScrollBuffer());
  EXPECT_EQ(v.VirtualOverlap(), 10);
  EXPECT_EQ(v.VirtualMaxRows(), 10);
  EXPECT_EQ(v.MaxRows(), 10);
  EXPECT_EQ(vt.textAt(1, 1), "총 10 건");
}

// Each grid starts from values other than the grid's defaults, so that a step left out shows:
// fore colour and hidden rows (step 6), automatic fill and cell types, scroll bars, TopRow.
TEST(SpreadDisplay, StepsTakeEffectOverAGridsEarlierSettings) {
  auto used = [](Grid& g) {
    g.MaxRows(10);
    g.Row(-1);
    g.Col(-1);
    g.ForeColor(0x0000FF);
    g.Row(3);
    g.RowHidden(true);
    g.ScrollBars(0);
    g.DAutoFill(false);
    g.DAutoCellTypes(false);
  };
  Spread s;
  Grid grid, tot;
  used(grid);
  tot.ScrollBars(0);
  s.SpreadDisplay(freight(10), grid, tot, false);
  EXPECT_EQ(grid.foreColorAt(2, 2), 0u) << "black again";
  EXPECT_TRUE(grid.isRowShown(3));
  EXPECT_EQ(grid.ScrollBars(), 2);
  EXPECT_EQ(tot.ScrollBars(), 1);
  EXPECT_TRUE(grid.DAutoFill());
  EXPECT_TRUE(grid.DAutoCellTypes());
  EXPECT_EQ(grid.textAt(10, 3), "10,005.00") << "filled with number cell types";

  Grid two, twoTot;
  used(two);
  s.SpreadDisplay2(freight(10), two, twoTot, {}, 6);
  EXPECT_EQ(two.TopRow(), 6);
  EXPECT_EQ(two.ScrollBars(), 2);
  EXPECT_EQ(twoTot.ScrollBars(), 1);
  EXPECT_EQ(two.textAt(10, 3), "10,005.00");
}

TEST(SpreadDisplay, DataFillFieldsChooseTheColumnsOfTheEvent) {
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(wide(6, 2), grid, tot, true, 0, false, "3,5");
  for (int c = 1; c <= 6; ++c) EXPECT_EQ(dataFillOn(grid, c), c == 3 || c == 5) << c;

  Grid all, allTot;
  s.SpreadDisplay(wide(6, 2), all, allTot, true, 0, false, "");
  for (int c = 1; c <= 6; ++c) EXPECT_TRUE(dataFillOn(all, c)) << c;

  // Column numbers beyond the grid are left alone (no column to switch).
  Grid far, farTot;
  s.SpreadDisplay(wide(6, 2), far, farTot, true, 0, false, "2,2000000000");
  EXPECT_TRUE(dataFillOn(far, 2));
  EXPECT_FALSE(dataFillOn(far, 6));
  EXPECT_EQ(farTot.textAt(1, 1), "총 2 건") << "the fill went on";

  Grid none, noneTot;
  s.SpreadDisplay(wide(6, 2), none, noneTot, false, 0, false, "3,5");
  for (int c = 1; c <= 6; ++c) EXPECT_FALSE(dataFillOn(none, c)) << c;

  // The event runs for the switched columns during the fill.
  Grid evented, evTot;
  int calls = 0;
  evented.setOnDataFill([&](DataFillArgs& a) {
    ++calls;
    EXPECT_EQ(a.Col, 2);
  });
  s.SpreadDisplayOne(wide(6, 3), evented, true, 0, false, "2");
  EXPECT_EQ(calls, 3);

  // SpreadDisplay2 takes column numbers; a piece that is no number gives column 0.
  Grid two, twoTot;
  s.SpreadDisplay2(wide(6, 2), two, twoTot, {"4", "x"}, 0);
  EXPECT_TRUE(dataFillOn(two, 4));
  EXPECT_TRUE(dataFillOn(two, 0));
  EXPECT_FALSE(dataFillOn(two, 1));
  EXPECT_EQ(twoTot.textAt(1, 1), "총 2 건");
}

TEST(SpreadSumFormula, ThirtyColumnsUseAToZThenAAToAD) {
  Spread s;
  Grid grid, tot;
  grid.DataSource(wide(30, 3));
  tot.MaxCols(30);
  FormulaSpy spy(grid);
  s.SumFormula(grid, tot);
  ASSERT_EQ(spy.formulas.size(), 30u);
  EXPECT_EQ(spy.formulas[0], "SUM(A1:A3)");
  EXPECT_EQ(spy.formulas[25], "SUM(Z1:Z3)");
  EXPECT_EQ(spy.formulas[26], "SUM(AA1:AA3)");
  EXPECT_EQ(spy.formulas[29], "SUM(AD1:AD3)");
  for (int c = 2; c <= 30; ++c) {
    const int each = c * (c % 4 == 0 ? 1000 : c % 4 == 1 ? 1 : c % 4 == 2 ? 10 : 100);
    EXPECT_EQ(tot.textAt(1, c), veltrano::text::FormatNumber(3.0 * each, "#,##0")) << c;
  }
  EXPECT_EQ(tot.textAt(1, 1), "총 3 건");
  EXPECT_EQ(grid.MaxRows(), 3);
  EXPECT_EQ(grid.formulaAt(4, 1), "");
}

TEST(SpreadSumFormula, ColumnsBeyondAZGetTheirOwnLettersAndSums) {
  Spread s;
  Grid grid, tot;
  grid.DataSource(wide(55, 2));
  tot.MaxCols(55);
  FormulaSpy spy(grid);
  s.SumFormula(grid, tot);
  ASSERT_EQ(spy.formulas.size(), 55u);
  EXPECT_EQ(spy.formulas[51], "SUM(AZ1:AZ2)");
  EXPECT_EQ(spy.formulas[52], "SUM(BA1:BA2)");
  EXPECT_EQ(tot.textAt(1, 53), "106");  // 53 * 1 in two records
  EXPECT_EQ(tot.textAt(1, 55), "11,000");
}

TEST(SpreadDisplay, AGridErrorStopsTheFillQuietly) {
  struct Huge : MemoryDataSource {
    Huge() : MemoryDataSource({{"a", adtype::adInteger}}) {}
    int fieldCount() const override { return kMaxColsLimit + 1; }
  };
  Spread s;
  Grid grid, tot;
  EXPECT_NO_THROW(s.SpreadDisplay(std::make_shared<Huge>(), grid, tot, false));
  EXPECT_FALSE(grid.ReDraw()) << "stopped before drawing was switched back on";
  EXPECT_NO_THROW(s.SpreadDisplayOne(std::make_shared<Huge>(), grid, false));
  EXPECT_NO_THROW(s.SpreadDisplay2(std::make_shared<Huge>(), grid, tot, {}));
  EXPECT_NO_THROW(s.SpreadDisplay(lumagrid::RecordSource{}, grid, tot, false));
  EXPECT_NO_THROW(s.SpreadDisplay(lumagrid::Recordset{}, grid, tot, false));
}

TEST(SpreadSelection, FsprSetselActivatesAndSelectsTheRow) {
  Spread s;
  Grid grid, tot;
  s.SpreadReset(grid);
  s.SpreadDisplay(freight(8), grid, tot, false);
  std::int32_t col = 2;
  double row = 5;
  grid.MoveActiveOnFocus(false);
  s.FSPR_SETSEL(grid, col, row);
  EXPECT_EQ(grid.ActiveRow(), 5);
  EXPECT_EQ(grid.ActiveCol(), 2);
  EXPECT_TRUE(grid.MoveActiveOnFocus());
  EXPECT_EQ(grid.selectedBlocks(), (std::vector<Block>{{0, 5, 100, 5}}));
  EXPECT_TRUE(grid.isRowSelected(5));
  EXPECT_EQ(grid.SelectionCount(), 1);
  EXPECT_EQ(grid.Action(), 2);
  double far = 99;
  EXPECT_NO_THROW(s.FSPR_SETSEL(grid, col, far));
  EXPECT_EQ(grid.ActiveRow(), 8) << "the active row stays within the grid";
}

TEST(SpreadReset, DefaultsWithoutDisplaySettings) {
  test::ScopedRegistry registry;
  Spread s;
  Grid grid;
  grid.MaxRows(20);
  grid.Row(3);
  grid.Col(3);
  grid.Text("old");
  s.SpreadReset(grid);
  EXPECT_EQ(grid.MaxRows(), 0);
  EXPECT_EQ(grid.MaxCols(), 0);
  EXPECT_EQ(grid.FontName(), "Verdana");
  EXPECT_EQ(grid.FontSize(), 8);
  EXPECT_EQ(grid.RowHeight(-1), 16);
  EXPECT_EQ(grid.SelBackColor(), 15987699u);
  EXPECT_EQ(grid.backColorAt(1, 1), 15987699u);
  EXPECT_EQ(grid.ShadowColor(), 15987699u);
  EXPECT_EQ(grid.ScrollBarHColor(), 15329769u);
  EXPECT_EQ(grid.ScrollBarVColor(), 15329769u);
  EXPECT_TRUE(grid.GridShowVert());
  EXPECT_FALSE(grid.GridSolid());
  EXPECT_EQ(grid.TextTip(), 2);
  EXPECT_TRUE(grid.AllowCellOverflow());
  EXPECT_EQ(grid.UserResize(), 1);
  EXPECT_EQ(grid.OperationMode(), 5);
  EXPECT_EQ(grid.COLWIDTH(0), 0) << "the row-header column is hidden";
  EXPECT_TRUE(grid.NoBeep());
  EXPECT_EQ(grid.CursorStyle(), 2);
  EXPECT_FALSE(grid.AutoClipboard());
  EXPECT_EQ(grid.DAutoSizeCols(), 0);
  EXPECT_TRUE(grid.DAutoHeadings());
  EXPECT_EQ(grid.ColsFrozen(), 0);
  EXPECT_TRUE(grid.ReDraw());
  s.SpreadReset(grid, false, false);
  EXPECT_EQ(grid.OperationMode(), 3);

  // After a reset a fill shows its columns at the standard width and rows at the house height.
  Grid tot;
  s.SpreadDisplay(freight(3), grid, tot, false);
  EXPECT_TRUE(grid.isColShown(1));
  EXPECT_EQ(grid.RowHeight(2), 16);
}

TEST(SpreadReset, DisplaySettingsFromTheRegistryAndBadValuesSkipped) {
  test::ScopedRegistry registry;
  setDisplay("FONTNAME", "  굴림체 ");
  setDisplay("FONTSIZE", " 10");
  setDisplay("SELBGCOLOR", "255");
  setDisplay("COLHEIGHT", "20");
  Spread s;
  Grid grid;
  grid.Row(-1);
  grid.Col(-1);
  grid.BackColor(0xFFFFFF);
  s.SpreadReset(grid, true);
  EXPECT_EQ(grid.FontName(), "굴림체");
  EXPECT_EQ(grid.FontSize(), 10);
  EXPECT_EQ(grid.SelBackColor(), 255u);
  EXPECT_EQ(grid.backColorAt(1, 1), 0xFFFFFFu) << "with Flag the back colour is left alone";
  EXPECT_EQ(grid.RowHeight(-1), 20);
  // Without Flag the stored selection colour is not used.
  s.SpreadReset(grid, false);
  EXPECT_EQ(grid.SelBackColor(), 15987699u);
  // A size that is no number gives 0, which the grid rejects; every other step still runs.
  setDisplay("FONTSIZE", "abc");
  setDisplay("COLHEIGHT", "24");
  s.SpreadReset(grid);
  EXPECT_EQ(grid.FontSize(), 10);
  EXPECT_EQ(grid.RowHeight(-1), 24);
  EXPECT_TRUE(grid.ReDraw());
}

#ifndef _WIN32  // Windows: win32_gridlib_tests.cpp
TEST(SpreadNotices, CallCenterWindowInAnotherProcessGetsStartAndEndNotices) {
  WinmsgFolder folder;
  int ready[2], report[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(report), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<winmsg::CopyData> got;
    auto ep = winmsg::Endpoint::create(Spread::kCallCenterTitle, [&](const winmsg::CopyData& m) {
      got.push_back(m);
      return std::int64_t{1};
    });
    char c = ep ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    for (int i = 0; i < 100 && got.size() < 4 && ep; ++i) ep->service(50);
    for (const auto& m : got) {
      std::uint64_t head[4] = {m.wParam, m.dwData, m.cbData, m.buffer.size()};
      (void)!write(report[1], head, sizeof head);
      (void)!write(report[1], m.buffer.data(), m.buffer.size());
    }
    _exit(0);
  }
  close(ready[1]);
  close(report[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');

  Spread s;
  Grid grid, tot;
  s.SpreadDisplay2(freight(7), grid, tot, {}, 0);  // sends nothing
  s.SpreadDisplay(freight(1234), grid, tot, false);
  s.SpreadDisplayOne(freight(0), grid, false);
  int status = 0;
  waitpid(child, &status, 0);

  struct Notice {
    std::uint64_t wParam, dwData, cbData;
    std::vector<std::uint8_t> buffer;
  };
  std::vector<Notice> notices;
  std::uint64_t head[4];
  while (read(report[0], head, sizeof head) == static_cast<ssize_t>(sizeof head)) {
    Notice n{head[0], head[1], head[2], std::vector<std::uint8_t>(head[3])};
    std::size_t got = 0;
    while (got < n.buffer.size()) {
      ssize_t r = read(report[0], n.buffer.data() + got, n.buffer.size() - got);
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    notices.push_back(std::move(n));
  }
  ASSERT_EQ(notices.size(), 4u);
  const std::uint64_t codes[] = {4001, 4002, 4001, 4002};
  const std::string texts[] = {"1234", "1234", "0", "0"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(notices[i].wParam, 1u);
    EXPECT_EQ(notices[i].dwData, codes[i]);
    EXPECT_EQ(notices[i].cbData, 2 * texts[i].size() + 1);
    std::vector<std::uint8_t> expected(255, 0);
    std::copy(texts[i].begin(), texts[i].end(), expected.begin());
    EXPECT_EQ(notices[i].buffer, expected) << i;
  }
}

#endif

TEST(SpreadNotices, NoCallCenterWindowOnlySkipsTheNotice) {
  WinmsgFolder folder;
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(freight(2), grid, tot, false);
  EXPECT_EQ(tot.textAt(1, 1), "총 2 건");
  EXPECT_TRUE(grid.ReDraw());
}

TEST(SpreadDisplay, ShowsARecordsetOfTheDataLibrary) {
  auto rs = ado::Recordset::create();
  rs->Fields().Append("화주명", ado::adVarWChar, 50);
  rs->Fields().Append("건수", ado::adInteger);
  rs->Fields().Append("운임", ado::adCurrency);
  rs->Open();
  for (int i = 1; i <= 4; ++i) {
    rs->AddNew();
    rs->Fields(0).setValue(Variant("화주" + std::to_string(i)));
    rs->Fields(1).setValue(Variant(std::int32_t{i}));
    rs->Fields(2).setValue(Variant(CurrencyValue{i * 12345000}));
    rs->Update();
  }
  Spread s;
  Grid grid, tot;
  s.SpreadDisplay(rs, grid, tot, false);
  EXPECT_EQ(grid.MaxRows(), 4);
  EXPECT_EQ(grid.textAt(2, 3), "2,469.00");
  EXPECT_EQ(tot.textAt(1, 1), "총 4 건");
  EXPECT_EQ(tot.textAt(1, 2), "10");
  EXPECT_EQ(tot.textAt(1, 3), "12,345.00");

  Grid one;
  s.SpreadDisplayOne(rs, one, false, 99);
  EXPECT_EQ(one.TopRow(), 4);
  Grid two, twoTot;
  s.SpreadDisplay2(rs, two, twoTot, {"1"});
  EXPECT_EQ(twoTot.textAt(1, 1), "총 4 건");

  // A closed recordset stops the fill without an error to the caller.
  Grid closedGrid, closedTot;
  EXPECT_NO_THROW(s.SpreadDisplay(ado::Recordset::create(), closedGrid, closedTot, false));
  EXPECT_FALSE(closedGrid.ReDraw());
}
