#pragma once
// The update window on screen: a Qt widget that mirrors the form model of an UpdateWindow
// (captions, visibility, positions), draws its pictures and shows its progress bar, and turns
// clicks, the check box and the close box into the window's handlers.
//
// Qt's event loop must not see exceptions, so the end of the program (veltrano::ProgramEnd)
// or a run-time error raised by a handler that Qt called is kept by the widget, Qt is asked to
// leave its loop with that code, and WindowUi throws the end again after its next pump, so a
// run that was waiting when the button was pressed unwinds as the end of the program demands.

#include <QWidget>

#include <map>
#include <optional>

#include "platform/ui/user_interface.h"
#include "updater/update_window.h"

namespace meridox {

class UpdateWindowWidget : public QWidget {
  Q_OBJECT

 public:
  // `window` must outlive the widget. The widget shows itself when the form does.
  explicit UpdateWindowWidget(UpdateWindow& window, QWidget* parent = nullptr);
  ~UpdateWindowWidget() override;

  // The exit code of an end raised inside Qt's loop, if any.
  std::optional<int> pendingEnd() const { return pendingEnd_; }
  // Throws veltrano::ProgramEnd with the pending code, if one is pending.
  void throwPendingEnd() const;

  // The Qt widget standing for a control of the form (nullptr for none).
  QWidget* widgetFor(const FormControl& control) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  template <class Handler>
  void runHandler(Handler&& handler);
  void sync(const FormControl* changed);
  void syncControl(const FormControl& control);
  // How far what lies below the option frame moves up while the frame is hidden, so that no
  // empty band stays where it was (the window shrinks by as much).
  int collapsed() const;

  UpdateWindow& window_;
  std::map<const FormControl*, QWidget*> widgets_;
  QWidget* bar_ = nullptr;
  std::optional<int> pendingEnd_;
};

// The user interface of a program whose window shows: every call goes to `inner` (Qt's), and
// after each pump an end kept by the widget is thrown where the program waited.
class WindowUi : public veltrano::ui::UserInterface {
 public:
  WindowUi(veltrano::ui::UserInterface& inner, const UpdateWindowWidget& widget) : inner_(inner), widget_(widget) {}
  veltrano::ui::Answer messageBox(const veltrano::ui::MessageBoxSpec& box) override;
  std::optional<std::string> inputBox(const veltrano::ui::InputBoxSpec& box) override;
  std::optional<std::string> openFileDialog(const veltrano::ui::FileDialogSpec& dlg) override;
  std::optional<std::string> saveFileDialog(const veltrano::ui::FileDialogSpec& dlg) override;
  void showText(const std::string& title, const std::string& text) override { inner_.showText(title, text); }
  void pump() override;
  void setMousePointer(veltrano::ui::MousePointer p) override;

 private:
  veltrano::ui::UserInterface& inner_;
  const UpdateWindowWidget& widget_;
};

}  // namespace meridox
