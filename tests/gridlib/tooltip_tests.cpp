// TOOLTIP: the messages it sends in each state, and the tip the platform shows for them: on
// Linux the Qt tip on the project's clock, on Windows the common controls' own on the system's
// timers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <windows.h>
// The cases name platform/tooltip's constant, not the macro of the same value.
#undef CW_USEDEFAULT
#else
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#endif

#include "support/test_support.h"
#include "lumagrid/tooltip.h"
#include "platform/runtime/clock.h"
#include "platform/text/ansi.h"
#include "platform/tooltip/tooltip.h"
#include "platform/ui/scripted_ui.h"

namespace {

namespace tt = veltrano::tooltip;
namespace ui = veltrano::ui;
using lumagrid::TOOLTIP;

#ifdef _WIN32

// A top-level window of its own class standing for the tool, 200 x 80 at the top of the screen
// (so that a balloon opens below the mouse with its stem on top) and topmost; its handle is the
// window's own.
class ToolWindow {
 public:
  ToolWindow() {
    static const ATOM cls = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
      wc.lpszClassName = L"tooltip test tool";
      return RegisterClassW(&wc);
    }();
    window_ = CreateWindowExW(WS_EX_TOPMOST, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(cls)), L"tool",
                              WS_POPUP, 100, 0, 200, 80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    // Shown without activation, as the tip is: Wine then leaves it out of window management and
    // need not wait for a window manager when it goes.
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    pumpFor(0);
  }
  ~ToolWindow() { DestroyWindow(window_); }
  ui::Hwnd hwnd() const { return static_cast<ui::Hwnd>(reinterpret_cast<UINT_PTR>(window_)); }
  // The mouse comes to rest on the window: the cursor is put there and the window told of it.
  void hover() {
    SetCursorPos(110, 10);
    SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  }
  void leave() {
    SetCursorPos(600, 500);
    SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(500, 400));
  }
  // Handles this thread's messages for `ms` milliseconds of real time.
  static void pumpFor(int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
  }

 private:
  HWND window_ = nullptr;
};

#else

// A 200 x 80 widget standing for the tool, with a handle from the platform's window map.
class ToolWindow {
 public:
  ToolWindow() {
    widget_->resize(200, 80);
    hwnd_ = ui::registerWindow(widget_.get());
  }
  ~ToolWindow() { ui::unregisterWindow(hwnd_); }
  ui::Hwnd hwnd() const { return hwnd_; }
  QWidget& widget() { return *widget_; }
  void hover() {
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(110, 110));
    QCoreApplication::sendEvent(widget_.get(), &enter);
  }
  void leave() {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget_.get(), &leave);
  }

 private:
  std::unique_ptr<QWidget> widget_ = std::make_unique<QWidget>();
  ui::Hwnd hwnd_ = 0;
};

#endif

// Each test gets a fresh log, a scripted interface, a manual clock and a tool window with a
// handle.
class TooltipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tt::clearMessageLog();
    tool_ = std::make_unique<ToolWindow>();
    hwnd_ = tool_->hwnd();
  }
  void TearDown() override {
    tool_.reset();
    tt::clearMessageLog();
  }

  std::vector<tt::LoggedCall> messages() const {
    std::vector<tt::LoggedCall> out;
    for (const auto& c : tt::messageLog())
      if (c.call == "SendMessageA") out.push_back(c);
    return out;
  }
  std::vector<tt::LoggedCall> calls(const std::string& name) const {
    std::vector<tt::LoggedCall> out;
    for (const auto& c : tt::messageLog())
      if (c.call == name) out.push_back(c);
    return out;
  }
  ui::Hwnd tooltipWindow() const {
    auto created = calls("CreateWindowExA");
    EXPECT_FALSE(created.empty()) << "no window was created since the log was cleared";
    return created.empty() ? 0 : created.back().hwnd;
  }
  // The tip of the timing cases: shown 300 ms after the hover, for 2 s. Returns its window.
  ui::Hwnd createTimedTip(TOOLTIP& tip) {
    tip.TipText("운임 합계");
    tip.DelayTime(300);
    tip.VisibleTime(2000);
    tip.Create(static_cast<std::int32_t>(hwnd_));
    return tooltipWindow();
  }
  void hover() { tool_->hover(); }
  // Lets `ms` pass: on the project's clock for the Qt tip, in real time for the Windows one.
  void wait(std::int64_t ms) {
#ifdef _WIN32
    ToolWindow::pumpFor(static_cast<int>(ms));
#else
    clock_.advance(ms);
    fake_.pump();
#endif
  }
  // Rests the mouse on the tool until the tip shows, `delayMs` later on the project's clock, or
  // within 10 seconds of real time on Windows; true when it shows.
  bool hoverUntilShown(ui::Hwnd window, std::int64_t delayMs) {
    hover();
#ifdef _WIN32
    (void)delayMs;
    for (int i = 0; i < 200 && !tt::tipState(window)->visible; ++i) wait(50);
#else
    wait(delayMs);
#endif
    return tt::tipState(window)->visible;
  }

  veltrano::ManualClock clock_;
  veltrano::ScopedClock clockScope_{clock_};
  ui::ScriptedUi fake_;
  ui::ScopedUi uiScope_{fake_};
  std::unique_ptr<ToolWindow> tool_;
  ui::Hwnd hwnd_ = 0;
};

