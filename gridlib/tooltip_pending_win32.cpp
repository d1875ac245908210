// Windows, until the platform layer has its tooltip backend: the library carries the tooltip
// interface with no tooltip window behind it. Every call is logged as the interface states;
// CreateWindowExA makes no window (0), as it does on Linux without a display, so TOOLTIP's
// messages go nowhere. The build leaves this file out as soon as the platform layer offers the
// tooltip module.
#include "platform/tooltip/tooltip.h"

namespace veltrano::tooltip {

namespace {
constexpr std::size_t kLogLimit = 4096;

std::vector<LoggedCall>& log() {
  static std::vector<LoggedCall> calls;
  return calls;
}

void append(LoggedCall call) {
  auto& calls = log();
  if (calls.size() >= kLogLimit) calls.erase(calls.begin(), calls.begin() + kLogLimit / 2);
  calls.push_back(std::move(call));
}
}  // namespace

void InitCommonControls() { append({.call = "InitCommonControls"}); }

Hwnd CreateWindowExA(std::uint32_t exStyle, const char* className, const char*, std::uint32_t style, std::int32_t x,
                     std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent, std::uint32_t menu,
                     std::uint32_t instance, const void*) {
  LoggedCall call{.call = "CreateWindowExA"};
  call.className = className ? className : "";
  call.exStyle = exStyle;
  call.style = style;
  call.x = x;
  call.y = y;
  call.width = width;
  call.height = height;
  call.parent = parent;
  call.menu = menu;
  call.instance = instance;
  append(std::move(call));
  return 0;
}

std::intptr_t SendMessageA(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  append({.call = "SendMessageA", .hwnd = hwnd, .msg = msg, .wParam = wParam, .lParam = lParam});
  return 0;
}

bool DestroyWindow(Hwnd hwnd) {
  append({.call = "DestroyWindow", .hwnd = hwnd});
  return false;
}

bool IsWindow(Hwnd) { return false; }
const std::vector<LoggedCall>& messageLog() { return log(); }
void clearMessageLog() { log().clear(); }
std::optional<TipState> tipState(Hwnd) { return std::nullopt; }
bool grabTip(Hwnd, const std::string&) { return false; }

}  // namespace veltrano::tooltip
