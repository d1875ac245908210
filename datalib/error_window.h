#pragma once
// The error window of the data library (module Mod_DebugSupporter): a plain window titled
// "오류 알림 [debug supporter]" with a text box holding a server's error reply. The caller
// waits until the user closes it (close box, or any key pressed while the window itself has
// the focus; keys typed into the text box stay there).
//
// Under the scripted user interface (tests, unattended runs) the window is recorded as kind
// "ErrorWindow" with its title and text and closed at once.

#include <string>
#include <string_view>

namespace lumadata {

inline constexpr const char* kErrorWindowTitle = "오류 알림 [debug supporter]";
inline constexpr const char* kErrorWindowClass = "debug supporter";

void ShowErrorWindow(std::string_view text);

// The window itself, shown and waited for: a Qt widget on Linux (error_window_qt.cpp), a
// window of the Win32 class "debug supporter" on Windows (error_window_win32.cpp).
void runErrorWindow(const std::string& text);

}  // namespace lumadata
