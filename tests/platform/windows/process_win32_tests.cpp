// Processes on Windows: a program started detached gets its arguments as given, shows in the
// snapshot under its file name, and is ended.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/process/process.h"
#include "support/test_support.h"

namespace veltrano::proc {
namespace {

bool listed(int pid, const std::string& exe) {
  for (const auto& e : snapshot())
    if (e.pid == pid && e.exeFile == exe) return true;
  return false;
}

TEST(Win32Process, StartedDetachedListedAndEnded) {
  test::TempDir dir;
  const auto probe = std::filesystem::path(currentExecutable()).parent_path() / "process_probe.exe";
  const auto out = dir / "args.txt";
  const int pid = startDetached(probe.string(), {out.string(), "two words", "a \"quote\"", "trailing\\", ""});
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(test::readFile(out), "two words\na \"quote\"\ntrailing\\\n\n");
  EXPECT_TRUE(listed(pid, "process_probe.exe"));

  denyTermination(pid);
  EXPECT_FALSE(terminate(pid));
  clearFaults();
  EXPECT_TRUE(terminate(pid));
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = !listed(pid, "process_probe.exe");
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);

  failNextStarts(1);
  EXPECT_EQ(startDetached(probe.string(), {out.string()}), -1);
}

}  // namespace
}  // namespace veltrano::proc
