// Starting programs through the shell on Windows: how regsvr32, Notepad and bare names resolve
// (the search path with PATHEXT), and the ordered commands through cmd.exe, words with blanks
// and cmd's operators kept whole.
#include <gtest/gtest.h>

#include "platform/process/process.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "support/test_support.h"
#include "updater/shell_start.h"

namespace meridox {
namespace {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;
namespace text = veltrano::text;

stdfs::path recorder() {
  return stdfs::path(veltrano::proc::currentExecutable()).parent_path() / "shell_recorder.exe";
}

struct ShellStartWin32 : ::testing::Test {
  test::TempDir program;  // the updater's folder
  test::TempDir bin;      // a folder put in front of PATH
  std::string folder() const { return program.path().string(); }
};

TEST_F(ShellStartWin32, Regsvr32BesideTheUpdaterElseTheSystemsOwn) {
  const std::vector<std::string> system = ResolveProgram("regsvr32.exe", folder());
  ASSERT_EQ(system.size(), 1u);
  EXPECT_EQ(text::LCase(stdfs::path(system[0]).filename().string()), "regsvr32.exe");
  test::writeFile(program / "regsvr32.exe", "");
  EXPECT_EQ(ResolveProgram("REGSVR32", folder()), std::vector<std::string>{(program / "regsvr32.exe").string()});
}

TEST_F(ShellStartWin32, BareNamesFoundOnThePathWithTheExtensionsOfPathext) {
  test::writeFile(bin / "tool.exe", "");
  const char* path = std::getenv("PATH");
  test::ScopedEnv scoped("PATH", bin.path().string() + ";" + (path ? path : ""));
  EXPECT_EQ(ResolveProgram("tool", folder()), std::vector<std::string>{(bin / "tool.exe").string()});
  EXPECT_EQ(ResolveProgram("tool.exe", folder()), std::vector<std::string>{(bin / "tool.exe").string()});
  EXPECT_TRUE(ResolveProgram("no-such-tool", folder()).empty());
  const std::vector<std::string> viewer = ResolveProgram("NOTEPAD", folder());
  ASSERT_EQ(viewer.size(), 1u);
  EXPECT_EQ(text::LCase(stdfs::path(viewer[0]).filename().string()), "notepad.exe");
}

TEST_F(ShellStartWin32, InOrderRunsEachCommandAfterTheOneBeforeWithWordsKeptWhole) {
  const stdfs::path record = program / "record.txt";
  const std::string tool = recorder().string();
  ShellInOrder({"\"" + tool + "\" \"" + record.string() + "\" first \"two words\"",
                "\"" + tool + "\" \"" + record.string() + "\" \"a & b\" \"x|y > z\""},
               folder());
  EXPECT_EQ(test::waitForLines(record, 2), "first|two words\na & b|x|y > z\n");
  EXPECT_THROW(ShellInOrder({"\"" + tool + "\" x", "no-such-program.exe"}, folder()), veltrano::RuntimeError);
}

}  // namespace
}  // namespace meridox
