#include "raw_win32.h"

#include <windows.h>

#include "platform/text/wide.h"

namespace veltrano::test {

std::optional<std::string> rawCurrentUserString(const std::string& path, const std::string& name) {
  wchar_t buffer[512];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, text::widen(path).c_str(), text::widen(name).c_str(), RRF_RT_REG_SZ, nullptr,
                   buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring_view value(buffer, size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.remove_suffix(1);  // the terminator, if stored
  return text::narrow(value);
}

namespace {
HANDLE g_held = INVALID_HANDLE_VALUE;
}  // namespace

bool holdOpen(const std::string& path) {
  closeHeld();
  g_held = CreateFileW(text::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  return g_held != INVALID_HANDLE_VALUE;
}

void closeHeld() {
  if (g_held != INVALID_HANDLE_VALUE) CloseHandle(g_held);
  g_held = INVALID_HANDLE_VALUE;
}

bool pressWhenShown(const std::string& title, int button, int editId, const std::string& text) {
  // The box counts as shown once it is visible: its dialog procedure has filled it by then, so
  // the text put in the edit field stays. The button is pressed by the command it sends, which
  // does not depend on the box being active, as a click message does.
  // Up to a minute: under Wine on a loaded machine a box can take many seconds to show, and a
  // box never pressed waits until the test's own time limit.
  for (int i = 0; i < 6000; ++i) {
    HWND box = FindWindowW(L"#32770", text::widen(title).c_str());
    if (box && IsWindowVisible(box)) {
      if (editId) SetDlgItemTextW(box, editId, text::widen(text).c_str());
      HWND b = GetDlgItem(box, button);
      if (!b) return false;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(b));
      return true;
    }
    Sleep(10);
  }
  return false;
}

}  // namespace veltrano::test
