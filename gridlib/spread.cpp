#include "lumagrid/spread.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "lumagrid/registry.h"
#include "platform/grid/recordset_source.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/winmsg/winmsg.h"

namespace lumagrid {
namespace {

constexpr std::uint32_t kShadowGrey = 15987699;     // 243, 243, 243
constexpr std::uint32_t kScrollBarGrey = 15329769;  // 233, 233, 233
constexpr int kVirtualOverlap = 10;
constexpr std::size_t kNoticeBuffer = 255;

// One statement of SpreadReset: an error skips it and the next one runs.
template <class F>
void resume(F&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
  }
}

// A value of SOFTWARE\VELTRANO\VUV2013\DISPLAY; "" when missing or unreadable.
std::string displaySetting(const char* name) {
  try {
    REGISTRY reg;
    reg.HKEY(HKEY_CURRENT_USER);
    reg.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
    reg.KeyName("DISPLAY");
    reg.KeyValue(name);
    return reg.GetRegistry();
  } catch (const std::exception&) {
    return "";
  }
}

// The number of a setting: Val("0" & text); the default when the text is empty.
double numberSetting(const char* name, double fallback) {
  std::string t = veltrano::text::Trim(displaySetting(name));
  return t.empty() ? fallback : veltrano::text::Val("0" + t);
}

std::uint32_t colourOf(double v) {
  // A value beyond 32 bits is handed over as one the grid rejects.
  return v >= 0 && v <= std::numeric_limits<std::uint32_t>::max() ? static_cast<std::uint32_t>(v) : 0xFFFFFFFFu;
}

int columnOf(const std::string& piece) { return veltrano::text::CLng(veltrano::text::Val("0" + piece)); }

// The display notice to the call-center window: the record count as ANSI text in a zero-filled
// 255-byte buffer; cbData counts 2 bytes a character plus one.
void sendNotice(std::uint64_t code, long long recordCount) {
  if (!veltrano::winmsg::findWindow(Spread::kCallCenterTitle)) return;
  const std::string text = std::to_string(recordCount);
  const veltrano::text::Bytes ansi = veltrano::text::toAnsi(text);
  std::vector<std::uint8_t> buffer(kNoticeBuffer, 0);
  std::copy_n(ansi.begin(), std::min(ansi.size(), buffer.size()), buffer.begin());
  const auto cbData = static_cast<std::uint32_t>(2 * veltrano::text::Len(text) + 1);
  veltrano::winmsg::sendCopyData(Spread::kCallCenterTitle, 1, code, cbData, buffer);
}

int recordCountOf(const RecordSource& rst) {
  long long n = rst->recordCount();
  if (n > std::numeric_limits<int>::max()) n = std::numeric_limits<int>::max();
  return static_cast<int>(n);
}

// The totals grid under the data grid: one row, row headers shown without text, no column
// headers, a horizontal scroll bar.
void prepareTotals(Grid& tot, int fields) {
  tot.Row(-1);
  tot.Col(-1);
  tot.TypeVAlign(2);
  tot.MaxCols(fields);
  tot.ColHeaderRows(1);
  tot.RowHeaderCols(2);
  tot.ColHeadersShow(false);
  tot.RowHeadersShow(true);
  tot.RowHeadersAutoText(0);
  tot.ScrollBars(1);
  tot.MaxRows(1);
}

void switchDataFill(Grid& g, bool flag, const std::string& fields) {
  if (!flag) return;
  if (fields.empty()) {
    g.Col(-1);
    g.DataFillEvent(true);
    return;
  }
  for (const std::string& piece : veltrano::text::Split(fields, ",")) {
    g.Col(columnOf(piece));
    g.DataFillEvent(true);
  }
}

void prepareBinding(Grid& g, int fields) {
  g.Col(-1);
  g.ColHeaderRows(1);
  g.RowHeaderCols(2);
  g.DAutoFill(true);
  g.MaxCols(fields);
  g.DAutoCellTypes(true);
}

void virtualSettings(Grid& g, int records) {
  g.VirtualMaxRows(records);
  g.VirtualMode(true);
  g.VScrollSpecial(true);
  g.VirtualOverlap(kVirtualOverlap);
  g.VirtualScrollBuffer(true);
}

}  // namespace

