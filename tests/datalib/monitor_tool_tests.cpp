#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "notify_monitor.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"

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
