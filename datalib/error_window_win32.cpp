// The error window as a Win32 window of the library's own class, with its own message loop.
#include <windows.h>

#include "error_window.h"
#include "platform/text/wide.h"

namespace lumadata {

namespace {

// Any key pressed while the window itself has the focus closes it; keys typed into the text box
// go to the box's own window procedure and never reach this one.
LRESULT CALLBACK DebugWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_KEYDOWN:
      PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The module (this DLL, or the program the library's code is linked into) that owns the class.
HINSTANCE libraryInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&DebugWndProc), &module);
  return module;
}

// A multi-line edit box breaks lines at CR LF only; a reply's bare LF would show as one line.
std::wstring withWindowsLineBreaks(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
    out += text[i];
  }
  return out;
}

}  // namespace

void runErrorWindow(const std::string& text) {
  const HINSTANCE instance = libraryInstance();
  const std::wstring className = veltrano::text::widen(kErrorWindowClass);
  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DebugWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = className.c_str();
  RegisterClassW(&wc);  // fails harmlessly when an earlier call registered it

  const HWND window = CreateWindowExW(0, className.c_str(), veltrano::text::widen(kErrorWindowTitle).c_str(),
                                      WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, CW_USEDEFAULT, CW_USEDEFAULT, 620, 420,
                                      nullptr, nullptr, instance, nullptr);
  // Without a window no quit message would ever come: there is nothing to wait for.
  if (!window) return;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetFocus(window);
  const HWND box = CreateWindowExW(WS_EX_STATICEDGE | WS_EX_TRANSPARENT, L"edit",
                                   withWindowsLineBreaks(veltrano::text::widen(text)).c_str(),
                                   WS_CHILD | WS_VSCROLL | ES_MULTILINE, 5, 5, 600, 400, window, nullptr, instance, nullptr);
  ShowWindow(box, SW_SHOW);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace lumadata