void Spread::SumFormula(Grid& SPREAD, Grid& SpreadTot) {
  SPREAD.MaxRows(SPREAD.MaxRows() + 1);
  SPREAD.Row(SPREAD.MaxRows());
  SpreadTot.Row(-1);
  SpreadTot.Col(-1);
  SpreadTot.TypeHAlign(1);
  SpreadTot.Row(1);
  const int lastDataRow = SPREAD.MaxRows() - 1;
  const std::string last = std::to_string(lastDataRow);
  for (int c = 1; c <= SPREAD.MaxCols(); ++c) {
    SPREAD.Col(c);
    SpreadTot.Col(c);
    // Letters A..Z, then AA..AZ, BA..: the grid's own column names, so every column gets a
    // formula the grid reads (52 columns and fewer give the classic A..Z, AA..AZ).
    const std::string letters = veltrano::grid::columnName(c);
    SPREAD.Formula("SUM(" + letters + "1:" + letters + last + ")");
    SpreadTot.Text(SPREAD.Text());
  }
  SPREAD.MaxRows(SPREAD.MaxRows() - 1);
  SpreadTot.Col(1);
  SpreadTot.Text("총 " + veltrano::text::FormatNumber(lastDataRow, "###,##0") + " 건");
}

void Spread::SpreadDisplay(const RecordSource& RST, Grid& SPREAD, Grid& SpreadTot, bool DataFillEventFlag,
                           std::int32_t AutoScroll, bool DVirtualMode, const std::string& DataFillFields) {
  try {
    SPREAD.ReDraw(false);
    SpreadTot.ReDraw(false);
    if (!RST) return;
    sendNotice(kFillStarts, RST->recordCount());
    const int records = recordCountOf(RST);
    const int fields = RST->fieldCount();
    SPREAD.MaxRows(records);
    SPREAD.MaxCols(fields);
    if (AutoScroll > SPREAD.MaxRows()) AutoScroll = SPREAD.MaxRows();
    auto scroll = [&] {
      if (!DVirtualMode) SPREAD.TopRow(SPREAD.MaxRows() <= AutoScroll ? 1 : AutoScroll);
    };
    scroll();
    SPREAD.AllowUserFormulas(true);
    prepareTotals(SpreadTot, fields);
    SPREAD.Row(-1);
    SPREAD.Col(-1);
    SPREAD.ForeColor(0);
    SPREAD.RowHidden(false);
    switchDataFill(SPREAD, DataFillEventFlag, DataFillFields);
    prepareBinding(SPREAD, fields);
    if (DVirtualMode) virtualSettings(SPREAD, records);
    else SPREAD.ScrollBars(2);
    SPREAD.DataSource(RST);
    SumFormula(SPREAD, SpreadTot);
    scroll();
    SPREAD.ReDraw(true);
    SpreadTot.ReDraw(true);
    sendNotice(kFillEnded, RST->recordCount());
  } catch (const std::exception&) {
    // The fill stops here; the caller gets no error.
  }
}

void Spread::SpreadDisplay2(const RecordSource& RST, Grid& SPREAD, Grid& SpreadTot,
                            const std::vector<std::string>& DataFillEventCol, std::int32_t AutoScroll) {
  try {
    SPREAD.ReDraw(false);
    SpreadTot.ReDraw(false);
    if (!RST) return;
    const int fields = RST->fieldCount();
    SPREAD.ScrollBars(2);
    SPREAD.MaxRows(recordCountOf(RST));
    SPREAD.MaxCols(fields);
    SPREAD.AllowUserFormulas(true);
    prepareTotals(SpreadTot, fields);
    for (const std::string& element : DataFillEventCol) {
      SPREAD.Col(columnOf(element));
      SPREAD.DataFillEvent(true);
    }
    prepareBinding(SPREAD, fields);
    SPREAD.DataSource(RST);
    SumFormula(SPREAD, SpreadTot);
    SPREAD.TopRow(AutoScroll);
    SPREAD.ReDraw(true);
    SpreadTot.ReDraw(true);
  } catch (const std::exception&) {
  }
}

void Spread::SpreadDisplayOne(const RecordSource& RST, Grid& SPREAD, bool DataFillEventFlag, std::int32_t AutoScroll,
                              bool DVirtualMode, const std::string& DataFillFields) {
  try {
    SPREAD.ReDraw(false);
    if (!RST) return;
    sendNotice(kFillStarts, RST->recordCount());
    const int records = recordCountOf(RST);
    const int fields = RST->fieldCount();
    SPREAD.MaxRows(records);
    SPREAD.MaxCols(fields);
    if (AutoScroll > SPREAD.MaxRows()) AutoScroll = SPREAD.MaxRows();
    auto scroll = [&] {
      if (!DVirtualMode) SPREAD.TopRow(AutoScroll);
    };
    scroll();
    SPREAD.AllowUserFormulas(true);
    SPREAD.Row(-1);
    SPREAD.Col(-1);
    SPREAD.ForeColor(0);
    SPREAD.RowHidden(false);
    switchDataFill(SPREAD, DataFillEventFlag, DataFillFields);
    prepareBinding(SPREAD, fields);
    if (DVirtualMode) virtualSettings(SPREAD, records);
    else SPREAD.ScrollBars(3);
    SPREAD.DataSource(RST);
    scroll();
    SPREAD.ReDraw(true);
    sendNotice(kFillEnded, RST->recordCount());
  } catch (const std::exception&) {
  }
}