TEST_F(TooltipTest, NewObjectDefaultsAndOnlyInitialisesControls) {
  TOOLTIP tip;
  EXPECT_EQ(tip.VisibleTime(), 5000);
  EXPECT_EQ(tip.DelayTime(), 200);
  EXPECT_EQ(tip.Style(), lumagrid::TTStandard);
  EXPECT_EQ(tip.Icon(), lumagrid::TTNoIcon);
  EXPECT_EQ(tip.Title(), "");
  EXPECT_EQ(tip.TipText(), "");
  EXPECT_EQ(tip.Centered(), lumagrid::VARIANT_FALSE);
  EXPECT_EQ(tip.ForeColor(), 0);
  EXPECT_EQ(tip.BackColor(), 0);
  ASSERT_EQ(tt::messageLog().size(), 1u);
  EXPECT_EQ(tt::messageLog()[0].call, "InitCommonControls");
}

TEST_F(TooltipTest, PropertiesBeforeCreateOnlyStore) {
  TOOLTIP tip;
  tip.Title("안내");
  tip.Icon(lumagrid::TTIconWarning);
  tip.ForeColor(255);
  tip.BackColor(0xFFFFE1);
  tip.TipText("조회");
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(tip.Title(), "안내");
  EXPECT_EQ(tip.TipText(), "조회");
}

TEST_F(TooltipTest, CreateStandardSendsToolAndDelaysAndReturnsFalse) {
  TOOLTIP tip;
  tip.TipText("거래처 조회");
  EXPECT_EQ(tip.Create(static_cast<std::int32_t>(hwnd_)), lumagrid::VARIANT_FALSE);

  auto created = calls("CreateWindowExA");
  ASSERT_EQ(created.size(), 1u);
  const auto& c = created[0];
  EXPECT_EQ(c.className, "tooltips_class32");
  EXPECT_EQ(c.style, 3u);
  EXPECT_EQ(c.exStyle, 0u);
  EXPECT_EQ(c.x, tt::CW_USEDEFAULT);
  EXPECT_EQ(c.height, tt::CW_USEDEFAULT);
  EXPECT_EQ(c.parent, 0u);
  EXPECT_NE(c.instance, 0u);
  ASSERT_NE(c.hwnd, 0u);

  auto sent = messages();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].msg, 1028u);
  ASSERT_TRUE(sent[0].tool.has_value());
  EXPECT_EQ(sent[0].tool->cbSize, 44u);
  EXPECT_EQ(sent[0].tool->uFlags, 17u);
  EXPECT_EQ(sent[0].tool->hwnd, hwnd_);
  EXPECT_EQ(sent[0].tool->uId, hwnd_);
  EXPECT_EQ(sent[0].tool->hinst, c.instance);
  EXPECT_EQ(sent[0].text, veltrano::text::toAnsiString("거래처 조회"));
  EXPECT_TRUE(sent[0].delivered);
  EXPECT_EQ(sent[1].msg, 1027u);
  EXPECT_EQ(sent[1].wParam, 2u);
  EXPECT_EQ(sent[1].lParam, 5000);
  EXPECT_EQ(sent[2].msg, 1027u);
  EXPECT_EQ(sent[2].wParam, 3u);
  EXPECT_EQ(sent[2].lParam, 200);

  auto state = tt::tipState(c.hwnd);
  ASSERT_TRUE(state);
  EXPECT_FALSE(state->balloon);
  EXPECT_EQ(state->autoPopMs, 5000);
  EXPECT_EQ(state->initialMs, 200);
  EXPECT_EQ(state->tools, 1u);
}

