#pragma once
// The update window on Windows: a real Win32 window that mirrors the form model (captions,
// visibility, positions, fonts) with the platform's own controls (static texts, an edit box,
// group boxes, a check box, push buttons), draws the heading band and the pictures with GDI,
// and shows the progress bar's GDI surface in a child window shaped by its window region. The
// buttons, the check box and the close box reach the form's handlers given here.
//
// Handlers run inside the window procedure, where no exception may pass: the end of the
// program (veltrano::ProgramEnd) or a run-time error that a handler raises is kept, the
// message loop is asked to end with that code (PostQuitMessage), and throwPendingEnd() throws
// the end again where the program waits, as the Qt view does.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "updater/progress_bar.h"
#include "updater/update_form.h"

namespace meridox {

struct UpdateWindowHandlers {
  std::function<void()> yesClicked;     // Com_Yes
  std::function<void()> cancelClicked;  // Com_Cancel
  // Form_QueryUnload for the close box (UnloadMode 0): true refuses.
  std::function<bool(int unloadMode)> queryUnload;
};

class UpdateWindowWin32 {
 public:
  // `form` and `bar` must outlive the view. The window shows itself when the form does.
  UpdateWindowWin32(UpdateForm& form, ProgressBar& bar, UpdateWindowHandlers handlers);
  ~UpdateWindowWin32();
  UpdateWindowWin32(const UpdateWindowWin32&) = delete;
  UpdateWindowWin32& operator=(const UpdateWindowWin32&) = delete;

  // The top-level window's handle, and the child window standing for a control of the form
  // (0 for none); "SP_PB" names the progress bar's.
  std::uintptr_t handle() const;
  std::uintptr_t controlHandle(const std::string& name) const;

  // The exit code of an end raised inside the window procedure, if any.
  std::optional<int> pendingEnd() const;
  void throwPendingEnd() const;

  // Writes a PNG picture of the window's client area as the screen shows it; false when it is
  // not shown or cannot be written.
  bool saveScreenshot(const std::string& pngPath) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meridox
