#pragma once
// The user interface for people on Windows: the system's message boxes, an input box, and the
// common file dialogs. pump() dispatches the thread's window messages and delivers the
// project's timers. Every box shown is logged to the file named by VELTRANO_UI_LOG, as the
// scripted interface logs it. Button captions are the system's own (Korean on a Korean
// Windows).
//
// Owner of the boxes and dialogs: the program's main window given to setOwnerWindow while it
// is on screen (so a box stays above it and is modal to it), else the thread's active window.

#include <cstdint>
#include <string>

#include "platform/ui/user_interface.h"

namespace veltrano::ui {

class Win32Ui : public UserInterface {
 public:
  Win32Ui();
  Answer messageBox(const MessageBoxSpec& box) override;
  std::optional<std::string> inputBox(const InputBoxSpec& box) override;
  std::optional<std::string> openFileDialog(const FileDialogSpec& dlg) override;
  std::optional<std::string> saveFileDialog(const FileDialogSpec& dlg) override;
  void pump() override;
  void setMousePointer(MousePointer p) override;

  // The main window (an HWND; 0 for none) that owns the boxes while it is visible.
  void setOwnerWindow(std::uintptr_t window);
  // The window the next box will have as its owner (0 for none).
  std::uintptr_t ownerOfNextBox() const;

 private:
  std::string logPath_;  // VELTRANO_UI_LOG
  std::uintptr_t owner_ = 0;
};

// A "description|pattern|..." filter list in the common dialog's form: each string ends with a
// NUL, and the list with another.
std::wstring commonDialogFilter(const std::string& filter);

}  // namespace veltrano::ui
