#pragma once
// The user interface for tests and unattended runs: every box is answered from a queue and
// recorded; nothing blocks.
//
// Answers are button names ("OK", "Cancel", "Yes", "No", "Retry", "Abort", "Ignore"); an input
// box takes "Input:TEXT"; a file dialog takes "File:PATH" (or "Cancel"). When the queue is
// empty a message box takes its default button, an input box returns its default text and a
// file dialog is cancelled. An answer that does not fit the box (a "Yes" for an OK box) is
// consumed and the default button is taken.

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/user_interface.h"

namespace veltrano::ui {

class ScriptedUi : public UserInterface {
 public:
  ScriptedUi() = default;
  // Answers from a comma-separated list (the form of VELTRANO_ANSWERS) and, when `logPath` is
  // not empty, every box appended to that file as one line.
  ScriptedUi(std::string_view answers, std::string logPath);
  // Configured from VELTRANO_ANSWERS and VELTRANO_UI_LOG.
  static ScriptedUi fromEnvironment();

  void queue(std::string answer) { answers_.push_back(std::move(answer)); }
  std::size_t pendingAnswers() const { return answers_.size(); }

  struct Shown {
    std::string kind;  // "MsgBox", "InputBox", "Open", "Save", "Text", or a window's kind
    std::string title;
    std::string text;
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
    std::string answer;
  };
  const std::vector<Shown>& shown() const { return shown_; }
  void clearShown() { shown_.clear(); }
  // Number of pump() calls so far.
  std::size_t pumps() const { return pumps_; }
  // Called at each pump (tests use it to act "while the program waits").
  void setOnPump(std::function<void()> f) { onPump_ = std::move(f); }
  const std::vector<MousePointer>& pointerHistory() const { return pointers_; }

  // A window of the program's own that waits for the user (an error window, a dialog form):
  // recorded with its title and text and closed at once, taking one queued answer if any.
  // Returns that answer ("" when the queue was empty).
  std::string windowShown(std::string kind, std::string title, std::string text);

  Answer messageBox(const MessageBoxSpec& box) override;
  std::optional<std::string> inputBox(const InputBoxSpec& box) override;
  std::optional<std::string> openFileDialog(const FileDialogSpec& dlg) override;
  std::optional<std::string> saveFileDialog(const FileDialogSpec& dlg) override;
  // Recorded as a "Text" line; takes no answer.
  void showText(const std::string& title, const std::string& text) override;
  void pump() override;
  void setMousePointer(MousePointer p) override;

 private:
  std::optional<std::string> nextAnswer();
  std::optional<std::string> fileDialog(const char* kind, const FileDialogSpec& dlg);
  void record(Shown s);

  std::deque<std::string> answers_;
  std::string logPath_;
  std::vector<Shown> shown_;
  std::vector<MousePointer> pointers_;
  std::size_t pumps_ = 0;
  std::function<void()> onPump_;
};

std::string answerName(Answer a);

// Appends one line for a box shown to the log file at `path` (the form of VELTRANO_UI_LOG:
// kind, title, text, buttons, icon and answer, tab-separated, line breaks escaped). Every user
// interface logs with it, so that a log reads the same whether the boxes were on screen or not.
void appendUiLog(const std::string& path, const ScriptedUi::Shown& shown);

}  // namespace veltrano::ui
