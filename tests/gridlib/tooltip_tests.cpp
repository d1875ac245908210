// TOOLTIP: the messages it sends in each state, and the tip the platform shows for them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdlib>
#include <filesystem>

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

// Each test gets a fresh log, a scripted interface, a manual clock and a parent window with a
// handle.
class TooltipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tt::clearMessageLog();
    parent_ = std::make_unique<QWidget>();
    parent_->resize(200, 80);
    hwnd_ = ui::registerWindow(parent_.get());
  }
  void TearDown() override {
    ui::unregisterWindow(hwnd_);
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
  void hover() {
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(110, 110));
    QCoreApplication::sendEvent(parent_.get(), &enter);
  }
  void wait(std::int64_t ms) {
    clock_.advance(ms);
    fake_.pump();
  }

  veltrano::ManualClock clock_;
  veltrano::ScopedClock clockScope_{clock_};
  ui::ScriptedUi fake_;
  ui::ScopedUi uiScope_{fake_};
  std::unique_ptr<QWidget> parent_;
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
  hover();
  wait(200);
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

TEST_F(TooltipTest, TipShowsAfterTheDelayAndHidesAfterTheVisibleTime) {
  TOOLTIP tip;
  tip.TipText("운임 합계");
  tip.DelayTime(300);
  tip.VisibleTime(2000);
  tip.Create(static_cast<std::int32_t>(hwnd_));
  const ui::Hwnd window = tooltipWindow();
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
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(parent_.get(), &leave);
  EXPECT_FALSE(tt::tipState(window)->visible);
}

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

TEST(TooltipPlatform, ShortToolRecordIsRefusedAndNegativeDelayRestoresTheDefault) {
  const ui::Hwnd h = tt::CreateWindowExA(0, tt::TOOLTIPS_CLASSA, nullptr, tt::TTS_ALWAYSTIP, tt::CW_USEDEFAULT,
                                         tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, 0, 0, 1, nullptr);
  ASSERT_NE(h, 0u);
  tt::TOOLINFOA ti;
  ti.cbSize = 20;
  EXPECT_EQ(tt::SendMessageA(h, tt::TTM_ADDTOOLA, 0, reinterpret_cast<std::intptr_t>(&ti)), 0);
  ti.cbSize = tt::TTTOOLINFOA_V1_SIZE;
  EXPECT_EQ(tt::SendMessageA(h, tt::TTM_ADDTOOLA, 0, reinterpret_cast<std::intptr_t>(&ti)), 1);
  tt::SendMessageA(h, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, 40);
  EXPECT_EQ(tt::tipState(h)->initialMs, 40);
  tt::SendMessageA(h, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, -1);
  EXPECT_EQ(tt::tipState(h)->initialMs, 500);
  EXPECT_EQ(tt::tipState(h)->tools, 1u);
  EXPECT_TRUE(tt::DestroyWindow(h));
}

TEST_F(TooltipTest, BalloonScreenshot) {
  parent_->setWindowTitle("화물 조회");
  auto* layout = new QVBoxLayout(parent_.get());
  auto* button = new QPushButton("조회", parent_.get());
  layout->addWidget(button);
  parent_->show();
  const ui::Hwnd buttonHwnd = ui::registerWindow(button);

  TOOLTIP tip;
  tip.Style(lumagrid::TTBalloon);
  tip.Title("거래처 조회");
  tip.Icon(lumagrid::TTIconInfo);
  tip.TipText("거래처 코드나 상호를 입력한 뒤\n조회 단추를 누르십시오.");
  tip.BackColor(0xE1FFFF);  // light yellow
  tip.ForeColor(0x400000);  // dark blue
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

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs the program outside CTest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
