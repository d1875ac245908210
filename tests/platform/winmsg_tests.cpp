#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/runtime/runtime_folder.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"

using namespace veltrano;

namespace {
// Each test uses its own endpoint folder, so parallel test processes never meet.
struct WinmsgFolder {
  test::TempDir dir;
  test::ScopedEnv env{"VELTRANO_WINMSG_DIR", dir.path().string()};
};
}  // namespace

TEST(WindowMessages, WithoutXdgRuntimeDirEndpointsLieInOneFolderPerUser) {
  test::ScopedEnv noXdg("XDG_RUNTIME_DIR", "");
  test::ScopedEnv noOverride("VELTRANO_WINMSG_DIR", "");
  const std::string folder = std::string("/tmp/runtime-") + getpwuid(getuid())->pw_name;
  EXPECT_EQ(runtimeFolder(), folder);
  struct stat st {};
  ASSERT_EQ(lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, getuid());
  EXPECT_EQ(winmsg::endpointPath("(주)라움트랜스").rfind(folder + "/veltrano-winmsg/w-", 0), 0u);

  // A program that sets the variable for Qt keeps its endpoints where the others look.
  useRuntimeFolder();
  EXPECT_EQ(std::string(std::getenv("XDG_RUNTIME_DIR")), folder);
  EXPECT_EQ(winmsg::endpointPath("(주)라움트랜스").rfind(folder + "/veltrano-winmsg/w-", 0), 0u);
}

TEST(WindowMessages, NoWindowMeansNoSend) {
  WinmsgFolder folder;
  EXPECT_FALSE(winmsg::findWindow("(주)라움트랜스"));
  const std::uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(winmsg::sendCopyData("(주)라움트랜스", 1, 4000, 4, buf), std::nullopt);
}

TEST(WindowMessages, SendReachesAWindowInAnotherProcessAndGetsItsReply) {
  WinmsgFolder folder;
  int ready[2], report[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(report), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    winmsg::CopyData got;
    auto ep = winmsg::Endpoint::create("Tarvic Innovation for call center v2.0 [MORA]", [&](const winmsg::CopyData& m) {
      got = m;
      return std::int64_t{77};
    });
    char c = ep ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    for (int i = 0; i < 50 && got.buffer.empty(); ++i) ep->service(100);
    std::uint64_t head[3] = {got.wParam, got.dwData, got.cbData};
    (void)!write(report[1], head, sizeof head);
    (void)!write(report[1], got.buffer.data(), got.buffer.size());
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_TRUE(winmsg::findWindow("Tarvic Innovation for call center v2.0 [MORA]"));
  std::vector<std::uint8_t> buffer(255, 0);
  buffer[0] = '1';
  buffer[1] = '2';
  auto reply = winmsg::sendCopyData("Tarvic Innovation for call center v2.0 [MORA]", 1, 4001, 5, buffer);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, 77);
  std::uint64_t head[3] = {};
  ASSERT_EQ(read(report[0], head, sizeof head), static_cast<ssize_t>(sizeof head));
  EXPECT_EQ(head[0], 1u);
  EXPECT_EQ(head[1], 4001u);
  EXPECT_EQ(head[2], 5u);
  std::vector<std::uint8_t> got(255);
  std::size_t n = 0;
  while (n < got.size()) {
    ssize_t r = read(report[0], got.data() + n, got.size() - n);
    if (r <= 0) break;
    n += static_cast<std::size_t>(r);
  }
  EXPECT_EQ(got, buffer);
  int status = 0;
  waitpid(child, &status, 0);
}

TEST(WindowMessages, ATitleHasOneLiveWindowAndAStaleSocketIsReplaced) {
  WinmsgFolder folder;
  auto first = winmsg::Endpoint::create("Monitor", {});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(winmsg::Endpoint::create("Monitor", {}), nullptr);
  first.reset();
  EXPECT_FALSE(winmsg::findWindow("Monitor"));
  // A socket file left by a process that died is not a live window.
  test::writeFile(winmsg::endpointPath("Monitor"), "");
  EXPECT_NE(winmsg::Endpoint::create("Monitor", {}), nullptr);
}
