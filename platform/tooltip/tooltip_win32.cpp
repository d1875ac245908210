// The tooltip window on Windows: the common controls' own, driven by the wide forms of the
// tooltip messages.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/gdi/win32_bridge.h"
#include "platform/text/ansi.h"
#include "platform/text/wide.h"
#include "platform/tooltip/message_log.h"
#include "platform/tooltip/tooltip.h"

namespace veltrano::tooltip {

namespace {

using detail::record;

// What the window may not tell back: the colours set (none is the control's default), and the
// title and icon last sent (read back only where the control answers TTM_GETTITLE).
struct Kept {
  std::optional<std::uint32_t> textColour, backColour;
  std::string title;  // UTF-8
  std::uint32_t icon = 0;
};

std::map<Hwnd, Kept>& tooltips() {
  static std::map<Hwnd, Kept> made;
  return made;
}

// Window handles are 32-bit values that the platform sign-extends.
HWND toHwnd(std::uint32_t h) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(h))); }
Hwnd fromHwnd(HWND h) { return static_cast<Hwnd>(reinterpret_cast<UINT_PTR>(h)); }

HWND liveTooltip(Hwnd h) {
  return tooltips().count(h) != 0 && ::IsWindow(toHwnd(h)) ? toHwnd(h) : nullptr;
}

// This module's instance: the tooltip class is the system's, so any loaded module will do.
HINSTANCE moduleInstance() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&moduleInstance), &self);
  return self;
}

// An ANSI (code page 949) text as the wide text of the W messages.
std::wstring wideFromAnsi(const std::string& ansi) { return text::widen(text::fromAnsi(ansi)); }

// The size of the 32-bit tool record the callers fill (commctrl.h's TTTOOLINFOA_V1_SIZE is this
// build's 64-bit one).
constexpr std::uint32_t kToolRecordSize = 44;

// Sends the tool record in the platform's wide layout. A record shorter than the 32-bit one is
// refused, as the control refuses a short record of its own form.
LRESULT sendTool(HWND window, UINT wideMessage, const ToolRecord& r) {
  if (r.cbSize < kToolRecordSize) return 0;
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = r.uFlags;
  ti.hwnd = toHwnd(r.hwnd);
  ti.uId = (r.uFlags & TTF_IDISHWND) != 0 ? reinterpret_cast<UINT_PTR>(toHwnd(r.uId)) : r.uId;
  ti.rect = ::RECT{r.rect.left, r.rect.top, r.rect.right, r.rect.bottom};
  ti.hinst = moduleInstance();
  ti.lParam = r.lParam;
  std::wstring text;
  if (r.lpszText == reinterpret_cast<const char*>(static_cast<std::intptr_t>(-1))) {
    ti.lpszText = LPSTR_TEXTCALLBACKW;
  } else if (r.lpszText != nullptr) {
    text = wideFromAnsi(r.lpszText);
    ti.lpszText = text.data();
  }
  return SendMessageW(window, wideMessage, 0, reinterpret_cast<LPARAM>(&ti));
}

LRESULT deliver(HWND window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam, Kept& kept) {
  switch (msg) {
    case TTM_ADDTOOLA:
      return lParam != 0 ? sendTool(window, TTM_ADDTOOLW, *reinterpret_cast<const ToolRecord*>(lParam)) : 0;
    case TTM_UPDATETIPTEXTA:
      return lParam != 0 ? sendTool(window, TTM_UPDATETIPTEXTW, *reinterpret_cast<const ToolRecord*>(lParam)) : 0;
    case TTM_SETTITLEA: {
      const auto title = detail::ansiText(reinterpret_cast<const char*>(lParam));
      const std::wstring wide = title ? wideFromAnsi(*title) : std::wstring();
      kept.title = text::narrow(wide);
      kept.icon = static_cast<std::uint32_t>(wParam);
      return SendMessageW(window, TTM_SETTITLEW, wParam, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    // The colour is the word parameter; what the long parameter points at plays no part.
    case TTM_SETTIPTEXTCOLOR:
      kept.textColour = static_cast<std::uint32_t>(wParam);
      return SendMessageW(window, msg, wParam, 0);
    case TTM_SETTIPBKCOLOR:
      kept.backColour = static_cast<std::uint32_t>(wParam);
      return SendMessageW(window, msg, wParam, 0);
    default: return SendMessageW(window, msg, wParam, lParam);
  }
}

bool isTooltipClass(const char* name) {
  if (name == nullptr) return false;
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return lower == TOOLTIPS_CLASSA;
}

}  // namespace

void InitCommonControls() {
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  LoggedCall c;
  c.call = "InitCommonControls";
  c.delivered = InitCommonControlsEx(&init) != FALSE;
  record(std::move(c));
}

Hwnd CreateWindowExA(std::uint32_t exStyle, const char* className, const char* windowName, std::uint32_t style,
                     std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent,
                     std::uint32_t menu, std::uint32_t instance, const void* /*param*/) {
  LoggedCall c = detail::creationCall(exStyle, className, style, x, y, width, height, parent, menu, instance);
  Hwnd h = 0;
  if (isTooltipClass(className)) {
    const std::wstring name = windowName != nullptr ? wideFromAnsi(windowName) : std::wstring();
    HWND made = CreateWindowExW(exStyle, TOOLTIPS_CLASSW, windowName != nullptr ? name.c_str() : nullptr, style, x, y,
                                width, height, parent != 0 ? toHwnd(parent) : nullptr,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(menu)), moduleInstance(), nullptr);
    if (made != nullptr) {
      h = fromHwnd(made);
      tooltips()[h] = Kept{};
    }
  }
  c.hwnd = h;
  c.delivered = h != 0;
  record(std::move(c));
  return h;
}

