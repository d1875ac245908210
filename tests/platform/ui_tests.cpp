#include <gtest/gtest.h>

#include <filesystem>

#include "platform/runtime/clock.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"

using namespace veltrano;

TEST(ScriptedUi, AnswersFromTheQueueThenDefaultButtons) {
  ui::ScriptedUi scripted("No, Retry", "");
  ui::ScopedUi scope(scripted);
  EXPECT_EQ(ui::MsgBox("q1", ui::vbYesNo + ui::vbQuestion, "T"), ui::Answer::No);
  EXPECT_EQ(ui::MsgBox("q2", ui::vbRetryCancel + ui::vbCritical, "T"), ui::Answer::Retry);
  // Queue empty: the default button, here the second one.
  EXPECT_EQ(ui::MsgBox("q3", ui::vbYesNoCancel + ui::vbDefaultButton2), ui::Answer::No);
  ASSERT_EQ(scripted.shown().size(), 3u);
  EXPECT_EQ(scripted.shown()[1].icon, ui::Icon::Critical);
  EXPECT_EQ(scripted.shown()[2].title, scripted.appTitle());
}

TEST(ScriptedUi, AnswerThatDoesNotFitTakesTheDefault) {
  ui::ScriptedUi scripted("Yes", "");
  ui::ScopedUi scope(scripted);
  EXPECT_EQ(ui::MsgBox("only OK"), ui::Answer::OK);
  EXPECT_EQ(scripted.pendingAnswers(), 0u);
}

TEST(ScriptedUi, InputBoxAndFileDialogs) {
  ui::ScriptedUi scripted("Input:새 파일.txt,Cancel,File:/tmp/a.xls", "");
  ui::ScopedUi scope(scripted);
  EXPECT_EQ(ui::InputBox("name?", "New", "old"), "새 파일.txt");
  EXPECT_EQ(ui::current().inputBox({"name?", "New", "old"}), std::nullopt);
  EXPECT_EQ(ui::current().saveFileDialog({"", "Excel Files (*.xls)|*.xls", 2}), "/tmp/a.xls");
  EXPECT_EQ(ui::current().openFileDialog({}), std::nullopt);  // queue empty: cancelled
  EXPECT_EQ(ui::InputBox("again", "", "dflt"), "dflt");       // queue empty: default text
}

TEST(FileDialogs, DefaultExtensionOnlyForANameWithoutOne) {
  EXPECT_EQ(ui::withDefaultExt("/tmp/운임", "xls"), "/tmp/운임.xls");
  EXPECT_EQ(ui::withDefaultExt("/tmp/a.XLS", "xls"), "/tmp/a.XLS");
  EXPECT_EQ(ui::withDefaultExt("/tmp/a.txt", "xls"), "/tmp/a.txt");
  EXPECT_EQ(ui::withDefaultExt("/tmp/v1.0/report", "xls"), "/tmp/v1.0/report.xls");  // a dot in a folder
  EXPECT_EQ(ui::withDefaultExt("C:\\보고서\\월말", "xls"), "C:\\보고서\\월말.xls");
  EXPECT_EQ(ui::withDefaultExt("/tmp/.hidden", "xls"), "/tmp/.hidden.xls");
  EXPECT_EQ(ui::withDefaultExt("/tmp/", "xls"), "/tmp/");
  EXPECT_EQ(ui::withDefaultExt("/tmp/a", ""), "/tmp/a");

  ui::ScriptedUi scripted("File:/tmp/월말", "");
  ui::ScopedUi scope(scripted);
  ui::FileDialogSpec dlg{"", "Excel Files (*.xls)|*.xls", 2};
  dlg.defaultExt = "xls";
  EXPECT_EQ(ui::current().saveFileDialog(dlg), "/tmp/월말.xls");
}

TEST(ScriptedUi, LogFileHasOneLinePerBoxWithEscapedBreaks) {
  test::TempDir dir;
  const auto log = dir / "ui.log";
  ui::ScriptedUi scripted("", log.string());
  ui::ScopedUi scope(scripted);
  ui::MsgBox("line1\r\rline2", ui::vbExclamation, "업데이트");
  ui::MsgBox("second", ui::vbOKCancel);
  const std::string text = test::readFile(log);
  EXPECT_EQ(text,
            "MsgBox\t업데이트\tline1\\r\\rline2\tOK\tExclamation\tOK\n"
            "MsgBox\tVeltrano\tsecond\tOK/Cancel\tNone\tOK\n");
}

TEST(ScriptedUi, EnvironmentConfiguresAnswers) {
  test::ScopedEnv answers("VELTRANO_ANSWERS", "Cancel");
  auto scripted = ui::ScriptedUi::fromEnvironment();
  EXPECT_EQ(scripted.messageBox(ui::MessageBoxSpec::fromStyle("x", ui::vbOKCancel, "")), ui::Answer::Cancel);
}

TEST(Timers, TickOnThePumpMeasuredOnTheClock) {
  ManualClock clock;
  ScopedClock useClock(clock);
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  int ticks = 0;
  ui::Timer timer([&] { ++ticks; }, 500);
  ui::DoEvents();
  EXPECT_EQ(ticks, 0);  // disabled
  timer.setEnabled(true);
  clock.advance(499);
  ui::DoEvents();
  EXPECT_EQ(ticks, 0);
  clock.advance(1);
  ui::DoEvents();
  EXPECT_EQ(ticks, 1);
  clock.advance(5000);  // a late timer ticks once, not ten times
  ui::DoEvents();
  ui::DoEvents();
  EXPECT_EQ(ticks, 2);
  timer.setEnabled(false);
  clock.advance(1000);
  ui::DoEvents();
  EXPECT_EQ(ticks, 2);
}

TEST(Timers, HandlerMayDisableOrDestroyTimers) {
  ManualClock clock;
  ScopedClock useClock(clock);
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  std::unique_ptr<ui::Timer> other;
  int ticks = 0;
  ui::Timer first([&] {
    ++ticks;
    other.reset();
    ui::DoEvents();  // re-entrant pump inside a tick does not tick this timer again
  }, 100);
  first.setEnabled(true);
  other = std::make_unique<ui::Timer>([] { FAIL() << "destroyed timer ticked"; }, 100);
  other->setEnabled(true);
  clock.advance(100);
  ui::DoEvents();
  EXPECT_EQ(ticks, 1);
}

TEST(Clock, ManualClockMovesOnlyWhenSleptOn) {
  ManualClock clock(makeDate(2026, 1, 5, 23, 59, 59));
  ScopedClock useClock(clock);
  const double t0 = veltrano::clock().secondsSinceMidnight();
  EXPECT_NEAR(t0, 86399, 1e-3);
  veltrano::clock().sleep(500);
  EXPECT_EQ(clock.sleptMs(), 500);
  EXPECT_NEAR(veltrano::clock().secondsSinceMidnight(), 86399.5, 1e-3);
  veltrano::clock().sleep(1000);  // past midnight the timer starts again
  EXPECT_NEAR(veltrano::clock().secondsSinceMidnight(), 0.5, 1e-3);
}

TEST(WindowHandles, AreThirtyTwoBitAndReleased) {
  int widget = 0;
  ui::Hwnd h = ui::registerWindow(&widget);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(ui::windowObject(h), &widget);
  ui::unregisterWindow(h);
  EXPECT_EQ(ui::windowObject(h), nullptr);
}
