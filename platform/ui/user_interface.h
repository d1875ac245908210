#pragma once
// What the system asks of a user interface: message boxes, input boxes, file dialogs, the
// message pump, the screen's mouse pointer, timers and window handles.
//
// System code calls the free functions below; they go to the interface in force for the
// process: the Qt one for people (installed by programs that show windows) or the scripted one
// for tests and unattended runs, which answers from a queue and records what was shown.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::ui {

enum class Buttons { OK = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class Icon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class Answer { None = 0, OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// The style word of VB's MsgBox: buttons + icon + default button (0, 256, 512).
inline constexpr int vbOKOnly = 0, vbOKCancel = 1, vbAbortRetryIgnore = 2, vbYesNoCancel = 3,
                     vbYesNo = 4, vbRetryCancel = 5, vbCritical = 16, vbQuestion = 32,
                     vbExclamation = 48, vbInformation = 64, vbDefaultButton1 = 0,
                     vbDefaultButton2 = 256, vbDefaultButton3 = 512;

// The buttons of a box, in the order they are shown.
std::vector<Answer> answersOf(Buttons b);

struct MessageBoxSpec {
  std::string text;
  std::string title;  // empty: the application's title
  Buttons buttons = Buttons::OK;
  Icon icon = Icon::None;
  int defaultButton = 1;  // 1 to 3, position among the buttons
  static MessageBoxSpec fromStyle(std::string_view text, int style, std::string_view title);
};

struct InputBoxSpec {
  std::string prompt;
  std::string title;
  std::string defaultText;
};

// A common-dialog file prompt. `filter` is "description|pattern|description|pattern...",
// `filterIndex` counts from 1. `defaultExt` (without the dot) is appended to a chosen name
// that has no extension, as the common dialog's default extension is.
struct FileDialogSpec {
  std::string title;
  std::string filter;
  int filterIndex = 1;
  std::string fileName;
  std::string initialDir;
  int flags = 0;
  std::string defaultExt;
};

// `path` with ".ext" appended when its file name has no extension (and ext is not empty).
std::string withDefaultExt(const std::string& path, const std::string& ext);

enum class MousePointer { Default = 0, Arrow = 1, Hourglass = 11 };

// 32-bit window handles, issued here and mapped to the toolkit's window objects.
using Hwnd = std::uint32_t;

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual Answer messageBox(const MessageBoxSpec& box) = 0;
  // The text typed, or nothing when the user cancelled.
  virtual std::optional<std::string> inputBox(const InputBoxSpec& box) = 0;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> openFileDialog(const FileDialogSpec& dlg) = 0;
  virtual std::optional<std::string> saveFileDialog(const FileDialogSpec& dlg) = 0;
  // Shows a text to read in a window of the program's own and returns when it is closed (the
  // text viewer where the platform has none). The default shows nothing.
  virtual void showText(const std::string& title, const std::string& text) {
    (void)title;
    (void)text;
  }
  // Lets pending window messages and due timers run once (DoEvents). Re-entrant.
  virtual void pump() = 0;
  virtual void setMousePointer(MousePointer p) { pointer_ = p; }
  MousePointer mousePointer() const { return pointer_; }
  // The application title used by boxes without a title of their own.
  void setAppTitle(std::string title) { appTitle_ = std::move(title); }
  const std::string& appTitle() const { return appTitle_; }

 protected:
  MousePointer pointer_ = MousePointer::Default;
  std::string appTitle_ = "Veltrano";
};

// The interface in force. Until a program installs one, a ScriptedUi configured from the
// environment (VELTRANO_ANSWERS, VELTRANO_UI_LOG) answers. On Windows, where the libraries run
// in programs that cannot install ours, the default is the system's own (Win32Ui) unless
// VELTRANO_ANSWERS is set for an unattended run.
UserInterface& current();
// Installs `ui` for the process (the caller keeps it alive); nullptr restores the default.
void install(UserInterface* ui);

class ScopedUi {
 public:
  explicit ScopedUi(UserInterface& ui);
  ~ScopedUi();
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  UserInterface* previous_;
};

// Shorthands on the interface in force.
Answer MsgBox(std::string_view prompt, int style = vbOKOnly, std::string_view title = "");
// VB InputBox: the text, or "" when cancelled.
std::string InputBox(std::string_view prompt, std::string_view title = "", std::string_view defaultText = "");
void DoEvents();
void setMousePointer(MousePointer p);

// A timer of a window (the Timer control): calls `onTick` every `interval` ms while enabled.
// Ticks are delivered by pump() of whichever interface is in force, measured on the clock, so a
// test clock drives them. A late timer ticks once, not once per missed interval.
class Timer {
 public:
  explicit Timer(std::function<void()> onTick = {}, int intervalMs = 0);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void setInterval(int ms);
  int interval() const { return interval_; }
  void setEnabled(bool on);
  bool enabled() const { return enabled_; }
  void setOnTick(std::function<void()> f) { onTick_ = std::move(f); }

 private:
  friend void fireDueTimers();
  std::function<void()> onTick_;
  int interval_ = 0;
  bool enabled_ = false;
  std::int64_t due_ = 0;
  bool firing_ = false;
};

// Fires every enabled timer whose interval has passed. Called by pump() implementations.
void fireDueTimers();

// Window handles.
Hwnd registerWindow(void* window);
void unregisterWindow(Hwnd h);
void* windowObject(Hwnd h);  // nullptr for an unknown or released handle

}  // namespace veltrano::ui