TEST_F(TooltipTest, BalloonCentredUsesStyle67AndFlags19WithTitleAndColours) {
  TOOLTIP tip;
  tip.Style(lumagrid::TTBalloon);
  tip.Centered(true);
  tip.Title("도움말");
  tip.ForeColor(0x0000FF);
  tip.BackColor(0xE1FFFF);
  tip.VisibleTime(8000);
  tip.DelayTime(50);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  EXPECT_EQ(calls("CreateWindowExA").at(0).style, 67u);
  auto sent = messages();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[0].tool->uFlags, 19u);
  EXPECT_EQ(sent[1].msg, 1056u);  // title sent because it is not empty, icon none
  EXPECT_EQ(sent[1].wParam, 0u);
  EXPECT_EQ(sent[1].text, veltrano::text::toAnsiString("도움말"));
  EXPECT_EQ(sent[2].msg, 1044u);
  EXPECT_EQ(sent[2].wParam, 0x0000FFu);
  EXPECT_EQ(sent[2].pointedValue, 0u);
  EXPECT_EQ(sent[3].msg, 1043u);
  EXPECT_EQ(sent[3].wParam, 0xE1FFFFu);
  EXPECT_EQ(sent[4].lParam, 8000);
  EXPECT_EQ(sent[5].lParam, 50);
  auto state = tt::tipState(tooltipWindow());
  ASSERT_TRUE(state);
  EXPECT_TRUE(state->balloon);
  EXPECT_EQ(state->title, "도움말");
  EXPECT_EQ(state->textColour, 0x0000FFu);
  EXPECT_EQ(state->backColour, 0xE1FFFFu);
}

TEST_F(TooltipTest, IconAloneAtCreateSendsTitleWithEmptyText) {
  TOOLTIP tip;
  tip.Icon(lumagrid::TTIconError);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  auto sent = messages();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1].msg, 1056u);
  EXPECT_EQ(sent[1].wParam, 3u);
  EXPECT_EQ(sent[1].text, "");
}

TEST_F(TooltipTest, TitleAfterCreateWaitsForAnIcon) {
  TOOLTIP tip;
  tip.Create(static_cast<std::int32_t>(hwnd_));
  const ui::Hwnd window = tooltipWindow();
  tt::clearMessageLog();
  tip.Title("주의");
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(tip.Title(), "주의");
  tip.Icon(lumagrid::TTIconInfo);
  auto sent = messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, 1056u);
  EXPECT_EQ(sent[0].wParam, 1u);
  EXPECT_EQ(sent[0].text, veltrano::text::toAnsiString("주의"));
  tip.Title("");  // an empty title sends nothing
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(tt::tipState(window)->title, "주의");
}

TEST_F(TooltipTest, BlackIsSkippedAtCreateButAppliedAfterwards) {
  TOOLTIP tip;
  tip.ForeColor(0);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  for (const auto& m : messages()) EXPECT_NE(m.msg, 1044u);
  const ui::Hwnd window = tooltipWindow();
  EXPECT_FALSE(tt::tipState(window)->textColour.has_value());
  tt::clearMessageLog();
  tip.ForeColor(0);
  tip.BackColor(0);
  auto sent = messages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].msg, 1044u);
  EXPECT_EQ(sent[0].wParam, 0u);
  EXPECT_EQ(sent[1].msg, 1043u);
  EXPECT_EQ(tt::tipState(window)->textColour, 0u);
}

