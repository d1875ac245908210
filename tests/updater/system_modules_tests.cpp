#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <random>
#include <thread>

#include "platform/process/process.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/text/vbstring.h"
#include "support/test_support.h"
#include "updater/mod_hdd.h"
#include "updater/mod_killproc.h"
#include "updater/mod_sysfolder.h"

using namespace veltrano;

namespace {

using test::waitUntilGone;
bool running(int pid) { return test::processRunning(pid); }
int startNamed(const test::TempDir& dir, const std::string& name) { return test::startNamedProcess(dir, name); }

// Nine-character names unique to this run, since names are matched over their last nine
// characters and the ending acts on the whole machine.
std::string uniqueStem() {
  std::mt19937 rng(static_cast<unsigned>(proc::currentPid()) ^ static_cast<unsigned>(time(nullptr)));
  const char* hex = "0123456789abcdef";
  std::string s = "q";
  for (int i = 0; i < 4; ++i) s.push_back(hex[rng() % 16]);
  return s;  // + ".exe" gives nine characters
}

}  // namespace

TEST(KillProcessByName, EndsEveryProcessWhoseNameMatchesWithoutRegardToCase) {
  test::TempDir dir, upperDir;  // two folders: on Windows the two names are one file
  const std::string stem = uniqueStem();
  const int lower = startNamed(dir, stem + ".exe");
  const int upper = startNamed(upperDir, veltrano::text::UCase(stem) + ".EXE");
  const int other = startNamed(dir, "z" + stem.substr(1) + ".exe");
  ASSERT_TRUE(running(lower) && running(upper) && running(other));
  meridox::KillProcessByName("C:\\APPS\\KESTRAL" + veltrano::text::UCase(stem) + ".Exe");  // last nine characters count
  EXPECT_TRUE(waitUntilGone(lower));
  EXPECT_TRUE(waitUntilGone(upper));
  EXPECT_TRUE(running(other));
  test::endProcess(other);
}

TEST(KillProcessByName, ARefusedTerminationIsSkippedAndTheWalkGoesOn) {
  test::TempDir dir;
  const std::string stem = uniqueStem();
  const int first = startNamed(dir, stem + ".exe");
  const int second = startNamed(dir, stem + ".exe");
  proc::denyTermination(first);
  meridox::KillProcessByName(stem + ".exe");
  EXPECT_TRUE(waitUntilGone(second));
  EXPECT_TRUE(running(first));
  proc::clearFaults();
  test::endProcess(first);
}

TEST(KillProcessByName, NoMatchLeavesEverythingRunning) {
  test::TempDir dir;
  const std::string stem = uniqueStem();
  const int pid = startNamed(dir, stem + ".exe");
  meridox::KillProcessByName("TARVICINO2");
  meridox::KillProcessByName("");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(running(pid));
  test::endProcess(pid);
}

TEST(TextUpToNul, CutsAtTheFirstNul) {
  EXPECT_EQ(meridox::TextUpToNul(std::string("meridox.exe\0garbage", 19)), "meridox.exe");
  EXPECT_EQ(meridox::TextUpToNul("no nul"), "no nul");
  EXPECT_EQ(meridox::TextUpToNul(std::string("\0x", 2)), "");
}

TEST(VolumeSerial, SignDroppedAsDecimalText) {
  EXPECT_EQ(meridox::VolumeSerialText(0x1234ABCD), "305441741");
  EXPECT_EQ(meridox::VolumeSerialText(0xFFFFFFFF), "1");
  EXPECT_EQ(meridox::VolumeSerialText(0x80000001), "2147483647");
  EXPECT_EQ(meridox::VolumeSerialText(0x80000000), "2147483648");
  sysinfo::overrideVolumeSerial(0x1234ABCD);
  EXPECT_EQ(meridox::GetVolumeSerial(), "305441741");
  sysinfo::overrideVolumeSerial(std::nullopt);  // no volume C:
  EXPECT_EQ(meridox::GetVolumeSerial(), "0");
  sysinfo::resetVolumeSerial();
}

TEST(SystemFolder, FromTheSettingAndEmptyOnFailure) {
  test::ScopedRegistry store;
  test::ScopedEnv sys("VELTRANO_SYSTEM_DIR", "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(meridox::GetSystemFolder(), "C:\\WINDOWS\\system32");
  test::ScopedEnv longer("VELTRANO_SYSTEM_DIR", "C:\\" + std::string(300, 'x'));
  EXPECT_EQ(meridox::GetSystemFolder(), "");
}