std::intptr_t SendMessageA(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  LoggedCall c = detail::sentCall(hwnd, msg, wParam, lParam);
  HWND window = liveTooltip(hwnd);
  c.delivered = window != nullptr;
  record(std::move(c));
  return window != nullptr ? deliver(window, msg, wParam, lParam, tooltips()[hwnd]) : 0;
}

bool DestroyWindow(Hwnd hwnd) {
  LoggedCall c;
  c.call = "DestroyWindow";
  c.hwnd = hwnd;
  HWND window = liveTooltip(hwnd);
  c.delivered = window != nullptr && ::DestroyWindow(window) != FALSE;
  record(std::move(c));
  tooltips().erase(hwnd);
  return c.delivered;
}

bool IsWindow(Hwnd hwnd) { return liveTooltip(hwnd) != nullptr; }

std::optional<TipState> tipState(Hwnd tooltip) {
  HWND window = liveTooltip(tooltip);
  if (window == nullptr) return std::nullopt;
  TipState s;
  s.style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
  s.balloon = (s.style & TTS_BALLOON) != 0;
  s.visible = IsWindowVisible(window) != FALSE;
  s.tools = static_cast<std::size_t>(SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0));
  // The text of the first tool.
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  if (s.tools > 0 && SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&ti)) != 0) {
    std::vector<wchar_t> buffer(1024, L'\0');
    ti.lpszText = buffer.data();
    SendMessageW(window, TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&ti));
    s.shownText = text::narrow(buffer.data());
  }
  const Kept& kept = tooltips()[tooltip];
  s.textColour = kept.textColour;
  s.backColour = kept.backColour;
  s.title = kept.title;
  s.icon = kept.icon;
  std::vector<wchar_t> title(256, L'\0');
  TTGETTITLE t{};
  t.dwSize = sizeof t;
  t.cch = static_cast<UINT>(title.size());
  t.pszTitle = title.data();
  t.uTitleBitmap = ~0u;  // left as it is by a control that does not answer
  SendMessageW(window, TTM_GETTITLE, 0, reinterpret_cast<LPARAM>(&t));
  if (t.uTitleBitmap != ~0u) {
    s.title = text::narrow(title.data());
    s.icon = t.uTitleBitmap;
  }
  s.initialMs = static_cast<int>(SendMessageW(window, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
  s.autoPopMs = static_cast<int>(SendMessageW(window, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0));
  return s;
}

bool grabTip(Hwnd tooltip, const std::string& pngPath) {
  HWND window = liveTooltip(tooltip);
  ::RECT r{};
  if (window == nullptr || !IsWindowVisible(window) || !GetWindowRect(window, &r)) return false;
  // The tip as the screen shows it.
  gdi::Surface picture(r.right - r.left, r.bottom - r.top);
  HDC screen = GetDC(nullptr);
  const bool copied = BitBlt(gdi::nativeDc(picture), 0, 0, picture.width(), picture.height(), screen, r.left, r.top,
                             SRCCOPY) != FALSE;
  ReleaseDC(nullptr, screen);
  return copied && picture.savePng(pngPath);
}

}  // namespace veltrano::tooltip
