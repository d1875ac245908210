// The self-update relay in one process: the command words and the names they are honoured
// under, the hand-off, the copy and clean-up modes with their bounded retries (file faults
// injected), and that the folder keeps an updater whatever fails. The programs the relay
// starts are recording programs; the relay of real processes is in the run tests.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/crypto/crypto.h"
#include "platform/fs/fs.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"
#include "updater/self_update.h"

namespace meridox {
namespace {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;
namespace ui = veltrano::ui;

// The exit status a relay mode ends the program with; -1 when it returned.
template <class F>
int exitStatusOf(F&& mode) {
  try {
    mode();
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  }
  return -1;
}

bool runnable(const stdfs::path& p) {
  return (stdfs::status(p).permissions() & stdfs::perms::owner_exec) != stdfs::perms::none;
}

struct UpdateRelay : ::testing::Test {
  test::TempDir dir;
  stdfs::path record = dir / "record.txt";
  test::ScopedEnv recordTo{"VELTRANO_TEST_RECORD", record.string()};
  const std::string recorder = test::recordingProgram();
  veltrano::ManualClock clock;
  veltrano::ScopedClock clockScope{clock};
  ui::ScriptedUi scripted;
  ui::ScopedUi uiScope{scripted};

  ProgramInfo program(std::string exeName, std::string command = "") const {
    ProgramInfo p;
    p.path = dir.path().string();
    p.exeName = std::move(exeName);
    p.command = std::move(command);
    return p;
  }
  void TearDown() override { veltrano::fs::clearFaults(); }
};

TEST(UpdateRelayWords, CopyOnlyUnderThePatchNameAndDeleteOnlyExactly) {
  auto with = [](const char* name, const char* command) {
    ProgramInfo p;
    p.exeName = name;
    p.command = command;
    return p;
  };
  EXPECT_TRUE(IsCopyCommand(with("meridoxpch", "COPY")));
  EXPECT_TRUE(IsCopyCommand(with("meridoxpch", "copy")));
  EXPECT_TRUE(IsCopyCommand(with("MERIDOXPCH", "CoPy")));
  EXPECT_FALSE(IsCopyCommand(with("meridox", "COPY")));
  EXPECT_FALSE(IsCopyCommand(with("meridoxpch", "COPY ")));
  EXPECT_TRUE(IsDeleteCommand(with("meridox", "Delete")));
  EXPECT_TRUE(IsDeleteCommand(with("tarvic", "Delete")));
  EXPECT_FALSE(IsDeleteCommand(with("meridox", "delete")));
  EXPECT_FALSE(IsDeleteCommand(with("meridox", "DELETE")));
}

TEST_F(UpdateRelay, HandOffStartsThePatchProgramWithCopyUnderAnyCase) {
  test::writeFile(dir / "MERIDOXPCH.EXE", recorder);  // as the download names it
  HandOffCheck(program("tarvic"));
  HandOffCheck(program("meridoxpch"));
  EXPECT_FALSE(stdfs::exists(record));
  HandOffCheck(program("MERIDOX"));
  // The program's own name is the file's on Linux and the spelling it was started by on Windows.
  const std::string line = test::waitForLines(record, 1);
  EXPECT_EQ(veltrano::text::LCase(line.substr(0, 15)) + line.substr(15), "meridoxpch.exe COPY\n");
  EXPECT_TRUE(runnable(dir / "MERIDOXPCH.EXE"));
}

TEST_F(UpdateRelay, WithASigningKeyOnlyAVerifiedPatchFileIsHandedOffAndAnyOtherIsDeleted) {
  const auto keys = veltrano::crypto::generateKeyPair();
  test::ScopedEnv key("VELTRANO_UPDATE_PUBLIC_KEY", veltrano::crypto::base64Encode(keys.publicKey));
  const std::string patch = recorder;
  veltrano::crypto::Sha256 sha;
  sha.update(reinterpret_cast<const std::uint8_t*>(patch.data()), patch.size());
  const auto digest = sha.finish();
  const std::string signature =
      veltrano::crypto::base64Encode(veltrano::crypto::sign(keys.privateKey, {digest.begin(), digest.end()}));

  // No signature kept, then one that does not match the file: deleted, never started.
  for (const std::string& kept : {std::string(), signature}) {
    test::writeFile(dir / "meridoxpch.exe", kept.empty() ? patch : patch + "tampered");
    if (!kept.empty()) test::writeFile(dir / "meridoxpch.exe.sig", kept);
    HandOffCheck(program("meridox"));
    EXPECT_FALSE(stdfs::exists(dir / "meridoxpch.exe"));
    EXPECT_FALSE(stdfs::exists(dir / "meridoxpch.exe.sig"));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stdfs::exists(record));

  test::writeFile(dir / "meridoxpch.exe", patch);
  test::writeFile(dir / "meridoxpch.exe.sig", signature + "\n");
  HandOffCheck(program("meridox"));
  EXPECT_EQ(test::waitForLines(record, 1), "meridoxpch.exe COPY\n");
}

TEST_F(UpdateRelay, HandOffWithoutPatchFileDoesNothing) {
  HandOffCheck(program("meridox"));
  EXPECT_FALSE(stdfs::exists(record));
}

TEST_F(UpdateRelay, ReplaceSwapsTheUpdaterInOneStepKeepingItsName) {
  test::writeFile(dir / "meridox.exe", "old");
  test::writeFile(dir / "MeridoxPch.EXE", "new");
  std::string why;
  ASSERT_TRUE(ReplaceUpdaterFile(program("meridoxpch"), why));
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), "new");
  EXPECT_TRUE(runnable(dir / "meridox.exe"));
  std::vector<std::string> names;
  for (const auto& e : stdfs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"MeridoxPch.EXE", "meridox.exe"}));
}

