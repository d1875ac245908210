#include "platform/ui/scripted_ui.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/runtime/environment.h"
#include "platform/text/vbstring.h"

namespace veltrano::ui {
namespace {

std::string buttonsName(Buttons b) {
  std::string out;
  for (Answer a : answersOf(b)) out += (out.empty() ? "" : "/") + answerName(a);
  return out;
}

std::string iconName(Icon i) {
  switch (i) {
    case Icon::Critical: return "Critical";
    case Icon::Question: return "Question";
    case Icon::Exclamation: return "Exclamation";
    case Icon::Information: return "Information";
    default: return "None";
  }
}

std::string escapeLine(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else out.push_back(c);
  }
  return out;
}

}  // namespace

std::string answerName(Answer a) {
  switch (a) {
    case Answer::OK: return "OK";
    case Answer::Cancel: return "Cancel";
    case Answer::Abort: return "Abort";
    case Answer::Retry: return "Retry";
    case Answer::Ignore: return "Ignore";
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    default: return "None";
  }
}

ScriptedUi::ScriptedUi(std::string_view answers, std::string logPath) : logPath_(std::move(logPath)) {
  for (const std::string& a : text::Split(answers, ",")) {
    std::string t = text::Trim(a);
    if (!t.empty()) answers_.push_back(t);
  }
}

ScriptedUi ScriptedUi::fromEnvironment() {
  return ScriptedUi(environmentVariable("VELTRANO_ANSWERS").value_or(""),
                    environmentVariable("VELTRANO_UI_LOG").value_or(""));
}

std::optional<std::string> ScriptedUi::nextAnswer() {
  if (answers_.empty()) return std::nullopt;
  std::string a = answers_.front();
  answers_.pop_front();
  return a;
}

void appendUiLog(const std::string& path, const ScriptedUi::Shown& s) {
  if (path.empty()) return;
  // The path is UTF-8 text; a narrow file name would be read in the ANSI code page on Windows.
  std::ofstream log(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::app | std::ios::binary);
  log << s.kind << '\t' << escapeLine(s.title) << '\t' << escapeLine(s.text) << '\t' << buttonsName(s.buttons)
      << '\t' << iconName(s.icon) << '\t' << escapeLine(s.answer) << '\n';
}

void ScriptedUi::record(Shown s) {
  appendUiLog(logPath_, s);
  shown_.push_back(std::move(s));
}

void ScriptedUi::showText(const std::string& title, const std::string& text) {
  record({"Text", title, text, Buttons::OK, Icon::None, ""});
}

Answer ScriptedUi::messageBox(const MessageBoxSpec& box) {
  const std::vector<Answer> allowed = answersOf(box.buttons);
  std::size_t def = static_cast<std::size_t>(box.defaultButton - 1);
  Answer answer = allowed[def < allowed.size() ? def : 0];
  if (auto given = nextAnswer()) {
    for (Answer a : allowed)
      if (text::UCase(*given) == text::UCase(answerName(a))) answer = a;
  }
  record({"MsgBox", box.title.empty() ? appTitle_ : box.title, box.text, box.buttons, box.icon, answerName(answer)});
  return answer;
}

std::optional<std::string> ScriptedUi::inputBox(const InputBoxSpec& box) {
  std::optional<std::string> result = box.defaultText;
  if (auto given = nextAnswer()) {
    if (given->rfind("Input:", 0) == 0) result = given->substr(6);
    else if (text::UCase(*given) == "CANCEL") result = std::nullopt;
  }
  record({"InputBox", box.title.empty() ? appTitle_ : box.title, box.prompt, Buttons::OKCancel, Icon::None,
          result ? "Input:" + *result : "Cancel"});
  return result;
}

std::optional<std::string> ScriptedUi::fileDialog(const char* kind, const FileDialogSpec& dlg) {
  std::optional<std::string> result;
  if (auto given = nextAnswer()) {
    if (given->rfind("File:", 0) == 0) result = withDefaultExt(given->substr(5), dlg.defaultExt);
  }
  record({kind, dlg.title, dlg.filter, Buttons::OKCancel, Icon::None, result ? "File:" + *result : "Cancel"});
  return result;
}

std::optional<std::string> ScriptedUi::openFileDialog(const FileDialogSpec& dlg) { return fileDialog("Open", dlg); }
std::optional<std::string> ScriptedUi::saveFileDialog(const FileDialogSpec& dlg) { return fileDialog("Save", dlg); }

std::string ScriptedUi::windowShown(std::string kind, std::string title, std::string text) {
  std::string answer = nextAnswer().value_or(std::string());
  record({std::move(kind), std::move(title), std::move(text), Buttons::OK, Icon::None, answer});
  return answer;
}

void ScriptedUi::pump() {
  ++pumps_;
  fireDueTimers();
  if (onPump_) onPump_();
}

void ScriptedUi::setMousePointer(MousePointer p) {
  pointer_ = p;
  pointers_.push_back(p);
}

}  // namespace veltrano::ui
