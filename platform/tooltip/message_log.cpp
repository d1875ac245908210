#include "platform/tooltip/message_log.h"

#include <utility>
#include <vector>

namespace veltrano::tooltip {

namespace {

std::vector<LoggedCall>& log() {
  static std::vector<LoggedCall> calls;
  return calls;
}

// The log keeps the most recent calls only, so that a long-running program does not grow it
// without end.
constexpr std::size_t kLogLimit = 4096;

}  // namespace

namespace detail {

std::optional<std::string> ansiText(const char* p) {
  if (p == nullptr || p == reinterpret_cast<const char*>(static_cast<std::intptr_t>(-1))) return std::nullopt;
  return std::string(p);
}

void record(LoggedCall call) {
  auto& calls = log();
  if (calls.size() >= kLogLimit) calls.erase(calls.begin(), calls.begin() + static_cast<long>(kLogLimit / 2));
  calls.push_back(std::move(call));
}

LoggedCall creationCall(std::uint32_t exStyle, const char* className, std::uint32_t style, std::int32_t x,
                        std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent, std::uint32_t menu,
                        std::uint32_t instance) {
  LoggedCall c;
  c.call = "CreateWindowExA";
  c.className = className ? className : "";
  c.exStyle = exStyle;
  c.style = style;
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  c.parent = parent;
  c.menu = menu;
  c.instance = instance;
  return c;
}

LoggedCall sentCall(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  LoggedCall c;
  c.call = "SendMessageA";
  c.hwnd = hwnd;
  c.msg = msg;
  c.wParam = wParam;
  c.lParam = lParam;
  if (lParam == 0) return c;
  switch (msg) {
    case TTM_ADDTOOLA:
    case TTM_UPDATETIPTEXTA: {
      TOOLINFOA copy = *reinterpret_cast<const TOOLINFOA*>(lParam);
      c.text = ansiText(copy.lpszText);
      copy.lpszText = nullptr;
      c.tool = copy;
      break;
    }
    case TTM_SETTITLEA: c.text = ansiText(reinterpret_cast<const char*>(lParam)); break;
    case TTM_SETTIPTEXTCOLOR:
    case TTM_SETTIPBKCOLOR: c.pointedValue = *reinterpret_cast<const std::uint32_t*>(lParam); break;
    default: break;
  }
  return c;
}

}  // namespace detail

const std::vector<LoggedCall>& messageLog() { return log(); }
void clearMessageLog() { log().clear(); }

}  // namespace veltrano::tooltip
