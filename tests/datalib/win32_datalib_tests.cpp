// The data library's Windows parts: notices as real WM_COPYDATA to a window of another thread,
// the error window of the Win32 class, and a transaction to a server that cannot be reached.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datalib_fixture.h"
#include "error_window.h"
#include "lumadata/vbf.h"
#include "notify_monitor.h"
#include "platform/text/wide.h"
#include "platform/ui/user_interface.h"
#include "platform/ui/win32_ui.h"

// After the project's headers: winmsg.h names WM_COPYDATA, which windows.h makes a macro.
#include <windows.h>

using namespace veltrano;

namespace {

// A plain top-level window of its own class titled as the monitor, on a thread of its own,
// recording what each WM_COPYDATA carries.
class RawMonitorWindow {
 public:
  struct Received {
    WPARAM wParam;
    ULONG_PTR dwData;
    DWORD cbData;
    std::string bytes;  // cbData bytes from lpData
  };

  RawMonitorWindow() {
    std::promise<HWND> made;
    auto future = made.get_future();
    thread_ = std::thread([this, &made] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &RawMonitorWindow::proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"test monitor";
      RegisterClassW(&wc);
      HWND w = CreateWindowExW(0, wc.lpszClassName, text::widen(lumadata::kMonitorTitle).c_str(), WS_OVERLAPPED, 0, 0,
                               10, 10, nullptr, nullptr, wc.hInstance, nullptr);
      SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      made.set_value(w);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    window_ = future.get();
  }
  ~RawMonitorWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<RawMonitorWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (m == WM_COPYDATA && self) {
      const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->received_.push_back({wp, cds->dwData, cds->cbData, std::string(static_cast<const char*>(cds->lpData), cds->cbData)});
      return 1;
    }
    if (m == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(w, m, wp, lp);
  }

  HWND window_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Received> received_;
};

TEST(Win32MonitorNotice, ArrivesAsCopyDataWithCp949BytesAndItsTerminatorCounted) {
  lumadata::NotifyMonitor("TR_OPEN|");  // no monitor window yet: nothing happens, nothing fails
  RawMonitorWindow monitor;
  lumadata::NotifyMonitor("TR_OPEN|");
  lumadata::NotifyMonitor("TR_ERR|1|가");
  const auto got = monitor.received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].wParam, 1u);
  EXPECT_EQ(got[0].dwData, 4000u);
  EXPECT_EQ(got[0].cbData, 9u);
  EXPECT_EQ(got[0].bytes, std::string("TR_OPEN|\0", 9));
  EXPECT_EQ(got[1].cbData, 12u);
  EXPECT_EQ(got[1].bytes, std::string("TR_ERR|1|\xB0\xA1\0", 12));
}

// The error window of the class "debug supporter", found by its title from another thread.
HWND waitForErrorWindow() {
  for (int i = 0; i < 1000; ++i) {
    if (HWND w = FindWindowW(text::widen(lumadata::kErrorWindowClass).c_str(), text::widen(lumadata::kErrorWindowTitle).c_str()))
      return w;
    Sleep(10);
  }
  return nullptr;
}

TEST(Win32ErrorWindow, AKeyOnTheWindowClosesItAndKeysInTheTextBoxStayThere) {
  struct Seen {
    bool found = false, box = false, openAfterTyping = false;
    RECT client{};
    LONG style = 0, boxStyle = 0, boxExStyle = 0;
    std::wstring text, typed;
  } seen;
  std::thread user([&] {
    HWND w = waitForErrorWindow();
    if (!w) return;
    seen.found = true;
    seen.style = GetWindowLongW(w, GWL_STYLE);
    HWND box = nullptr;  // made just after the window
    for (int i = 0; i < 500 && !(box = FindWindowExW(w, nullptr, L"edit", nullptr)); ++i) Sleep(10);
    if (box) {
      seen.box = true;
      seen.boxStyle = GetWindowLongW(box, GWL_STYLE);
      seen.boxExStyle = GetWindowLongW(box, GWL_EXSTYLE);
      GetWindowRect(box, &seen.client);
      MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&seen.client), 2);
      wchar_t buf[256] = {};
      GetWindowTextW(box, buf, 256);
      seen.text = buf;
      // Typing into the box after a click: the keys go to the box, the window stays.
      SendMessageW(box, WM_SETFOCUS, 0, 0);
      SendMessageW(box, EM_SETSEL, 0, 0);
      for (UINT key : {UINT('A'), UINT(VK_ESCAPE), UINT(VK_F5)}) SendMessageW(box, WM_KEYDOWN, key, 0);
      SendMessageW(box, WM_CHAR, L'a', 0);
      Sleep(200);
      seen.openAfterTyping = IsWindow(w);
      GetWindowTextW(box, buf, 256);
      seen.typed = buf;
    }
    PostMessageW(w, WM_KEYDOWN, VK_SPACE, 0);  // a key on the window itself closes it
  });
  ui::Win32Ui win32;
  ui::ScopedUi scope(win32);
  lumadata::ShowErrorWindow("500 Internal Server Error\n<html>");
  user.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.style & 0x00CC0000, 0x00CC0000);
  ASSERT_TRUE(seen.box);
  EXPECT_EQ(seen.boxStyle & 0x40200004, 0x40200004);
  EXPECT_EQ(seen.boxExStyle & 0x00020020, 0x00020020);
  EXPECT_EQ(seen.client.left, 5);
  EXPECT_EQ(seen.client.top, 5);
  EXPECT_EQ(seen.client.right - seen.client.left, 600);
  EXPECT_EQ(seen.client.bottom - seen.client.top, 400);
  EXPECT_EQ(seen.text, L"500 Internal Server Error\r\n<html>");
  EXPECT_TRUE(seen.openAfterTyping);
  EXPECT_EQ(seen.typed, L"a500 Internal Server Error\r\n<html>");
  EXPECT_FALSE(FindWindowW(text::widen(lumadata::kErrorWindowClass).c_str(), nullptr));
}

TEST(Win32Transaction, AServerThatCannotBeReachedIsAnnouncedShownEmptyAndGivesNoObject) {
  datalib_test::Fixture f;
  ASSERT_TRUE(f.monitor.up());
  // Port 1 of loopback: nothing listens there.
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:1");
  {
    lumadata::VBF db;
    db.DB_OPEN("tarvic");
    db.DB_ADD("SELECT 1");
    std::int16_t fine = 0;
    EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
    EXPECT_EQ(fine, 0);
  }
  ASSERT_EQ(f.errorWindows().size(), 1u);
  EXPECT_EQ(f.errorWindows()[0].text, "");
  const auto notices = f.monitor.notices();
  ASSERT_EQ(notices.size(), 5u) << ::testing::PrintToString(notices);
  EXPECT_EQ(notices[0], "TR_OPEN|");
  EXPECT_EQ(notices[1].rfind("TR_START|", 0), 0u);
  EXPECT_EQ(notices[2], "TR_WAIT|" + notices[1].substr(9));
  EXPECT_EQ(notices[3], "TR_RECVED|");
  EXPECT_EQ(notices[4], "TR_COMPLETE|");  // the object's end
}

}  // namespace
