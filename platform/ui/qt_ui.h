#pragma once
// The user interface for people: Qt message boxes, input boxes and file dialogs. Needs a
// QApplication; pump() lets Qt process its events and delivers the project's timers.

#include <memory>

#include "platform/ui/user_interface.h"

class QTimer;

namespace veltrano::ui {

class QtUi : public UserInterface {
 public:
  QtUi();
  ~QtUi() override;
  Answer messageBox(const MessageBoxSpec& box) override;
  std::optional<std::string> inputBox(const InputBoxSpec& box) override;
  std::optional<std::string> openFileDialog(const FileDialogSpec& dlg) override;
  std::optional<std::string> saveFileDialog(const FileDialogSpec& dlg) override;
  void pump() override;
  void setMousePointer(MousePointer p) override;

 private:
  std::unique_ptr<QTimer> timerPump_;  // delivers timers while Qt's own loop runs
};

// Turns a "description|pattern|..." filter list into Qt's ";;" form.
std::string qtFilter(const std::string& filter);

}  // namespace veltrano::ui
