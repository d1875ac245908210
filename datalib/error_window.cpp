#include "error_window.h"

#include "platform/ui/scripted_ui.h"

namespace lumadata {

void ShowErrorWindow(std::string_view text) {
  const std::string body(text);
  if (auto* scripted = dynamic_cast<veltrano::ui::ScriptedUi*>(&veltrano::ui::current())) {
    scripted->windowShown("ErrorWindow", kErrorWindowTitle, body);
    return;
  }
  runErrorWindow(body);
}

}  // namespace lumadata
