#include "lumagrid/spreadsetup.h"

#include <cstdio>
#include <exception>

#include "mod_excel.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"
#include "spreadprt.h"
#include "spreadset.h"
#include "spreadtmp.h"

namespace lumagrid {
namespace {

namespace ui = veltrano::ui;
namespace celltype = veltrano::grid::celltype;
using veltrano::RuntimeError;

constexpr const char* kSource = "SPREADSETUP";
constexpr const char* kCumulativeHeader = "누계금액";  // a running total: summing it means nothing
constexpr std::uint32_t kTotalsBackColour = 14737632;  // 224, 224, 224
constexpr std::uint32_t kBoxBorderColour = 8421504;    // 128, 128, 128
constexpr std::int16_t kPreviewFontSize = 9;

// The approval box: a narrow label column (결 over 재) and five signature columns. Each line
// is followed by four blanks when SET_ACC sets it.
constexpr const char* kApprovalBox[7] = {
    "┏━┳━━━━┳━━━━┳━━━━┳━━━━┳━━━━┓",
    "┃　┃　담당　┃　과장　┃　차장　┃　부장　┃　사장　┃",
    "┃결┣━━━━╋━━━━╋━━━━╋━━━━╋━━━━┫",
    "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃",
    "┃재┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃",
    "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃",
    "┗━┻━━━━┻━━━━┻━━━━┻━━━━┻━━━━┛",
};

// Print codes of the header and footer lines.
const std::string kFont10 = "/fn\"굴림체\"/fz\"10\"/r";
const std::string kBlankLine = kFont10 + " " + "/n/r";

Grid& required(const GridRef& ref) {
  Grid* g = ref.get();
  if (!g) throw RuntimeError(veltrano::err::kObjectNotSet, kSource, "Object variable not set: Print_SPR names no grid");
  return *g;
}

// Today in the short date form of the Korean desktops (yyyy-mm-dd).
std::string shortDateToday() {
  const veltrano::DateParts d = veltrano::splitDate(veltrano::clock().now());
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

// The number format of the caller's current column copied onto the copy grid's current
// column. The grid refuses a decimal character equal to the separator, so the separator steps
// aside first (a column with "," as its decimal and "." as its separator swaps both).
void copyNumberFormat(const Grid& from, Grid& to) {
  to.CellType(from.CellType());
  to.TypeNumberMin(from.TypeNumberMin());
  to.TypeNumberMax(from.TypeNumberMax());
  to.TypeNumberDecPlaces(from.TypeNumberDecPlaces());
  to.TypeNumberSeparator("\x01");
  to.TypeNumberDecimal(from.TypeNumberDecimal());
  to.TypeNumberSeparator(from.TypeNumberSeparator());
  to.TypeNumberShowSep(from.TypeNumberShowSep());
}

// The texts of a number column copied once more, now that the column reads its own decimal
// and separator characters ("2.000,00" is no number until then). A text that is no number
// stays as first copied. Leaves row -1 current.
void readNumbersAgain(const Grid& from, Grid& to, int col) {
  for (int r = 1; r <= from.MaxRows(); ++r) {
    to.Row(r);
    try {
      to.Text(from.textAt(r, col));
    } catch (const RuntimeError&) {
    }
  }
  to.Row(-1);
}

}  // namespace

void SPREADSETUP::SET_ACC() {
  for (std::size_t i = 0; i < acc_.size(); ++i) acc_[i] = std::string(kApprovalBox[i]) + "    ";
}

void SPREADSETUP::UserSpreadPrint(Grid& SPREAD, const std::string& strTopTitle, const std::string& strFooterTitle,
                                  std::int16_t intOrientation, std::int32_t, bool*) {
  try {
    // A preview still open from an earlier job goes, with its copy grid.
    if (SPREADPRT::Loaded()) SPREADPRT::Unload();

    // 1. The copy grid, emptied and sized.
    Grid& SS = SPREADTMP::Load().SS;
    SS.ReDraw(false);
    SS.Reset();
    SS.ReDraw(false);  // the reset puts drawing back on
    SS.MaxCols(1);
    SS.MaxRows(1);
    SPREAD.Row(-1);
    SS.AutoCalc(false);
    SS.MaxRows(SPREAD.MaxRows());
    SS.MaxCols(SPREAD.MaxCols());

    // 2. The texts, header row included.
    int cumulativeCol = 0;
    for (int r = 0; r <= SPREAD.MaxRows(); ++r) {
      SS.Row(r);
      for (int c = 1; c <= SPREAD.MaxCols(); ++c) {
        const std::string text = SPREAD.textAt(r, c);
        SS.Col(c);
        SS.Text(text);
        if (r == 0 && text == kCumulativeHeader) cumulativeCol = c;
      }
    }
    SS.AutoCalc(false);

    // 3. The layout: row height, widths and hidden columns, number formats, alignment.
    SS.RowHeight(-1, SPREAD.RowHeight(-1));
    SS.RowHeaderCols(2);  // the house grids' two row-header columns
    SPREAD.Row(-1);
    SS.Row(-1);
    for (int c = 1; c <= SPREAD.MaxCols(); ++c) {
      SPREAD.Col(c);
      SS.Col(c);
      if (SPREAD.ColHidden()) {
        SS.ColHidden(true);
        continue;
      }
      SS.COLWIDTH(c, SPREAD.COLWIDTH(c));
      if (celltype::isNumber(SPREAD.CellType())) {
        copyNumberFormat(SPREAD, SS);
        if (SS.TypeNumberDecimal() != "." || SS.TypeNumberSeparator() != ",") readNumbersAgain(SPREAD, SS, c);
      }
      SS.TypeHAlign(SPREAD.TypeHAlign());
    }

    // 4. Only the selected rows, when the user wants that.
    int rowCount = SPREAD.MaxRows();
    if (SPREAD.SelectionCount() > 0) {
      const ui::Answer answer = ui::MsgBox("선택한 항목만 인쇄하시겠습니까?",
                                           ui::vbYesNoCancel + ui::vbQuestion + ui::vbDefaultButton2, "인쇄옵션");
      if (answer == ui::Answer::Cancel) {
        SPREADPRT::Unload();
        SPREADSET::Unload();
        SPREADTMP::Unload();
        return;
      }
      if (answer == ui::Answer::Yes) {
        // Rows not selected are hidden and emptied, so they neither print nor add to the sums.
        // The count is SelectionCount: the selected rows, or in the cell-selection modes (where
        // no row is marked selected) the selected blocks.
        SS.BlockMode(false);
        rowCount = SPREAD.SelectionCount();
        for (int r = 1; r <= SPREAD.MaxRows(); ++r) {
          SPREAD.Row(r);
          if (SPREAD.SelModeSelected()) continue;
          SS.Row(r);
          SS.RowHidden(true);
          SS.Col(-1);
          SS.Text("");
        }
      }
    }

    // 5. and 6. The totals row: the count, the sums of the number columns, grey.
    SS.MaxRows(SS.MaxRows() + 1);
    const int totals = SS.MaxRows();
    const std::string lastDataRow = std::to_string(totals - 1);
    SS.Row(totals);
    for (int c = 1; c <= SS.MaxCols(); ++c) {
      SS.Col(c);
      if (c == 1) {
        SS.CellType(celltype::Edit);  // the count is text even in a number column
        SS.Text("[총 " + std::to_string(rowCount) + "건]");
      } else if (c != cumulativeCol && celltype::isNumber(SS.CellType())) {
        const std::string letters = veltrano::grid::columnName(c);
        SS.Formula("SUM(" + letters + "1:" + letters + lastDataRow + ")");
      }
      SS.BackColor(kTotalsBackColour);
    }

    // 7. Header and footer texts, with and without the approval box.
    SET_ACC();
    const std::string title = "/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1" + strTopTitle + "/fb0/fu0/n/n/r";
    PrintHeader_F = title + kFont10 + acc_[0] + "/n/r";
    for (std::size_t i = 1; i < acc_.size(); ++i) PrintHeader_F += "/r" + acc_[i] + "/n/r";
    PrintHeader_S = title + kBlankLine;
    PrintFooter_F = "/n\"/fn\"굴림체\"/fz\"9\"/l" + strFooterTitle + "/r" + "인쇄일자 : " + shortDateToday() + "/n";
    PrintFooter_S = PrintFooter_F;
    for (int i = 0; i < 6; ++i) PrintFooter_S += kBlankLine;

    // 8. The preview.
    SPREADPRT& prt = SPREADPRT::Load();
    prt.PrintFontSize = kPreviewFontSize;
    prt.PrintHeader_F = PrintHeader_F;
    prt.PrintHeader_S = PrintHeader_S;
    prt.PrintFooter_F = PrintFooter_F;
    prt.PrintFooter_S = PrintFooter_S;
    prt.PrintJobName = strTopTitle;
    prt.PrintMarginTop = PrintMarginTop;
    prt.PrintMarginLeft = PrintMarginLeft;
    prt.PrintOrientation = intOrientation;
    prt.PrintSmartPrint = false;
    prt.PrintBorder = true;
    prt.PrintGrid = true;
    SS.ReDraw(true);
    Print_SPR = SPREAD;
    prt.Print_SPR = SS;
    prt.setPreviewGrid(SS.hwnd());
    try {
      prt.Show();
    } catch (...) {
      SPREADPRT::Unload();
      throw;
    }
  } catch (const RuntimeError& e) {
    ui::MsgBox(e.description(), ui::vbCritical, "오류");
  } catch (const std::exception& e) {
    ui::MsgBox(e.what(), ui::vbCritical, "오류");
  }
}

void SPREADSETUP::SSpreadActiveRow(Grid& SPREAD, std::int32_t ActRow) {
  SPREAD.Col(1);
  SPREAD.Row(ActRow);
  SPREAD.Action(veltrano::grid::action::ActiveCell);
  SPREAD.SelModeSelected(true);
}

veltrano::Variant SPREADSETUP::SSBlockBox(Grid& SPREAD, std::int32_t& plngX1, std::int32_t& plngY1,
                                          std::int32_t& plngX2, std::int32_t& plngY2) {
  SPREAD.BlockMode(true);
  SPREAD.Col(plngX1);
  SPREAD.Row(plngY1);
  SPREAD.col2(plngX2);
  SPREAD.Row2(plngY2);
  SPREAD.CellBorderColor(kBoxBorderColour);
  SPREAD.CellBorderStyle(veltrano::grid::border::StyleSolid);
  SPREAD.CellBorderType(veltrano::grid::border::Outline);
  SPREAD.Action(veltrano::grid::action::SetCellBorder);
  SPREAD.BlockMode(false);
  return {};
}

void SPREADSETUP::SSpreedSort(Grid& SPREAD, std::int32_t Col, bool& bSortMode) {
  SPREAD.Col(1);
  SPREAD.col2(SPREAD.MaxCols());
  SPREAD.Row(1);
  SPREAD.Row2(SPREAD.DataRowCnt());
  SPREAD.SortBy(0);
  SPREAD.SortKey(1, Col);
  if (bSortMode) {
    SPREAD.SortKeyOrder(1, 2);
    bSortMode = false;
  } else {
    SPREAD.SortKeyOrder(1, 1);
    bSortMode = true;
  }
  SPREAD.Action(veltrano::grid::action::Sort);
}

void SPREADSETUP::SSpreadSelectAll(Grid& SPREAD) {
  SPREAD.ReDraw(false);
  for (int r = 1; r <= SPREAD.MaxRows(); ++r) {
    SPREAD.Row(r);
    SPREAD.SelModeSelected(!SPREAD.SelModeSelected());
  }
  SPREAD.ReDraw(true);
}

void SPREADSETUP::ShowForm(const std::string&) {
  Grid& grid = required(Print_SPR);
  // The window lists one grid's columns; a window open on another grid goes first.
  if (SPREADSET::Loaded()) SPREADSET::Unload();
  SPREADSET& form = SPREADSET::Load();
  form.OpenSpread = grid;
  form.OpenForm = OPENFORMNAME;
  form.SP_Cutting = cutting;
  form.OpenFormFlag = true;
  form.Show();
}

void SPREADSETUP::Create_Excel_From_Spread() { ExportSpreadToExcel(required(Print_SPR), cutting); }

}  // namespace lumagrid
