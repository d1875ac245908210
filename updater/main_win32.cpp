// Meridox, the updater program on Windows: the window is the Win32 view of the form, linked in
// (no toolkit to load), so the first query goes out and the window follows at once.
//
// Which user interface runs:
//  - VELTRANO_ANSWERS set: no window on screen; every box is answered by ui::ScriptedUi and
//    logged to VELTRANO_UI_LOG, and where the window would wait for the user a "Form" line is
//    logged and takes the next answer ("Yes" presses 업데이트, anything else 취 소), as the
//    Linux program does without a display;
//  - otherwise the window `업데이트` on screen, the system's message boxes (ui::Win32Ui), and a
//    message loop that also delivers the form's timers.
// The end of the program (veltrano::ProgramEnd, thrown by the run) becomes the exit code.
//
// The command text is read from the wide command line (the C run-time's argv holds it in the
// ANSI code page, which loses every character outside it).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/text/wide.h"
#include "platform/ui/scripted_ui.h"
#include "platform/ui/user_interface.h"
#include "platform/ui/win32_ui.h"
#include "updater/first_query.h"
#include "updater/mod_standard.h"
#include "updater/program_info.h"
#include "updater/update_window.h"
#include "updater/update_window_win32.h"
#include "updater/window_run.h"

namespace {

namespace ui = veltrano::ui;

// The longest the loop sleeps between timer checks; the form's shortest timer is coarser.
constexpr DWORD kLoopSliceMs = 10;

// Runs until a handler ends the program: ends raised inside the window procedure come back
// through WM_QUIT and throwPendingEnd(), those raised by a timer directly.
void runMessageLoop(const meridox::UpdateWindowWin32& view) {
  for (;;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kLoopSliceMs, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        view.throwPendingEnd();
        throw veltrano::ProgramEnd(static_cast<int>(msg.wParam));
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    ui::fireDueTimers();
  }
}

int runOnScreen(const meridox::ProgramInfo& program, std::unique_ptr<meridox::QueryExchange> firstQuery) {
  ui::Win32Ui win32;
  win32.setAppTitle(meridox::kWindowAppTitle);
  ui::ScopedUi scope(win32);
  try {
    meridox::UpdateWindow window(program);
    window.takeFirstQuery(std::move(firstQuery));
    meridox::UpdateWindowWin32 view(
        window.form(), window.SP_PB(),
        {[&window] { window.Com_Yes_Click(); }, [&window] { window.Com_Cancel_Click(); },
         [&window](int unloadMode) { return window.Form_QueryUnload(unloadMode); }});
    win32.setOwnerWindow(view.handle());  // boxes of the run stay above the window, modal to it
    window.Form_Load();
    runMessageLoop(view);
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  } catch (const veltrano::RuntimeError& e) {
    return meridox::ReportRuntimeError(e);
  }
  return meridox::kExitDone;
}

// This process's arguments in UTF-8, the program's name first.
std::vector<std::string> wideArguments() {
  std::vector<std::string> out;
  int argc = 0;
  if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 0; i < argc; ++i) out.push_back(veltrano::text::narrow(argv[i]));
    LocalFree(argv);
  }
  return out;
}

}  // namespace

int main() {
  std::vector<std::string> arguments = wideArguments();
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  meridox::ProgramInfo program =
      meridox::ProgramInfo::fromProcess(static_cast<int>(arguments.size()), argv.data(), MERIDOX_VERSION);
  std::unique_ptr<meridox::QueryExchange> firstQuery;
  if (const auto sql = meridox::FirstStatementOf(program)) firstQuery = meridox::PostServerQuery(*sql);
  if (std::getenv("VELTRANO_ANSWERS")) return meridox::RunScripted(program, std::move(firstQuery));
  return runOnScreen(program, std::move(firstQuery));
}