TEST_F(TooltipTest, TipTextAfterCreateUpdatesTheTool) {
  TOOLTIP tip;
  tip.TipText("처음");
  tip.Create(static_cast<std::int32_t>(hwnd_));
  const ui::Hwnd window = tooltipWindow();
  tt::clearMessageLog();
  tip.TipText("나중");
  auto sent = messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, 1036u);
  EXPECT_EQ(sent[0].tool->hwnd, hwnd_);
  EXPECT_EQ(sent[0].tool->uId, hwnd_);
  EXPECT_EQ(sent[0].text, veltrano::text::toAnsiString("나중"));
  EXPECT_EQ(tip.TipText(), "나중");
  ASSERT_TRUE(hoverUntilShown(window, 200));
  EXPECT_EQ(tt::tipState(window)->shownText, "나중");
}

TEST_F(TooltipTest, StyleAndTimesWaitForTheNextCreateWhichReplacesTheWindow) {
  TOOLTIP tip;
  tip.Create(static_cast<std::int32_t>(hwnd_));
  const ui::Hwnd first = tooltipWindow();
  tt::clearMessageLog();
  tip.Style(lumagrid::TTBalloon);
  tip.DelayTime(10);
  tip.Centered(true);
  EXPECT_TRUE(messages().empty());
  tip.Create(static_cast<std::int32_t>(hwnd_));
  ASSERT_EQ(calls("DestroyWindow").size(), 1u);
  EXPECT_EQ(calls("DestroyWindow")[0].hwnd, first);
  EXPECT_FALSE(tt::IsWindow(first));
  const ui::Hwnd second = tooltipWindow();
  EXPECT_NE(second, first);
  EXPECT_EQ(calls("CreateWindowExA")[0].style, 67u);
  EXPECT_EQ(tt::tipState(second)->initialMs, 10);
}

TEST_F(TooltipTest, DestroyKeepsTheHandleSoLaterChangesGoNowhere) {
  ui::Hwnd window = 0;
  {
    TOOLTIP tip;
    tip.Create(static_cast<std::int32_t>(hwnd_));
    window = tooltipWindow();
    tip.Destroy();
    EXPECT_FALSE(tt::IsWindow(window));
    tt::clearMessageLog();
    tip.BackColor(0x00FF00);
    auto sent = messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].hwnd, window);
    EXPECT_FALSE(sent[0].delivered);
  }
  // Release destroys the stale handle again, harmlessly.
  auto destroyed = calls("DestroyWindow");
  ASSERT_EQ(destroyed.size(), 1u);
  EXPECT_EQ(destroyed[0].hwnd, window);
  EXPECT_FALSE(destroyed[0].delivered);
}

TEST_F(TooltipTest, ReleaseDestroysTheLiveWindow) {
  ui::Hwnd window = 0;
  {
    TOOLTIP tip;
    tip.Create(static_cast<std::int32_t>(hwnd_));
    window = tooltipWindow();
    EXPECT_TRUE(tt::IsWindow(window));
  }
  EXPECT_FALSE(tt::IsWindow(window));
}

#ifndef _WIN32
TEST_F(TooltipTest, TipShowsAfterTheDelayAndHidesAfterTheVisibleTime) {
  TOOLTIP tip;
  const ui::Hwnd window = createTimedTip(tip);
  hover();
  wait(299);
  EXPECT_FALSE(tt::tipState(window)->visible);
  wait(1);
  EXPECT_TRUE(tt::tipState(window)->visible);
  EXPECT_EQ(tt::tipState(window)->shownText, "운임 합계");
  wait(1999);
  EXPECT_TRUE(tt::tipState(window)->visible);
  wait(1);
  EXPECT_FALSE(tt::tipState(window)->visible);

  hover();
  wait(300);
  EXPECT_TRUE(tt::tipState(window)->visible);
  tool_->leave();
  EXPECT_FALSE(tt::tipState(window)->visible);
}
#else
// The common controls' tip runs on the system's timers: the bounds are one-sided.
TEST_F(TooltipTest, TipShowsAfterTheDelayAndHidesAfterTheVisibleTime) {
  TOOLTIP tip;
  ui::Hwnd window = createTimedTip(tip);
  const ULONGLONG hovered = GetTickCount64();
  hover();
  EXPECT_FALSE(tt::tipState(window)->visible);  // shown by a timer, so never inside the hover
  ASSERT_TRUE(hoverUntilShown(window, 300));
  const ULONGLONG shown = GetTickCount64();
  EXPECT_GE(shown - hovered, 250u);
  EXPECT_EQ(tt::tipState(window)->shownText, "운임 합계");
  for (int i = 0; i < 200 && tt::tipState(window)->visible; ++i) wait(50);
  EXPECT_FALSE(tt::tipState(window)->visible);
  EXPECT_GE(GetTickCount64() - shown, 1900u);

  // Leaving the tool hides a tip that would stay for 30 seconds.
  tip.VisibleTime(30000);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  window = tooltipWindow();
  tool_->leave();
  wait(100);
  ASSERT_TRUE(hoverUntilShown(window, 300));
  const ULONGLONG left = GetTickCount64();
  tool_->leave();
  for (int i = 0; i < 200 && tt::tipState(window)->visible; ++i) wait(50);
  EXPECT_FALSE(tt::tipState(window)->visible);
  EXPECT_LT(GetTickCount64() - left, 20000u);
}
#endif