TEST_F(UpdateRelay, ReplaceRetriesARefusedRenameAndThenSucceeds) {
  test::writeFile(dir / "meridox.exe", "old");
  test::writeFile(dir / "meridoxpch.exe", "new");
  veltrano::fs::injectFault("rename", "meridox.exe", veltrano::err::kPermissionDenied, 3);
  std::string why;
  ASSERT_TRUE(ReplaceUpdaterFile(program("meridoxpch"), why));
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), "new");
  EXPECT_EQ(clock.sleptMs(), 3 * kRelayAttemptPauseMs);
  EXPECT_FALSE(stdfs::exists(dir / "meridox.exe.partial"));
}

TEST_F(UpdateRelay, ReplaceGivesUpAfterItsAttemptsLeavingTheOldUpdater) {
  test::writeFile(dir / "meridox.exe", "old");
  test::writeFile(dir / "meridoxpch.exe", "new");
  veltrano::fs::injectFault("write", "meridox.exe.partial", veltrano::err::kPermissionDenied, 0);
  std::string why;
  EXPECT_FALSE(ReplaceUpdaterFile(program("meridoxpch"), why));
  EXPECT_EQ(why, veltrano::describeError(veltrano::err::kPermissionDenied));
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), "old");
  EXPECT_FALSE(stdfs::exists(dir / "meridox.exe.partial"));
  EXPECT_EQ(clock.sleptMs(), (kRelayAttempts - 1) * kRelayAttemptPauseMs);
}

TEST_F(UpdateRelay, CopyModeReplacesStartsTheCleanUpAndEnds) {
  test::writeFile(dir / "meridox.exe", "old");
  test::writeFile(dir / "meridoxpch.exe", recorder);
  EXPECT_EQ(exitStatusOf([&] { RunCopyMode(program("meridoxpch", "COPY")); }), kRelayDone);
  EXPECT_EQ(clock.sleptMs(), 1000);
  EXPECT_EQ(test::waitForLines(record, 1), "meridox.exe Delete\n");
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), recorder);
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRelay, CopyModeThatCannotReplaceTellsTheUserAndStartsNothing) {
  test::writeFile(dir / "meridox.exe", "old");
  test::writeFile(dir / "meridoxpch.exe", recorder);
  veltrano::fs::injectFault("rename", "meridox.exe", veltrano::err::kPermissionDenied, 0);
  EXPECT_EQ(exitStatusOf([&] { RunCopyMode(program("meridoxpch", "COPY")); }), kRelayFailed);
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_EQ(scripted.shown()[0].title, "업데이트");
  EXPECT_NE(scripted.shown()[0].text.find("meridox.exe"), std::string::npos);
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), "old");
  EXPECT_TRUE(stdfs::exists(dir / "meridoxpch.exe"));  // the next run hands off again
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stdfs::exists(record));
}

TEST_F(UpdateRelay, CopyModeWithoutPatchFileOnlyEnds) {
  test::writeFile(dir / "meridox.exe", "old");
  EXPECT_EQ(exitStatusOf([&] { RunCopyMode(program("meridoxpch", "copy")); }), kRelayDone);
  EXPECT_EQ(test::readFile(dir / "meridox.exe"), "old");
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRelay, EachHalfOfTheRelayEndsTheOther) {
  test::TempDir programs;
  const int updater = test::startNamedProcess(programs, "meridox.exe");
  const int patch = test::startNamedProcess(programs, "meridoxpch.exe");
  EXPECT_THROW(RunCopyMode(program("meridoxpch", "COPY")), veltrano::ProgramEnd);
  EXPECT_TRUE(test::waitUntilGone(updater)) << "the patch program ends the old updater";
  EXPECT_TRUE(test::processRunning(patch));
  EXPECT_THROW(RunCleanupMode(program("meridox", "Delete")), veltrano::ProgramEnd);
  EXPECT_TRUE(test::waitUntilGone(patch)) << "the new updater ends the patch program";
}

TEST_F(UpdateRelay, CleanUpDeletesThePatchFileOnlyForTheUpdater) {
  test::writeFile(dir / "MERIDOXPCH.EXE", "patch");
  EXPECT_THROW(RunCleanupMode(program("tarvic", "Delete")), veltrano::ProgramEnd);
  EXPECT_TRUE(stdfs::exists(dir / "MERIDOXPCH.EXE"));
  veltrano::fs::injectFault("delete", "MERIDOXPCH", veltrano::err::kPermissionDenied, 2);
  EXPECT_EQ(exitStatusOf([&] { RunCleanupMode(program("meridox", "Delete")); }), kRelayDone);
  EXPECT_FALSE(stdfs::exists(dir / "MERIDOXPCH.EXE"));
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRelay, CleanUpThatCannotDeleteSaysSo) {
  test::writeFile(dir / "meridoxpch.exe", "patch");
  veltrano::fs::injectFault("delete", "meridoxpch", veltrano::err::kPermissionDenied, 0);
  EXPECT_EQ(exitStatusOf([&] { RunCleanupMode(program("meridox", "Delete")); }), kRelayFailed);
  EXPECT_TRUE(stdfs::exists(dir / "meridoxpch.exe"));
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_NE(scripted.shown()[0].text.find("meridoxpch.exe"), std::string::npos);
}

}  // namespace
}  // namespace meridox
