// The update window as a Win32 window under Wine: every control of the form is a child window
// that follows the form model, the buttons, the check box and the close box reach the form's
// handlers, an end raised inside the window procedure waits for the program, and the progress
// bar shows its GDI surface in its window shape. Writes a picture of the window for the README.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/gdi/win32_bridge.h"
#include "platform/runtime/error.h"
#include "platform/runtime/property_bag.h"
#include "png_reader_win32.h"
#include "updater/update_window_win32.h"

namespace meridox {
namespace {

HWND asHwnd(std::uintptr_t h) { return reinterpret_cast<HWND>(h); }

std::wstring textOf(std::uintptr_t h) {
  wchar_t buffer[512] = {};
  GetWindowTextW(asHwnd(h), buffer, 512);
  return buffer;
}

void pumpFor(DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (static_cast<LONG>(until - GetTickCount()) > 0);
}

int clientHeight(std::uintptr_t h) {
  RECT r;
  GetClientRect(asHwnd(h), &r);
  return r.bottom;
}

struct Fixture {
  Fixture() : bar(site, 464, 24) {
    bar.InitProperties();
    bar.Theme(4);
    bar.TextStyle(2);
    bar.Value(100);
  }
  veltrano::RecordingSite site{"SP_PB"};
  UpdateForm form;
  ProgressBar bar;
  int yes = 0;
  std::vector<int> unloads;
};

TEST(UpdateWindowWin32, ControlsFollowTheFormAndReachItsHandlers) {
  Fixture f;
  UpdateWindowWin32 view(f.form, f.bar,
                         {[&] { ++f.yes; }, [] { throw veltrano::ProgramEnd(2); },
                          [&](int mode) {
                            f.unloads.push_back(mode);
                            return true;
                          }});
  f.form.Show();
  pumpFor(100);
  ASSERT_TRUE(IsWindowVisible(asHwnd(view.handle())));
  EXPECT_EQ(textOf(view.handle()), L"Tarvic Product Auto Update [Veltrano Only]");
  for (const FormControl* c : f.form.controls()) EXPECT_NE(view.controlHandle(c->Name()), 0u) << c->Name();
  EXPECT_EQ(textOf(view.controlHandle("Com_Yes")), L"업데이트");
  EXPECT_EQ(textOf(view.controlHandle("Com_Cancel")), L"취 소");
  EXPECT_TRUE(IsWindowVisible(asHwnd(view.controlHandle("Com_Cancel"))));

  // The option frame starts hidden with its controls, and what lies below it moves up.
  EXPECT_FALSE(IsWindowVisible(asHwnd(view.controlHandle("CHK_DNALL"))));
  EXPECT_EQ(clientHeight(view.handle()), UpdateForm::kHeight - (f.form.Frame2.Top() - f.form.FRM_FLAME.Top()));
  f.form.FRM_FLAME.Visible(true);
  EXPECT_TRUE(IsWindowVisible(asHwnd(view.controlHandle("CHK_DNALL"))));
  EXPECT_EQ(clientHeight(view.handle()), UpdateForm::kHeight);

  f.form.LB_SETUPLIST.Caption("1. 물류관리\n2. 차량관리");
  EXPECT_EQ(textOf(view.controlHandle("LB_SETUPLIST")), L"1. 물류관리\r\n2. 차량관리");
  f.form.STAT[0].Visible(false);
  f.form.STAT[3].Visible(true);
  EXPECT_FALSE(IsWindowVisible(asHwnd(view.controlHandle("STAT(0)"))));
  EXPECT_TRUE(IsWindowVisible(asHwnd(view.controlHandle("STAT(3)"))));

  SendMessageW(asHwnd(view.controlHandle("Com_Yes")), BM_CLICK, 0, 0);
  EXPECT_EQ(f.yes, 1);
  SendMessageW(asHwnd(view.controlHandle("CHK_DNALL")), BM_CLICK, 0, 0);
  EXPECT_EQ(f.form.CHK_DNALL.Value(), 1);

  SendMessageW(asHwnd(view.handle()), WM_CLOSE, 0, 0);  // the close box is refused
  EXPECT_EQ(f.unloads, std::vector<int>{0});
  EXPECT_TRUE(IsWindow(asHwnd(view.handle())));

  SendMessageW(asHwnd(view.controlHandle("Com_Cancel")), BM_CLICK, 0, 0);
  EXPECT_EQ(view.pendingEnd(), std::optional<int>(2));
  EXPECT_THROW(view.throwPendingEnd(), veltrano::ProgramEnd);
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(UpdateWindowWin32, ProgressBarShowsItsSurfaceInItsShapeAndThePictureIsWritten) {
  Fixture f;
  UpdateWindowWin32 view(f.form, f.bar, {});
  // The listing, as a run shows it.
  f.form.LB_SUBMAIN.Caption("Meridox 1.0.0 : 설치된 제품을 확인했습니다.");
  f.form.LB_SETUPLIST.Caption("1. Tarvic 2004 물류관리 (TARVIC2004)\r\n2. Tarvic 차량관리 (CORVAN)");
  f.form.FRM_FLAME.Visible(true);
  f.form.STAT[0].Visible(false);
  f.form.STAT[2].Visible(true);
  f.form.Show();
  f.bar.Value(60);
  pumpFor(300);

  HWND barWindow = asHwnd(view.controlHandle("SP_PB"));
  HRGN shown = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(barWindow, shown), ERROR);
  HRGN expected = veltrano::gdi::nativeRegion(f.bar.windowRegion());
  HRGN difference = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(difference, shown, expected, RGN_XOR), NULLREGION);
  for (HRGN r : {shown, expected, difference}) DeleteObject(r);

  const std::filesystem::path picture = VELTRANO_SCREENSHOT;
  std::filesystem::create_directories(picture.parent_path());
  ASSERT_TRUE(view.saveScreenshot(picture.string()));
  const auto read = gallery::readPng(picture.string());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->width, UpdateForm::kWidth);
  // Pixels of the bar, inside its shape, as the surface holds them.
  const Rect& at = UpdateForm::kProgressBarRect;
  for (int x : {3, 100, 300, 460})
    for (int y : {2, 12, 21}) {
      const auto c = f.bar.surface().pixel(x, y);
      const std::uint32_t expectedPixel = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
      EXPECT_EQ(read->at(at.left + x, at.top + y), expectedPixel) << x << "," << y;
    }
}

}  // namespace
}  // namespace meridox
