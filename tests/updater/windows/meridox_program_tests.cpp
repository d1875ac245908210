// The updater program itself, meridox.exe, started as a process under Wine: runs that need no
// query service, unattended (boxes answered from VELTRANO_ANSWERS and logged to
// VELTRANO_UI_LOG) and on screen, driven as a person would through its window and boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/text/wide.h"
#include "support/http_test_server.h"
#include "support/test_support.h"
#include "support/windows_programs.h"

namespace {

namespace fs = std::filesystem;
namespace test = veltrano::test;

// Runs meridox.exe with `command` as its command text; its exit code, or -1 when it did not
// end within 60 s (it is then ended).
long runMeridox(const std::string& command) {
  return test::runAndWait(L"\"" + test::besideThisProgram(L"meridox.exe").wstring() + L"\" " +
                          veltrano::text::widen(command));
}

TEST(MeridoxProgram, UnreachableQueryServiceEndsTheAutomaticRunWithTheNotInstalledBox) {
  test::TempDir dir;
  const fs::path uiLog = dir / "ui.log";
  test::ScopedEnv host("VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
  test::ScopedEnv answers("VELTRANO_ANSWERS", "OK");
  test::ScopedEnv log("VELTRANO_UI_LOG", uiLog.string());

  EXPECT_EQ(runMeridox("TARVIC,x"), 1);
  const std::string boxes = test::readFile(uiLog);
  EXPECT_NE(boxes.find("MsgBox\t미설치제품\t"), std::string::npos) << boxes;
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), '\n'), 1) << boxes;
}

// meridox.exe started on screen (no VELTRANO_ANSWERS), ended when the object goes.
class OnScreenMeridox {
 public:
  explicit OnScreenMeridox(const std::string& command) {
    std::wstring line =
        L"\"" + test::besideThisProgram(L"meridox.exe").wstring() + L"\" " + veltrano::text::widen(command);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
  }
  ~OnScreenMeridox() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
    CloseHandle(process_);
  }
  OnScreenMeridox(const OnScreenMeridox&) = delete;
  OnScreenMeridox& operator=(const OnScreenMeridox&) = delete;

  // A window of the program with this class and title once it is on screen (waited for up to
  // 20 s), else nullptr.
  HWND shown(const wchar_t* cls, const wchar_t* title) const {
    for (int i = 0; i < 2000 && process_; ++i, Sleep(10)) {
      for (HWND w = FindWindowExW(nullptr, nullptr, cls, title); w; w = FindWindowExW(nullptr, w, cls, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid_ && IsWindowVisible(w)) return w;
      }
    }
    return nullptr;
  }
  HWND window() const { return shown(nullptr, L"Tarvic Product Auto Update [Veltrano Only]"); }

  // The exit code once the program has ended within `ms`; -1 while it runs.
  long exitCode(DWORD ms) const {
    DWORD code = 0;
    if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code))
      return -1;
    return static_cast<long>(code);
  }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// Presses a button the way a click reaches its window: the command with the button's id.
void press(HWND parent, HWND button) {
  PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

struct MeridoxOnScreen : ::testing::Test {
  test::TempDir dir;
  test::ScopedRegistry store;
  test::ScopedEnv host{"VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort())};
  test::ScopedEnv log{"VELTRANO_UI_LOG", (dir / "ui.log").string()};
  void SetUp() override {
    if (std::getenv("VELTRANO_ANSWERS")) GTEST_SKIP() << "an unattended run: no window is shown";
  }
};

TEST_F(MeridoxOnScreen, ABoxOfTheRunIsOwnedByTheWindowAndModalToIt) {
  OnScreenMeridox meridox("TARVIC,x");  // the run starts at once and finds no installed product
  const HWND window = meridox.window();
  const HWND box = meridox.shown(L"#32770", L"미설치제품");
  ASSERT_NE(window, nullptr);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), window);
  EXPECT_FALSE(IsWindowEnabled(window));
  press(box, GetDlgItem(box, IDOK));
  EXPECT_EQ(meridox.exitCode(20000), 1);
}

TEST_F(MeridoxOnScreen, TheListingWindowRefusesItsCloseBoxAndEndsByItsCancelButton) {
  OnScreenMeridox meridox("");  // nothing listed: the query service cannot be reached
  const HWND window = meridox.window();
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  press(window, FindWindowExW(window, nullptr, L"BUTTON", L"업데이트"));  // an empty list: nothing to do
  EXPECT_EQ(meridox.exitCode(1500), -1);
  EXPECT_TRUE(IsWindowVisible(window));
  press(window, FindWindowExW(window, nullptr, L"BUTTON", L"취 소"));
  EXPECT_EQ(meridox.exitCode(20000), 0);
  EXPECT_EQ(test::readFile(dir / "ui.log"), "") << "no box";
}

}  // namespace
