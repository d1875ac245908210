// The tooltip on Windows is the common controls' own window: made with the balloon style the
// system asks for, holding the tool text and title it was sent in code page 949, and shown by
// the control when the mouse rests on the tool window. windows.h comes first on purpose: the
// tooltip header must stand after it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text/ansi.h"
#include "platform/tooltip/tooltip.h"
#include "support/test_support.h"

namespace veltrano::tooltip {
namespace {

LRESULT CALLBACK plainWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

// A visible top-level window for the tool, as a product program's control would be.
HWND makeToolWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = plainWindow;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VeltranoTooltipTool";
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"tool", WS_POPUP | WS_VISIBLE | WS_BORDER, 200, 200, 240, 80,
                           nullptr, nullptr, wc.hInstance, nullptr);
  UpdateWindow(w);
  return w;
}

void pumpFor(DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  MSG msg;
  while (static_cast<LONG>(until - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

TEST(TooltipOnWindows, BalloonWithTitleAndTextShowsOverItsTool) {
  InitCommonControls();
  HWND toolWindow = makeToolWindow();
  ASSERT_NE(toolWindow, nullptr);
  const auto tool = static_cast<Hwnd>(reinterpret_cast<UINT_PTR>(toolWindow));

  const std::int32_t zero = 0;
  const Hwnd tip = CreateWindowExA(0, "tooltips_class32", nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, 0x10000000u, &zero);
  ASSERT_NE(tip, 0u);
  HWND real = reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(tip)));
  wchar_t className[64] = {};
  GetClassNameW(real, className, 64);
  EXPECT_EQ(_wcsicmp(className, L"tooltips_class32"), 0);
  EXPECT_NE(GetWindowLongW(real, GWL_STYLE) & TTS_BALLOON, 0);

  const std::string text = text::toAnsiString("파일을 받는 중입니다"), title = text::toAnsiString("알림");
  ToolRecord record;
  record.cbSize = TTTOOLINFOA_V1_SIZE;
  record.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  record.hwnd = tool;
  record.uId = tool;
  record.lpszText = text.c_str();
  EXPECT_NE(SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<std::intptr_t>(&record)), 0);
  // The control makes room for the title and its icon.
  TTTOOLINFOW asked{};
  asked.cbSize = sizeof asked;
  asked.hwnd = toolWindow;
  asked.uId = reinterpret_cast<UINT_PTR>(toolWindow);
  const auto bubble = [&] { return static_cast<DWORD>(SendMessageW(real, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&asked))); };
  const DWORD withoutTitle = bubble();
  SendMessageA(tip, TTM_SETTITLEA, TTI_INFO, reinterpret_cast<std::intptr_t>(title.c_str()));
  EXPECT_GT(HIWORD(bubble()), HIWORD(withoutTitle));
  SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 50);

  auto state = tipState(tip);
  ASSERT_TRUE(state.has_value());
  EXPECT_TRUE(state->balloon);
  EXPECT_EQ(state->tools, 1u);
  EXPECT_EQ(state->shownText, "파일을 받는 중입니다");
  EXPECT_EQ(state->initialMs, 50);

  // The mouse comes to rest on the tool; the control shows the tip after its delay.
  ::RECT r;
  GetWindowRect(toolWindow, &r);
  const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  SetCursorPos(x, y);
  PostMessageW(toolWindow, WM_MOUSEMOVE, 0, MAKELPARAM(x - r.left, y - r.top));
  for (int i = 0; i < 100 && !tipState(tip)->visible; ++i) pumpFor(30);
  EXPECT_TRUE(tipState(tip)->visible);
  test::TempDir dir;
  EXPECT_TRUE(grabTip(tip, (dir / "tip.png").string()));
  EXPECT_GT(std::filesystem::file_size(dir / "tip.png"), 0u);

  EXPECT_TRUE(DestroyWindow(tip));
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(SendMessageA(tip, TTM_SETTITLEA, TTI_INFO, reinterpret_cast<std::intptr_t>(title.c_str())), 0);
  EXPECT_FALSE(messageLog().back().delivered);
  ::DestroyWindow(toolWindow);
}

}  // namespace
}  // namespace veltrano::tooltip
