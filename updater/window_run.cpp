#include "updater/window_run.h"

#include <cstdio>
#include <string>

#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "platform/ui/user_interface.h"
#include "updater/query_client.h"
#include "updater/program_info.h"
#include "updater/update_window.h"

namespace meridox {

namespace ui = veltrano::ui;

int ReportRuntimeError(const veltrano::RuntimeError& e) {
  ui::MsgBox("런타임 오류 '" + std::to_string(e.number()) + "':\r\n\r\n" + e.description(), ui::vbCritical,
             kWindowAppTitle);
  std::fprintf(stderr, "meridox: run-time error %d: %s\n", e.number(), e.description().c_str());
  return 1;
}

int RunScripted(const ProgramInfo& program, std::unique_ptr<QueryExchange> firstQuery) {
  ui::ScriptedUi scripted = ui::ScriptedUi::fromEnvironment();
  scripted.setAppTitle(kWindowAppTitle);
  ui::ScopedUi scope(scripted);
  try {
    UpdateWindow window(program);
    window.takeFirstQuery(std::move(firstQuery));
    window.Form_Load();
    for (;;) {
      const UpdateForm& form = window.form();
      const std::string answer = scripted.windowShown(
          "Form", form.Caption(), form.LB_SUBMAIN.Caption() + "\r\n" + form.LB_SETUPLIST.Caption());
      if (veltrano::text::UCase(answer) == "YES") window.Com_Yes_Click();
      else window.Com_Cancel_Click();
    }
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  } catch (const veltrano::RuntimeError& e) {
    return ReportRuntimeError(e);
  }
}

}  // namespace meridox
