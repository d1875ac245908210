// The window module's entry: runs the update window to the end of the program.
//
// Which user interface runs is decided once, here:
//  - with a display (DISPLAY or WAYLAND_DISPLAY set, and QT_QPA_PLATFORM not "offscreen"):
//    the window `업데이트` on screen, Qt's message boxes (ui::QtUi), Qt's event loop while the
//    window waits for a button;
//  - without one (or with QT_QPA_PLATFORM=offscreen): no window on screen; Qt runs offscreen
//    for the progress bar's drawing, and every box is answered by ui::ScriptedUi from
//    VELTRANO_ANSWERS and logged to VELTRANO_UI_LOG. Where the window would wait for the user
//    (the product list shown, or a one-item command text) the wait is logged as a "Form" line
//    and takes the next answer: "Yes" presses 업데이트 (Com_Yes), anything else, or no answer
//    left, presses 취 소 (Com_Cancel).
// The end of the program (veltrano::ProgramEnd, thrown by the run) becomes the exit code.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/qt_ui.h"
#include "platform/ui/scripted_ui.h"
#include "platform/ui/user_interface.h"
#include "updater/program_info.h"
#include "updater/update_window.h"
#include "updater/update_window_widget.h"
#include "updater/window_module.h"
#include "updater/window_run.h"

namespace {

namespace ui = veltrano::ui;
using meridox::UpdateWindow;

bool displayAvailable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && (std::string(platform) == "offscreen" || std::string(platform) == "minimal")) return false;
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

int runOnScreen(meridox::WindowStart& start) {
  QApplication::setStyle("Fusion");
  ui::QtUi qtUi;
  qtUi.setAppTitle(meridox::kWindowAppTitle);
  UpdateWindow window(start.program);
  window.takeFirstQuery(std::move(start.firstQuery));
  meridox::UpdateWindowWidget widget(window);
  meridox::WindowUi windowUi(qtUi, widget);
  windowUi.setAppTitle(meridox::kWindowAppTitle);
  ui::ScopedUi scope(windowUi);
  try {
    window.Form_Load();
    const int code = QApplication::exec();
    return widget.pendingEnd().value_or(code);
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  } catch (const veltrano::RuntimeError& e) {
    return meridox::ReportRuntimeError(e);
  }
}

}  // namespace

int meridox_run_window(meridox::WindowStart& start) {
  const bool onScreen = displayAvailable();
  if (!onScreen) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(start.argc, start.argv);
  return onScreen ? runOnScreen(start) : meridox::RunScripted(start.program, std::move(start.firstQuery));
}
