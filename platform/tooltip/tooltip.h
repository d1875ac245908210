#pragma once
// The common-controls tooltip window: created by window class name "tooltips_class32" and
// driven by the tooltip messages, as the system's tooltip class drives it.
//
// On Windows it is the real thing: CreateWindowExA makes a window of the common controls'
// TOOLTIPS_CLASSW, and each message is sent to it in its wide form (the ANSI texts read as code
// page 949, the 32-bit tool record laid out as the platform's TTTOOLINFOW); handles are the
// windows' own, as 32-bit numbers. Elsewhere each tooltip window is a real Qt tip: it watches
// the tool windows it was given (found from their 32-bit handles through ui::windowObject,
// which must name QWidgets), shows the tip after the initial delay while the mouse rests on a
// tool and hides it after the automatic-pop time or when the mouse leaves, standard or
// balloon-shaped, with title, icon and colours; without a QApplication CreateWindowExA fails
// and returns 0, and its delays run on the UI timers (ui::Timer), so they follow the project's
// clock and fire from pump(). What the Qt tip does not model: tools given by rectangle rather
// than window, text callbacks, tracking tooltips, and the "only while the parent is active"
// rule (TTS_ALWAYSTIP is assumed).
//
// Every call is recorded in a message log that tests read. Messages to a handle that names no
// tooltip window (0, a destroyed one) go nowhere and return 0, as the platform does.
//
// windows.h and commctrl.h define most of the names below as macros of the same values (and
// TOOLINFOA as their own record); they are set aside while the names are declared, so this
// header may follow them. Code that includes both sees the macros, and names this module's
// tool record ToolRecord.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/user_interface.h"

#pragma push_macro("TOOLTIPS_CLASSA")
#pragma push_macro("TTS_ALWAYSTIP")
#pragma push_macro("TTS_NOPREFIX")
#pragma push_macro("TTS_BALLOON")
#pragma push_macro("CW_USEDEFAULT")
#pragma push_macro("TTF_IDISHWND")
#pragma push_macro("TTF_CENTERTIP")
#pragma push_macro("TTF_SUBCLASS")
#pragma push_macro("WM_USER")
#pragma push_macro("TTM_SETDELAYTIME")
#pragma push_macro("TTM_ADDTOOLA")
#pragma push_macro("TTM_UPDATETIPTEXTA")
#pragma push_macro("TTM_SETTIPBKCOLOR")
#pragma push_macro("TTM_SETTIPTEXTCOLOR")
#pragma push_macro("TTM_POP")
#pragma push_macro("TTM_SETTITLEA")
#pragma push_macro("TTDT_AUTOMATIC")
#pragma push_macro("TTDT_RESHOW")
#pragma push_macro("TTDT_AUTOPOP")
#pragma push_macro("TTDT_INITIAL")
#pragma push_macro("TTI_NONE")
#pragma push_macro("TTI_INFO")
#pragma push_macro("TTI_WARNING")
#pragma push_macro("TTI_ERROR")
#pragma push_macro("TOOLINFOA")
#pragma push_macro("TTTOOLINFOA_V1_SIZE")
#undef TOOLTIPS_CLASSA
#undef TTS_ALWAYSTIP
#undef TTS_NOPREFIX
#undef TTS_BALLOON
#undef CW_USEDEFAULT
#undef TTF_IDISHWND
#undef TTF_CENTERTIP
#undef TTF_SUBCLASS
#undef WM_USER
#undef TTM_SETDELAYTIME
#undef TTM_ADDTOOLA
#undef TTM_UPDATETIPTEXTA
#undef TTM_SETTIPBKCOLOR
#undef TTM_SETTIPTEXTCOLOR
#undef TTM_POP
#undef TTM_SETTITLEA
#undef TTDT_AUTOMATIC
#undef TTDT_RESHOW
#undef TTDT_AUTOPOP
#undef TTDT_INITIAL
#undef TTI_NONE
#undef TTI_INFO
#undef TTI_WARNING
#undef TTI_ERROR
#undef TOOLINFOA
#undef TTTOOLINFOA_V1_SIZE

