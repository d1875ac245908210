#include "platform/ui/user_interface.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/runtime/clock.h"
#include "platform/ui/scripted_ui.h"
#ifdef _WIN32
#include "platform/ui/win32_ui.h"
#endif

namespace veltrano::ui {
namespace {

UserInterface* g_installed = nullptr;

UserInterface& defaultUi() {
#ifdef _WIN32
  if (!std::getenv("VELTRANO_ANSWERS")) {
    static Win32Ui ui;
    return ui;
  }
#endif
  static ScriptedUi ui = ScriptedUi::fromEnvironment();
  return ui;
}

std::vector<Timer*>& timers() {
  static std::vector<Timer*> list;
  return list;
}

struct HandleTable {
  std::map<Hwnd, void*> windows;
  Hwnd next = 0x00010010;
};
HandleTable& handles() {
  static HandleTable t;
  return t;
}

}  // namespace

std::vector<Answer> answersOf(Buttons b) {
  switch (b) {
    case Buttons::OK: return {Answer::OK};
    case Buttons::OKCancel: return {Answer::OK, Answer::Cancel};
    case Buttons::AbortRetryIgnore: return {Answer::Abort, Answer::Retry, Answer::Ignore};
    case Buttons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::YesNo: return {Answer::Yes, Answer::No};
    case Buttons::RetryCancel: return {Answer::Retry, Answer::Cancel};
  }
  return {Answer::OK};
}

MessageBoxSpec MessageBoxSpec::fromStyle(std::string_view text, int style, std::string_view title) {
  MessageBoxSpec box;
  box.text = std::string(text);
  box.title = std::string(title);
  box.buttons = static_cast<Buttons>(style & 7);
  box.icon = static_cast<Icon>(style & 0x70);
  box.defaultButton = 1 + ((style >> 8) & 3);
  return box;
}

std::string withDefaultExt(const std::string& path, const std::string& ext) {
  const std::size_t name = path.find_last_of("/\\");
  const std::size_t start = name == std::string::npos ? 0 : name + 1;
  // A leading dot (".profile") names a file; it does not start an extension.
  const std::size_t dot = path.find('.', start + 1);
  if (ext.empty() || start >= path.size() || dot != std::string::npos) return path;
  return path + "." + ext;
}

UserInterface& current() { return g_installed ? *g_installed : defaultUi(); }
void install(UserInterface* ui) { g_installed = ui; }

ScopedUi::ScopedUi(UserInterface& ui) : previous_(g_installed) { g_installed = &ui; }
ScopedUi::~ScopedUi() { g_installed = previous_; }

Answer MsgBox(std::string_view prompt, int style, std::string_view title) {
  return current().messageBox(MessageBoxSpec::fromStyle(prompt, style, title));
}

std::string InputBox(std::string_view prompt, std::string_view title, std::string_view defaultText) {
  auto r = current().inputBox({std::string(prompt), std::string(title), std::string(defaultText)});
  return r.value_or(std::string());
}

void DoEvents() { current().pump(); }
void setMousePointer(MousePointer p) { current().setMousePointer(p); }

Timer::Timer(std::function<void()> onTick, int intervalMs) : onTick_(std::move(onTick)), interval_(intervalMs) {
  timers().push_back(this);
}

Timer::~Timer() {
  auto& list = timers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Timer::setInterval(int ms) {
  interval_ = ms;
  due_ = veltrano::clock().steadyMs() + interval_;
}

void Timer::setEnabled(bool on) {
  if (on && !enabled_) due_ = veltrano::clock().steadyMs() + interval_;
  enabled_ = on;
}

void fireDueTimers() {
  const std::int64_t now = veltrano::clock().steadyMs();
  // A tick handler may create, destroy or disable timers: walk a copy and re-check membership.
  std::vector<Timer*> snapshot = timers();
  for (Timer* t : snapshot) {
    auto& list = timers();
    if (std::find(list.begin(), list.end(), t) == list.end()) continue;
    if (!t->enabled_ || t->interval_ <= 0 || t->firing_ || now < t->due_) continue;
    t->due_ = now + t->interval_;
    t->firing_ = true;
    struct Reset {
      Timer* t;
      ~Reset() {
        auto& l = timers();
        if (std::find(l.begin(), l.end(), t) != l.end()) t->firing_ = false;
      }
    } reset{t};
    if (t->onTick_) t->onTick_();
  }
}

Hwnd registerWindow(void* window) {
  auto& t = handles();
  Hwnd h = t.next;
  t.next += 4;
  t.windows[h] = window;
  return h;
}

void unregisterWindow(Hwnd h) { handles().windows.erase(h); }

void* windowObject(Hwnd h) {
  auto& w = handles().windows;
  auto it = w.find(h);
  return it == w.end() ? nullptr : it->second;
}

}  // namespace veltrano::ui
