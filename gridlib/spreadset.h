#pragma once
// SPREADSET: the display-setting window ("화면표시값 설정"). Lists the column headers of a
// product program's grid so that the user chooses the columns to show; the choice is stored
// per calling screen in the registry (HKCU SOFTWARE\VELTRANO\VUV2013\DISPLAY\<OpenForm>, value
// n_HI = "TRUE" for a column switched off, "FALSE" otherwise, n counting the grid's columns
// from 1), where the product programs read it. It also forgets the stored column widths (n_WH)
// and exports the grid to an .xls file. Registry failures are ignored, each step goes on.
//
// One shared instance (Load), shown modeless by Show and unloaded by COM_CLOSE or the window's
// close box. The window is a top-level Qt widget named "SPREADSET" with its controls named as on
// the form (lstTask, COM_ALL_A, COM_ALL, COM_BASE, Com_Excel, COM_CLOSE, COM_ALLSELECT,
// COM_ALLDESELECT, and the two title panels pnlItem with the property "Index" 0 and 1). This
// header is free of Qt.

#include <cstdint>
#include <string>

#include "lumagrid/spreadsetup.h"

namespace lumagrid {

class SPREADSET {
 public:
  // The shared instance, created now if there is none. Raises RuntimeError 429 without a
  // QApplication.
  static SPREADSET& Load();
  static SPREADSET* Loaded();
  // Unloads the window. May be called from inside its own handlers.
  static void Unload();

  GridRef OpenSpread;         // the grid whose columns are listed
  std::string OpenForm;       // the calling screen: the registry key name
  std::int16_t SP_Cutting = 0;  // columns at the right end left out of the list
  bool OpenFormFlag = false;  // opened through SPREADSETUP.ShowForm: the list is filled at Show

  // Runs the window's load (when OpenFormFlag) and shows it modeless.
  void Show();

  ~SPREADSET();
  SPREADSET(const SPREADSET&) = delete;
  SPREADSET& operator=(const SPREADSET&) = delete;

 private:
  SPREADSET();
  class Window;
  friend class Window;
  Window* window_;  // a QWidget, deleted through the event loop
};

}  // namespace lumagrid