TEST_F(TooltipTest, EmptyTipTextNeverShows) {
  TOOLTIP tip;
  tip.Create(static_cast<std::int32_t>(hwnd_));
  hover();
  wait(1000);
  EXPECT_FALSE(tt::tipState(tooltipWindow())->visible);
}

TEST(TooltipPlatform, UnknownClassOrHandleGoesNowhere) {
  tt::clearMessageLog();
  EXPECT_EQ(tt::CreateWindowExA(0, "button", nullptr, 0, 0, 0, 10, 10, 0, 0, 0, nullptr), 0u);
  const std::int32_t zero = 0;
  EXPECT_EQ(tt::SendMessageA(0, tt::TTM_SETTIPBKCOLOR, 5, reinterpret_cast<std::intptr_t>(&zero)), 0);
  EXPECT_FALSE(tt::DestroyWindow(0));
  ASSERT_EQ(tt::messageLog().size(), 3u);
  EXPECT_FALSE(tt::messageLog()[0].delivered);
  EXPECT_FALSE(tt::messageLog()[1].delivered);
  EXPECT_EQ(tt::messageLog()[1].pointedValue, 0u);
  EXPECT_FALSE(tt::tipState(0).has_value());
}

TEST_F(TooltipTest, ShortToolRecordIsRefused) {
  const ui::Hwnd h = tt::CreateWindowExA(0, tt::TOOLTIPS_CLASSA, nullptr, tt::TTS_ALWAYSTIP, tt::CW_USEDEFAULT,
                                         tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, 0, 0, 1, nullptr);
  ASSERT_NE(h, 0u);
  const std::string first = veltrano::text::toAnsiString("가"), second = veltrano::text::toAnsiString("나");
  tt::TOOLINFOA ti;
  ti.cbSize = 20;
  ti.uFlags = tt::TTF_IDISHWND | tt::TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = hwnd_;
  ti.lpszText = first.c_str();
  EXPECT_EQ(tt::SendMessageA(h, tt::TTM_ADDTOOLA, 0, reinterpret_cast<std::intptr_t>(&ti)), 0);
  EXPECT_EQ(tt::tipState(h)->tools, 0u);
  ti.cbSize = tt::TTTOOLINFOA_V1_SIZE;
  EXPECT_EQ(tt::SendMessageA(h, tt::TTM_ADDTOOLA, 0, reinterpret_cast<std::intptr_t>(&ti)), 1);
  EXPECT_EQ(tt::tipState(h)->tools, 1u);
  // A short record does not update the tool's text either.
  ti.cbSize = 20;
  ti.lpszText = second.c_str();
  tt::SendMessageA(h, tt::TTM_UPDATETIPTEXTA, 0, reinterpret_cast<std::intptr_t>(&ti));
  tt::SendMessageA(h, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, 40);
  EXPECT_EQ(tt::tipState(h)->initialMs, 40);
  ASSERT_TRUE(hoverUntilShown(h, 40));
  EXPECT_EQ(tt::tipState(h)->shownText, "가");
  EXPECT_TRUE(tt::DestroyWindow(h));
}

