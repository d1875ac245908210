// The user interface for people on Windows, answered by a thread that acts as the user.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "platform/ui/win32_ui.h"
#include "raw_win32.h"
#include "support/test_support.h"

namespace veltrano::ui {
namespace {

constexpr int kYes = 6, kOk = 1, kCancel = 2, kEdit = 101;

TEST(Win32Ui, BoxesAnswerWhatThePersonPressedAndAreLogged) {
  test::TempDir dir;
  test::ScopedEnv log("VELTRANO_UI_LOG", (dir / "ui.log").string());
  Win32Ui ui;
  auto user = std::async(std::launch::async, [] { return test::pressWhenShown("확인 요청", kYes); });
  EXPECT_EQ(ui.messageBox(MessageBoxSpec::fromStyle("파일을 받을까요?", vbYesNo + vbQuestion, "확인 요청")), Answer::Yes);
  EXPECT_TRUE(user.get());

  user = std::async(std::launch::async, [] { return test::pressWhenShown("번호", kOk, kEdit, "02-123-4567"); });
  EXPECT_EQ(ui.inputBox({"전화번호를 넣으세요", "번호", "010"}), std::optional<std::string>("02-123-4567"));
  EXPECT_TRUE(user.get());

  user = std::async(std::launch::async, [] { return test::pressWhenShown("번호", kCancel); });
  EXPECT_EQ(ui.inputBox({"전화번호를 넣으세요", "번호", "010"}), std::nullopt);
  EXPECT_TRUE(user.get());

  const std::string logged = test::readFile(dir / "ui.log");
  EXPECT_NE(logged.find("파일을 받을까요?"), std::string::npos);
  EXPECT_NE(logged.find("Input:02-123-4567"), std::string::npos);
}

TEST(Win32Ui, BoxesAreOwnedByTheMainWindowWhileItIsOnScreen) {
  HWND main = CreateWindowExW(0, L"STATIC", L"업데이트", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(main, nullptr);
  Win32Ui ui;
  ui.setOwnerWindow(reinterpret_cast<std::uintptr_t>(main));
  EXPECT_NE(ui.ownerOfNextBox(), reinterpret_cast<std::uintptr_t>(main)) << "not while it is hidden";

  ShowWindow(main, SW_SHOWNOACTIVATE);  // shown, but not the active window
  // The user's side: the box's owner, and whether the main window took input while it showed.
  struct Seen {
    HWND owner = nullptr;
    bool mainEnabled = true;
  };
  auto user = std::async(std::launch::async, [] {
    Seen seen;
    for (int i = 0; i < 1000 && !seen.owner; ++i, Sleep(10))
      if (HWND box = FindWindowW(L"#32770", L"소유 확인"); box && IsWindowVisible(box)) {
        seen.owner = GetWindow(box, GW_OWNER);
        seen.mainEnabled = IsWindowEnabled(seen.owner) != FALSE;
      }
    test::pressWhenShown("소유 확인", kOk);
    return seen;
  });
  EXPECT_EQ(ui.messageBox(MessageBoxSpec::fromStyle("창 위에 뜹니다", vbOKOnly, "소유 확인")), Answer::OK);
  const Seen seen = user.get();
  EXPECT_EQ(seen.owner, main);
  EXPECT_FALSE(seen.mainEnabled) << "the box is modal to the window";
  EXPECT_TRUE(IsWindowEnabled(main));
  DestroyWindow(main);
  EXPECT_NE(ui.ownerOfNextBox(), reinterpret_cast<std::uintptr_t>(main));
}

TEST(Win32Ui, IsTheDefaultUnlessAnUnattendedRunGivesAnswers) {
  if (std::getenv("VELTRANO_ANSWERS")) GTEST_SKIP() << "an unattended run: the scripted default answers";
  // A library in a program that installs no interface shows its boxes to the person.
  EXPECT_NE(dynamic_cast<Win32Ui*>(&current()), nullptr);
}

TEST(Win32Ui, FilterListInTheCommonDialogsForm) {
  EXPECT_EQ(commonDialogFilter("Excel (*.xls)|*.xls|All|*.*"), std::wstring(L"Excel (*.xls)\0*.xls\0All\0*.*\0\0", 29));
  EXPECT_EQ(commonDialogFilter(""), L"");
}

}  // namespace
}  // namespace veltrano::ui
