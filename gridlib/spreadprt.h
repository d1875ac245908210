#pragma once
// SPREADPRT: the print preview window. The print job fills the public properties, attaches the
// preview control to the copy grid and calls Show; the window then pages, zooms, switches
// portrait and landscape, sets the top and left margins, chooses whether page 1 carries the
// approval box, and prints. One shared instance, created on first use (Load) and released when
// the window closes, which also unloads the hidden form SPREADTMP that holds the copy grid.
//
// The window is a top-level Qt widget named "SPREADPRT", its controls named as on the form
// (VSPW, Com_Print, COM_Close, COM_Pre, COM_Next, COMM_ZOOMIN, COM_ZOOMOUT, Chk_Acc,
// CHK_LANDSCAPE, CHK_여백, Print_Page, Fr_여백설정, TXT_TOP_MARGE, TXT_LEFT_MARGE,
// Com_여백_Accept, Com_여백_cancel). Esc closes it, F5 prints. This header is free of Qt.

#include <cstdint>
#include <string>

#include "lumagrid/spreadsetup.h"
#include "platform/ui/user_interface.h"

namespace lumagrid {

class SPREADPRT {
 public:
  // The shared instance, created now if there is none. Raises RuntimeError 429 without a
  // QApplication.
  static SPREADPRT& Load();
  // The shared instance, or nullptr.
  static SPREADPRT* Loaded();
  // Releases the shared instance and unloads the window and the hidden form SPREADTMP. May be
  // called from inside the window's own handlers.
  static void Unload();

  std::int16_t PrintMarginLeft = 0;  // twips
  std::int16_t PrintMarginTop = 0;   // twips
  std::int16_t PrintFontSize = 0;    // not read by the window
  std::int16_t PrintOrientation = 0;
  std::int16_t PrintPageStart = 0;
  std::int16_t PrintNextPageBreakRow = 0;
  std::string PrintJobName;
  std::string PrintHeader_F, PrintHeader_S, PrintFooter_F, PrintFooter_S;
  bool PrintGrid = false, PrintSmartPrint = false, PrintBorder = false;
  GridRef Print_SPR;  // the grid to print: the copy grid

  // Attaches the preview control VSPW to the grid with this window handle.
  void setPreviewGrid(veltrano::ui::Hwnd hwnd);
  // Applies the properties to Print_SPR, shows page 1 and the window, modeless, with the
  // focus. Raises the grid's error when a property is out of its range.
  void Show();

  ~SPREADPRT();
  SPREADPRT(const SPREADPRT&) = delete;
  SPREADPRT& operator=(const SPREADPRT&) = delete;

 private:
  SPREADPRT();
  class Window;
  friend class Window;
  Window* window_;  // a QWidget, deleted through the event loop
};

}  // namespace lumagrid
