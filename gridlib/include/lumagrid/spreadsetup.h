#pragma once
// SPREADSETUP: prints a product program's grid through the print preview window, and carries
// small grid utilities and the entry points to the column setup window and the .xls export.
//
// UserSpreadPrint copies the grid (texts, widths, hidden columns, number formats, alignment)
// into the copy grid of the hidden form SPREADTMP, optionally keeps only the selected rows,
// adds a totals row, composes the page header and footer texts and opens the preview window
// SPREADPRT on the copy, modeless. Any error there is shown in a message box titled "오류" and
// the call returns normally. The other methods raise veltrano::RuntimeError to the caller (91
// when Print_SPR names no live grid).
//
// The windows are single shared Qt widgets, created on first use, shown modeless, and need a
// QApplication (the offscreen platform will do). Product programs' tests drive them as a user
// would: the top-level widgets have the objectName "SPREADPRT" (preview) and "SPREADSET"
// (column setup), and every control on them has its name as objectName ("Com_Print",
// "COM_Close", "Chk_Acc", "CHK_LANDSCAPE", "CHK_여백", "Print_Page", "VSPW", "lstTask",
// "COM_ALL_A", "Com_Excel", ...), so QAbstractButton::click() or QTest key clicks on the window
// work. Message boxes and the file prompt go through platform/ui (ui::ScriptedUi in tests).
//
// Message boxes, the file prompt and the windows' questions reach the user only when the program
// has made a QApplication and installed the Qt user interface, once, before the first call:
//
//   QApplication app(argc, argv);
//   veltrano::ui::QtUi qtUi;            // platform/ui/qt_ui.h, in libveltrano-platform-qt
//   veltrano::ui::install(&qtUi);
//
// Until then every box is answered at once with its default button (or from VELTRANO_ANSWERS)
// and nobody sees it; the library never installs it by itself, so that unattended programs and
// tests stay unattended.
//
// Windows: the preview and the column setup window are Linux-only. UserSpreadPrint reports run-
// time error 429 ("... not available in the Windows build of Lumagrid (Linux only)") in its
// "오류" message box and returns; ShowForm raises it. The export and the grid utilities work.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "lumagrid/export.h"
#include "platform/grid/grid.h"
#include "platform/runtime/variant.h"

namespace lumagrid {

using Grid = veltrano::grid::Grid;

// A grid held by its window handle: get() gives nullptr once the grid is gone, so a stored
// grid that the program has since destroyed is reported instead of being used.
class GridRef {
 public:
  GridRef() = default;
  GridRef(Grid& g) : hwnd_(g.hwnd()) {}  // NOLINT: assignment from a grid, as the form fields take it
  GridRef(Grid* g) : hwnd_(g ? g->hwnd() : 0) {}  // NOLINT
  GridRef(std::nullptr_t) {}  // NOLINT
  Grid* get() const { return Grid::fromHwnd(hwnd_); }
  explicit operator bool() const { return get() != nullptr; }
  veltrano::ui::Hwnd hwnd() const { return hwnd_; }

 private:
  veltrano::ui::Hwnd hwnd_ = 0;
};

class LUMAGRID_API SPREADSETUP {
 public:
  // Public fields, as the product programs read and write them. Only PrintMarginLeft,
  // PrintMarginTop, OPENFORMNAME and cutting are read by the class; the print job fills
  // PrintHeader_F/_S, PrintFooter_F/_S and Print_SPR.
  std::int16_t PrintMarginLeft = 0;  // twips, handed to the preview
  std::int16_t PrintMarginTop = 0;   // twips, handed to the preview
  std::int16_t PrintFontSize = 0;
  std::int16_t PrintPageStart = 0;
  std::int16_t PrintPageEnd = 0;
  std::int16_t PrintOrientation = 0;
  std::string PrintJobName;
  std::string PrintHeader_F;  // with the approval box
  std::string PrintHeader_S;  // without it
  std::string PrintFooter_F;
  std::string PrintFooter_S;
  bool PrintGrid = false;
  bool PrintSmartPrint = false;
  bool PrintBorder = false;
  std::int16_t PrintNextPageBreakRow = 0;
  GridRef Print_SPR;         // the caller's grid of the last print job
  std::string OPENFORMNAME;  // the calling screen, handed to the setup window
  std::int16_t cutting = 0;  // columns at the right end left out by the setup window and the export
  float SP_SCROLL = 0;

  // Sets the seven lines of the approval box.
  void SET_ACC();
  // The print job. SSHwnd and FormulaMode are accepted and not used. Windows: reports 429 in
  // the "오류" box (the preview is Linux-only).
  void UserSpreadPrint(Grid& SPREAD, const std::string& strTopTitle, const std::string& strFooterTitle,
                       std::int16_t intOrientation, std::int32_t SSHwnd = 0, bool* FormulaMode = nullptr);
  // Makes row ActRow (column 1) the active cell and selects the row.
  void SSpreadActiveRow(Grid& SPREAD, std::int32_t ActRow);
  // Draws a grey outline around the block (plngX1, plngY1) - (plngX2, plngY2). Returns Empty.
  veltrano::Variant SSBlockBox(Grid& SPREAD, std::int32_t& plngX1, std::int32_t& plngY1, std::int32_t& plngX2,
                               std::int32_t& plngY2);
  // Sorts the data rows by column Col: descending when bSortMode is true, else ascending; flips
  // bSortMode, so repeated calls with one flag alternate the order.
  void SSpreedSort(Grid& SPREAD, std::int32_t Col, bool& bSortMode);
  // Inverts the selection of every row.
  void SSpreadSelectAll(Grid& SPREAD);
  // Opens the column setup window on Print_SPR for the screen OPENFORMNAME, modeless. An open
  // setup window is closed first. NowStr is not used. Windows: raises 429 (Linux-only window).
  void ShowForm(const std::string& NowStr = "");
  // Exports Print_SPR to an .xls file the user names, leaving out the last `cutting` columns.
  // A cancelled prompt does nothing; a file that cannot be written is reported in a message box.
  void Create_Excel_From_Spread();

  // The approval box lines SET_ACC set (empty before the first call).
  const std::array<std::string, 7>& approvalBox() const { return acc_; }

 private:
  std::array<std::string, 7> acc_;
};

}  // namespace lumagrid