namespace veltrano::tooltip {

using ui::Hwnd;

inline constexpr const char* TOOLTIPS_CLASSA = "tooltips_class32";

// Window styles.
inline constexpr std::uint32_t TTS_ALWAYSTIP = 0x01, TTS_NOPREFIX = 0x02, TTS_BALLOON = 0x40;
inline constexpr std::int32_t CW_USEDEFAULT = static_cast<std::int32_t>(0x80000000u);

// Tool flags.
inline constexpr std::uint32_t TTF_IDISHWND = 0x01, TTF_CENTERTIP = 0x02, TTF_SUBCLASS = 0x10;

// Messages (ANSI forms) and their codes.
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t TTM_SETDELAYTIME = WM_USER + 3;     // 1027
inline constexpr std::uint32_t TTM_ADDTOOLA = WM_USER + 4;         // 1028
inline constexpr std::uint32_t TTM_UPDATETIPTEXTA = WM_USER + 12;  // 1036
inline constexpr std::uint32_t TTM_SETTIPBKCOLOR = WM_USER + 19;   // 1043
inline constexpr std::uint32_t TTM_SETTIPTEXTCOLOR = WM_USER + 20; // 1044
inline constexpr std::uint32_t TTM_POP = WM_USER + 28;             // 1052
inline constexpr std::uint32_t TTM_SETTITLEA = WM_USER + 32;       // 1056
inline constexpr std::uint32_t TTDT_AUTOMATIC = 0, TTDT_RESHOW = 1, TTDT_AUTOPOP = 2, TTDT_INITIAL = 3;
inline constexpr std::uint32_t TTI_NONE = 0, TTI_INFO = 1, TTI_WARNING = 2, TTI_ERROR = 3;

struct RECT {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The tool-information record. cbSize is the size of the record in its 32-bit form (44 bytes,
// TTTOOLINFOA_V1_SIZE); the text is ANSI (CP949) and must stay alive while the message runs.
struct TOOLINFOA {
  std::uint32_t cbSize = 0;
  std::uint32_t uFlags = 0;
  Hwnd hwnd = 0;
  std::uint32_t uId = 0;
  RECT rect;
  std::uint32_t hinst = 0;
  const char* lpszText = nullptr;
  std::int32_t lParam = 0;
};
inline constexpr std::uint32_t TTTOOLINFOA_V1_SIZE = 44;
using ToolRecord = TOOLINFOA;

// Registers the common controls (a no-op kept for the calling pattern; it is logged).
void InitCommonControls();

// Creates a window. Only "tooltips_class32" is known; other classes give 0, as does a failed
// creation (no QApplication, off Windows).
Hwnd CreateWindowExA(std::uint32_t exStyle, const char* className, const char* windowName, std::uint32_t style,
                     std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent,
                     std::uint32_t menu, std::uint32_t instance, const void* param);
// Sends a message to a tooltip window and returns its result. Pointer arguments are read only
// for the messages that carry them (tool record, title text).
std::intptr_t SendMessageA(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
// Destroys a tooltip window; false when the handle names none.
bool DestroyWindow(Hwnd hwnd);
bool IsWindow(Hwnd hwnd);

// One recorded call.
struct LoggedCall {
  std::string call;  // "InitCommonControls", "CreateWindowExA", "SendMessageA", "DestroyWindow"
  Hwnd hwnd = 0;     // target window; for CreateWindowExA the new window (0 when none was made)
  std::uint32_t msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  // CreateWindowExA
  std::string className;
  std::uint32_t exStyle = 0, style = 0;
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  Hwnd parent = 0;
  std::uint32_t menu = 0, instance = 0;
  // What the pointer arguments carried: the tool record (text pointer cleared), the ANSI text
  // (title, or the tool's text), the 32-bit value the long parameter of a colour message points at.
  std::optional<TOOLINFOA> tool;
  std::optional<std::string> text;
  std::optional<std::uint32_t> pointedValue;
  bool delivered = false;  // a tooltip window took the message
};
// The most recent calls (at most 4,096; the older half is dropped when full).
const std::vector<LoggedCall>& messageLog();
void clearMessageLog();

// What a tooltip window holds and shows (tests, diagnostics). On Windows it is read from the
// window; the colours set, and the title and icon where the control does not answer
// TTM_GETTITLE (common controls before version 6, Wine), are what was last sent.
struct TipState {
  std::uint32_t style = 0;
  bool balloon = false;
  bool visible = false;      // the tip is on screen
  std::string shownText;     // UTF-8 text of the tip on screen (or last shown)
  std::string title;         // UTF-8
  std::uint32_t icon = 0;
  std::optional<std::uint32_t> textColour, backColour;  // Windows colours; unset: the default
  int initialMs = 0, autoPopMs = 0;
  std::size_t tools = 0;
};
std::optional<TipState> tipState(Hwnd tooltip);

// Writes a PNG picture of the tip as it is on screen; false when it is not shown.
bool grabTip(Hwnd tooltip, const std::string& pngPath);

}  // namespace veltrano::tooltip

#pragma pop_macro("TOOLTIPS_CLASSA")
#pragma pop_macro("TTS_ALWAYSTIP")
#pragma pop_macro("TTS_NOPREFIX")
#pragma pop_macro("TTS_BALLOON")
#pragma pop_macro("CW_USEDEFAULT")
#pragma pop_macro("TTF_IDISHWND")
#pragma pop_macro("TTF_CENTERTIP")
#pragma pop_macro("TTF_SUBCLASS")
#pragma pop_macro("WM_USER")
#pragma pop_macro("TTM_SETDELAYTIME")
#pragma pop_macro("TTM_ADDTOOLA")
#pragma pop_macro("TTM_UPDATETIPTEXTA")
#pragma pop_macro("TTM_SETTIPBKCOLOR")
#pragma pop_macro("TTM_SETTIPTEXTCOLOR")
#pragma pop_macro("TTM_POP")
#pragma pop_macro("TTM_SETTITLEA")
#pragma pop_macro("TTDT_AUTOMATIC")
#pragma pop_macro("TTDT_RESHOW")
#pragma pop_macro("TTDT_AUTOPOP")
#pragma pop_macro("TTDT_INITIAL")
#pragma pop_macro("TTI_NONE")
#pragma pop_macro("TTI_INFO")
#pragma pop_macro("TTI_WARNING")
#pragma pop_macro("TTI_ERROR")
#pragma pop_macro("TOOLINFOA")
#pragma pop_macro("TTTOOLINFOA_V1_SIZE")
