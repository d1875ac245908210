#pragma once
// The user interface for people: Qt message boxes, input boxes and file dialogs. Needs a
// QApplication; pump() lets Qt process its events and delivers the project's timers.
//
// Everything it shows is Korean: its own button captions ("확인", "예(Y)", ...) and, through
// Qt's Korean translations (Debian qt6-translations-l10n), the texts of Qt's file dialog.
// The scripted interface keeps the English button names in answers and logs. Every box shown
// is logged to the file named by VELTRANO_UI_LOG, as the scripted interface logs it.

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
  // A modal window with the text, read-only, and a close button.
  void showText(const std::string& title, const std::string& text) override;
  void pump() override;
  void setMousePointer(MousePointer p) override;

 private:
  std::unique_ptr<QTimer> timerPump_;  // delivers timers while Qt's own loop runs
  std::string logPath_;                // VELTRANO_UI_LOG
};

// Loads Qt's Korean translations into the application once (a no-op without a
// QCoreApplication). QtUi's constructor calls it; windows shown without a QtUi may call it too.
void useKoreanTranslations();

// Turns a "description|pattern|..." filter list into Qt's ";;" form.
std::string qtFilter(const std::string& filter);

}  // namespace veltrano::ui