void Spread::SpreadDisplay(const Recordset& RST, Grid& SPREAD, Grid& SpreadTot, bool DataFillEventFlag,
                           std::int32_t AutoScroll, bool DVirtualMode, const std::string& DataFillFields) {
  SpreadDisplay(veltrano::grid::sourceOf(RST), SPREAD, SpreadTot, DataFillEventFlag, AutoScroll, DVirtualMode,
                DataFillFields);
}

void Spread::SpreadDisplay2(const Recordset& RST, Grid& SPREAD, Grid& SpreadTot,
                            const std::vector<std::string>& DataFillEventCol, std::int32_t AutoScroll) {
  SpreadDisplay2(veltrano::grid::sourceOf(RST), SPREAD, SpreadTot, DataFillEventCol, AutoScroll);
}

void Spread::SpreadDisplayOne(const Recordset& RST, Grid& SPREAD, bool DataFillEventFlag, std::int32_t AutoScroll,
                              bool DVirtualMode, const std::string& DataFillFields) {
  SpreadDisplayOne(veltrano::grid::sourceOf(RST), SPREAD, DataFillEventFlag, AutoScroll, DVirtualMode, DataFillFields);
}

void Spread::FSPR_SETSEL(Grid& SPREAD, std::int32_t& Col, double& Row) {
  const std::int32_t row = veltrano::text::CLng(Row);
  SPREAD.Col(Col);
  SPREAD.Row(row);
  SPREAD.MoveActiveOnFocus(true);
  SPREAD.Action(veltrano::grid::action::ActiveCell);
  SPREAD.AddSelection(0, row, 100, row);
  SPREAD.Action(veltrano::grid::action::SelectBlock);
  SPREAD.SelModeSelected(true);
}

void Spread::SpreadReset(Grid& SPREAD, bool Flag, bool MultiSel) {
  Grid& g = SPREAD;
  // 1. the whole sheet, emptied
  resume([&] { g.Row(-1); });
  resume([&] { g.Col(-1); });
  resume([&] { g.ReDraw(false); });
  resume([&] { g.DAutoHeadings(true); });
  resume([&] { g.MaxRows(0); });
  resume([&] { g.MaxCols(0); });
  resume([&] { g.ShadowColor(kShadowGrey); });
  resume([&] { g.ColsFrozen(0); });
  // 2. font
  resume([&] {
    std::string name = veltrano::text::Trim(displaySetting("FONTNAME"));
    g.FontName(name.empty() ? "Verdana" : name);
  });
  resume([&] { g.FontSize(numberSetting("FONTSIZE", 8)); });
  // 3. colours
  if (Flag) {
    resume([&] { g.SelBackColor(colourOf(numberSetting("SELBGCOLOR", kShadowGrey))); });
  } else {
    resume([&] { g.SelBackColor(kShadowGrey); });
    resume([&] { g.BackColor(kShadowGrey); });
  }
  // 4. and 5. row height and column width
  resume([&] { g.RowHeight(-1, numberSetting("COLHEIGHT", 16)); });
  resume([&] { g.COLWIDTH(-1, 0); });
  // 6. scroll bars, grid lines, behaviour
  resume([&] { g.ScrollBarHColor(kScrollBarGrey); });
  resume([&] { g.ScrollBarVColor(kScrollBarGrey); });
  resume([&] { g.GridShowVert(true); });
  resume([&] { g.GridSolid(false); });
  resume([&] { g.TextTip(2); });
  resume([&] { g.AllowCellOverflow(true); });
  resume([&] { g.UserResize(1); });
  resume([&] { g.OperationMode(MultiSel ? veltrano::grid::opmode::ExtendedSelect : veltrano::grid::opmode::SingleSelect); });
  // 7. the row-header column hidden, cursor and clipboard, drawing back on
  resume([&] { g.Row(-1); });
  resume([&] { g.Col(-1); });
  resume([&] { g.COLWIDTH(g.MaxCols(), 0); });
  resume([&] { g.NoBeep(true); });
  resume([&] { g.CursorType(0); });
  resume([&] { g.CursorStyle(2); });
  resume([&] { g.AutoClipboard(false); });
  resume([&] { g.DAutoSizeCols(0); });
  resume([&] { g.ReDraw(true); });
}

}  // namespace lumagrid