// The Qt tip's rule for a negative delay. The common controls take the delay from the low word
// of the long parameter, and Wine reads it unsigned (-1 gives 65535 ms), so Windows is left to
// its control.
#ifndef _WIN32
TEST(TooltipPlatform, NegativeDelayRestoresTheDefault) {
  const ui::Hwnd h = tt::CreateWindowExA(0, tt::TOOLTIPS_CLASSA, nullptr, tt::TTS_ALWAYSTIP, tt::CW_USEDEFAULT,
                                         tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, 0, 0, 1, nullptr);
  ASSERT_NE(h, 0u);
  tt::SendMessageA(h, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, 40);
  tt::SendMessageA(h, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, -1);
  EXPECT_EQ(tt::tipState(h)->initialMs, 500);
  EXPECT_TRUE(tt::DestroyWindow(h));
}
#endif

// The balloon both pictures show: a title with an icon over two lines, dark blue on light yellow.
void styleSampleBalloon(TOOLTIP& tip) {
  tip.Style(lumagrid::TTBalloon);
  tip.Title("거래처 조회");
  tip.Icon(lumagrid::TTIconInfo);
  tip.TipText("거래처 코드나 상호를 입력한 뒤\n조회 단추를 누르십시오.");
  tip.BackColor(0xE1FFFF);  // light yellow
  tip.ForeColor(0x400000);  // dark blue
}

#ifndef _WIN32
TEST_F(TooltipTest, BalloonScreenshot) {
  tool_->widget().setWindowTitle("화물 조회");
  auto* layout = new QVBoxLayout(&tool_->widget());
  auto* button = new QPushButton("조회", &tool_->widget());
  layout->addWidget(button);
  tool_->widget().show();
  const ui::Hwnd buttonHwnd = ui::registerWindow(button);

  TOOLTIP tip;
  styleSampleBalloon(tip);
  tip.Create(static_cast<std::int32_t>(buttonHwnd));
  QEnterEvent enter(QPointF(20, 10), QPointF(20, 10), QPointF(120, 140));
  QCoreApplication::sendEvent(button, &enter);
  wait(200);
  const ui::Hwnd window = tooltipWindow();
  ASSERT_TRUE(tt::tipState(window)->visible);

  const std::filesystem::path png = veltrano::test::builtProgram("tooltip_balloon.png");
  ASSERT_TRUE(tt::grabTip(window, png.string()));
  QImage image(QString::fromStdString(png.string()));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.width(), 100);
  // The body is filled with the back colour (Windows colour 0xE1FFFF is RGB 255, 255, 225).
  const QColor body = image.pixelColor(image.width() / 2, image.height() - 4);
  EXPECT_EQ(body, QColor(255, 255, 225));
  // Above the body, beside the stem, the balloon leaves the corner transparent.
  EXPECT_EQ(image.pixelColor(image.width() - 2, 1).alpha(), 0);
  ui::unregisterWindow(buttonHwnd);
}
#else
TEST_F(TooltipTest, BalloonScreenshot) {
  TOOLTIP tip;
  styleSampleBalloon(tip);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  const ui::Hwnd window = tooltipWindow();
  ASSERT_TRUE(hoverUntilShown(window, 200));
  wait(100);  // painted

  const std::filesystem::path png = veltrano::test::builtProgram("tooltip_balloon_win32.png");
  ASSERT_TRUE(tt::grabTip(window, png.string()));
  EXPECT_GT(std::filesystem::file_size(png), 100u);
  HWND tipWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(window)));
  RECT r{};
  GetWindowRect(tipWindow, &r);
  EXPECT_GT(r.right - r.left, 100);
  // The balloon is a window region: the corner beside the stem lies outside it.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(tipWindow, region), ERROR);
  EXPECT_FALSE(PtInRegion(region, r.right - r.left - 2, 1));
  DeleteObject(region);
  // The body is filled with the back colour, as the screen shows it.
  HDC screen = GetDC(nullptr);
  const COLORREF body = GetPixel(screen, (r.left + r.right) / 2, r.bottom - 4);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(body, 0xE1FFFFu);
}
#endif

}  // namespace

#ifndef _WIN32
int main(int argc, char** argv) {
  // Test discovery runs the program outside CTest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
#endif
