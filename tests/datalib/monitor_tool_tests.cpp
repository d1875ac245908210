#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "datalib_test_support.h"
#include "lumadata/vbf.h"
#include "notify_monitor.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"
#include "transaction.h"

using namespace veltrano;

TEST(MonitorTool, ConsolePrintsEachNoticeInOrderWithItsBytes) {
  test::TempDir dir;
  test::ScopedEnv env("VELTRANO_WINMSG_DIR", dir.path().string());
  const std::string cmd = test::builtProgram("tools/monitor/monitor").string() + " --console --hex --count 3 --idle 10";
  FILE* out = popen(cmd.c_str(), "r");
  ASSERT_NE(out, nullptr);
  bool up = false;
  for (int i = 0; i < 500 && !up; ++i) {
    up = winmsg::findWindow(lumadata::kMonitorTitle);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(up);
  lumadata::NotifyMonitor("TR_OPEN|");
  lumadata::NotifyMonitor("TR_ERR|1|가");
  lumadata::NotifyMonitor(std::string("TR_ERR|2|x\0", 11));
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, out)) > 0) text.append(buf, n);
  EXPECT_EQ(pclose(out), 0);
  const auto open = text.find("[4000] cb=9  TR_OPEN|  | 54 52 5F 4F 50 45 4E 7C");
  const auto korean = text.find("[4000] cb=12  TR_ERR|1|가  | 54 52 5F 45 52 52 7C 31 7C B0 A1");
  const auto nul = text.find("[4000] cb=12  TR_ERR|2|x\\0  |");
  EXPECT_NE(open, std::string::npos) << text;
  EXPECT_NE(korean, std::string::npos) << text;
  EXPECT_NE(nul, std::string::npos) << text;
  EXPECT_LT(open, korean);
  EXPECT_LT(korean, nul);
}

// A whole VBF session seen by the monitor program in another process: every notice in order,
// "TR_OPEN|" with cbData 9, a Korean character as its two CP949 bytes.
TEST(MonitorTool, ReceivesTheNoticesOfAVbfSessionInOrder) {
  test::TempDir dir;
  test::ScopedEnv env("VELTRANO_WINMSG_DIR", dir.path().string());
  test::ScopedRegistry registry;
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  int calls = 0;
  datalib_test::DataServiceStub service([&](const test::SeenRequest&) {
    return ++calls == 1 ? datalib_test::httpReply(200, "OK", datalib_test::rowsetXml(2))
                        : datalib_test::httpReply(200, "OK", " 오류 ", "text/plain; charset=utf-8");
  });
  const std::string cmd = test::builtProgram("tools/monitor/monitor").string() + " --console --hex --count 11 --idle 10";
  FILE* out = popen(cmd.c_str(), "r");
  ASSERT_NE(out, nullptr);
  bool up = false;
  for (int i = 0; i < 500 && !up; ++i) {
    up = winmsg::findWindow(lumadata::kMonitorTitle);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(up);
  std::string length;
  {
    lumadata::VBF db;
    db.DB_OPEN("tarvic");
    db.DB_ADD("SELECT 1");
    ASSERT_NE(db.DB_EXECUTE(), nullptr);  // 5 notices
    length = std::to_string(2 * lumadata::utf16Length(service.requests().at(0).body));
    lumadata::setTransactionFaultHook([](std::string_view step) {
      if (step == "received") throw RuntimeError(err::kObjectNotSet, "test");
    });
    EXPECT_EQ(db.DB_EXECUTE(), nullptr);  // 3 notices and one per character of " 오"
    lumadata::setTransactionFaultHook({});
  }  // and one at the end
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, out)) > 0) text.append(buf, n);
  EXPECT_EQ(pclose(out), 0);

  std::vector<std::string> lines;
  for (const std::string& line : text::Split(text, "\n")) {
    const auto at = line.find("[4000] ");
    if (at != std::string::npos) lines.push_back(line.substr(at));
  }
  const std::vector<std::string> expected = {
      "[4000] cb=9  TR_OPEN|  | 54 52 5F 4F 50 45 4E 7C",
      "[4000] cb=" + std::to_string(10 + length.size()) + "  TR_START|" + length,
      "[4000] cb=" + std::to_string(9 + length.size()) + "  TR_WAIT|" + length,
      "[4000] cb=11  TR_RECVED|",
      "[4000] cb=13  TR_COMPLETE|",
      "[4000] cb=" + std::to_string(10 + length.size()) + "  TR_START|" + length,
      "[4000] cb=" + std::to_string(9 + length.size()) + "  TR_WAIT|" + length,
      "[4000] cb=11  TR_RECVED|",
      "[4000] cb=12  TR_ERR|1| \\0  | 54 52 5F 45 52 52 7C 31 7C 20 00",
      "[4000] cb=13  TR_ERR|2|오\\0  | 54 52 5F 45 52 52 7C 32 7C BF C0 00",
      "[4000] cb=13  TR_COMPLETE|",
  };
  ASSERT_EQ(lines.size(), expected.size()) << text;
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i].substr(0, expected[i].size()), expected[i]) << i;
}

TEST(MonitorTool, OptionValuesAreCheckedAndNoDisplayFallsBackToTheConsole) {
  test::TempDir dir;
  const std::string monitor = "VELTRANO_WINMSG_DIR='" + dir.path().string() + "' " +
                              test::builtProgram("tools/monitor/monitor").string();
  const struct {
    const char* args;
    const char* err;
  } refused[] = {
      {"--count", "monitor: --count needs a value (see --help)"},
      {"--count abc", "monitor: --count wants a whole number of notices (0 or more), not \"abc\""},
      {"--count 3x", "monitor: --count wants a whole number of notices (0 or more), not \"3x\""},
      {"--count -1", "monitor: --count wants a whole number of notices (0 or more), not \"-1\""},
      {"--idle x", "monitor: --idle wants a number of seconds (0 or more), not \"x\""},
      {"--idle nan", "monitor: --idle wants a number of seconds (0 or more), not \"nan\""},
      {"--console --idle", "monitor: --idle needs a value (see --help)"},
  };
  for (const auto& c : refused) {
    const auto r = test::run(monitor + " " + c.args + " 2>&1");
    EXPECT_EQ(r.exitCode, 2) << c.args;
    EXPECT_EQ(r.out, std::string(c.err) + "\n") << c.args;
  }
  for (const char* help : {"-h", "--help"}) {
    const auto r = test::run(monitor + " " + help);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: monitor", 0), 0u) << r.out;
  }
  // No display: one line says so and the notices go to standard output; --count 0 ends at once.
  const auto headless = test::run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + monitor +
                                  " --count 0 --idle 1.5 2>&1");
  EXPECT_EQ(headless.exitCode, 0);
  EXPECT_EQ(headless.out,
            "monitor: no display (DISPLAY or WAYLAND_DISPLAY); printing the notices here\n"
            "monitor: waiting for notices\n");
}
