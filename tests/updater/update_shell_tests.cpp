// Starting programs through the shell: how regsvr32, Notepad, paths and bare names resolve,
// command texts with unquoted blanks, the ordered pair of commands (no shell syntax read from
// the words), and the run bit of placed program files.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"
#include "updater/shell_start.h"

namespace meridox {
namespace {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;

void script(const stdfs::path& p, const std::string& body) {
  test::writeFile(p, "#!/bin/sh\n" + body + "\n");
  stdfs::permissions(p, stdfs::perms::owner_all);
}

std::string waitForLines(const stdfs::path& record, std::size_t lines) {
  for (int i = 0; i < 500; ++i) {
    if (stdfs::exists(record)) {
      const std::string s = test::readFile(record);
      if (static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')) >= lines) return s;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return stdfs::exists(record) ? test::readFile(record) : std::string();
}

struct ShellStart : ::testing::Test {
  test::TempDir program;  // the updater's folder
  test::TempDir bin;      // a private PATH
  stdfs::path record = program / "record.txt";
  test::ScopedEnv path{"PATH", bin.path().string() + ":/usr/bin:/bin"};
  std::string folder() const { return program.path().string(); }
  void recorderAt(const stdfs::path& p, const std::string& tag) {
    script(p, "echo \"" + tag + " $*\" >> '" + record.string() + "'");
  }
};

TEST_F(ShellStart, Regsvr32BesideTheUpdaterComesBeforeThePath) {
  recorderAt(bin / "regsvr32", "path");
  EXPECT_EQ(ResolveProgram("regsvr32.exe", folder()), std::vector<std::string>{(bin / "regsvr32").string()});
  recorderAt(program / "regsvr32", "beside");
  EXPECT_EQ(ResolveProgram("REGSVR32.EXE", folder()), std::vector<std::string>{(program / "regsvr32").string()});
  EXPECT_EQ(ResolveProgram("regsvr32", folder()), std::vector<std::string>{(program / "regsvr32").string()});
}

TEST_F(ShellStart, MissingProgramRaisesFileNotFound) {
  test::ScopedEnv onlyBin("PATH", bin.path().string());
  EXPECT_TRUE(ResolveProgram("regsvr32.exe", folder()).empty());
  try {
    Shell("regsvr32.exe \"C:\\x.dll\" /s", folder());
    FAIL();
  } catch (const veltrano::RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kFileNotFound);
  }
  EXPECT_THROW(Shell(folder() + "\\nothere.exe", folder()), veltrano::RuntimeError);
  EXPECT_THROW(Shell("", folder()), veltrano::RuntimeError);
}

TEST_F(ShellStart, NotepadIsVisualWithItsWordsElseXdgOpen) {
  recorderAt(bin / "xdg-open", "xdg");
  {
    test::ScopedEnv visual("VISUAL", "");
    EXPECT_EQ(ResolveProgram("NOTEPAD", folder()), std::vector<std::string>{(bin / "xdg-open").string()});
  }
  test::ScopedEnv visual("VISUAL", "/opt/viewer --new-window");
  EXPECT_EQ(ResolveProgram("notepad.exe", folder()), (std::vector<std::string>{"/opt/viewer", "--new-window"}));
  // A path that happens to end in notepad is a program file, not the viewer.
  EXPECT_TRUE(ResolveProgram("C:\\tools\\notepad.exe", folder()).empty());
}

TEST_F(ShellStart, NotepadGetsANativePathOfItsFile) {
  recorderAt(bin / "viewer", "viewer");
  test::ScopedEnv visual("VISUAL", (bin / "viewer").string());
  stdfs::create_directories(program / "App");
  test::writeFile(program / "App" / "README.TXT", "history");
  Shell("NOTEPAD \"" + folder() + "\\app\\readme.txt\"", folder());
  EXPECT_EQ(waitForLines(record, 1), "viewer " + (program / "App" / "README.TXT").string() + "\n");
}

TEST_F(ShellStart, WithoutAnyViewerNotepadShowsTheFileInAWindowOfItsOwn) {
  test::ScopedEnv onlyBin("PATH", bin.path().string());  // no xdg-open
  test::ScopedEnv visual("VISUAL", "");
  veltrano::ui::ScriptedUi scripted;
  veltrano::ui::ScopedUi scope(scripted);
  stdfs::create_directories(program / "App");
  test::writeFile(program / "App" / "README.TXT", veltrano::text::toAnsiString("2024-05-01 운임 계산 수정\r\n"));
  test::writeFile(program / "App" / "NOTES.TXT", "UTF-8 그대로");
  EXPECT_EQ(Shell("NOTEPAD \"" + folder() + "\\app\\readme.txt\"", folder()), 0);
  StartProgram("notepad.exe", {folder() + "\\App\\NOTES.TXT"}, folder());
  ASSERT_EQ(scripted.shown().size(), 2u);
  EXPECT_EQ(scripted.shown()[0].kind, "Text");
  EXPECT_EQ(scripted.shown()[0].title, "README.TXT - 메모장");
  EXPECT_EQ(scripted.shown()[0].text, "2024-05-01 운임 계산 수정\r\n");
  EXPECT_EQ(scripted.shown()[1].text, "UTF-8 그대로");
  EXPECT_THROW(Shell("NOTEPAD \"" + folder() + "\\gone.txt\"", folder()), veltrano::RuntimeError);
  EXPECT_EQ(scripted.shown().size(), 2u);
}

TEST_F(ShellStart, AWholeCommandTextNamingAFileIsThatProgram) {
  stdfs::create_directories(program / "Program Files" / "Tarvic");
  recorderAt(program / "Program Files" / "Tarvic" / "TARVIC.EXE", "tarvic");
  Shell(folder() + "\\program files\\tarvic\\tarvic.exe", folder());
  EXPECT_EQ(waitForLines(record, 1), "tarvic \n");
  Shell("\"" + folder() + "\\Program Files\\Tarvic\\TARVIC.EXE\" /auto x", folder());
  EXPECT_EQ(waitForLines(record, 2), "tarvic \ntarvic /auto x\n");
}

TEST_F(ShellStart, OrderedCommandsRunOneAfterTheOtherAndReadNoShellSyntax) {
  // The first command is the slow one: the second must still come after it.
  script(program / "regsvr32",
         "case \"$*\" in *\"/u /s\") sleep 0.3;; esac\necho \"$*\" >> '" + record.string() + "'");
  const std::string file = folder() + "\\$(touch pwned) `touch pwned2`;.dll";
  ShellInOrder({"regsvr32.exe \"" + file + "\" /u /s", "regsvr32.exe \"" + file + "\" /s"}, folder());
  EXPECT_EQ(waitForLines(record, 2), file + " /u /s\n" + file + " /s\n");
  EXPECT_FALSE(stdfs::exists(program / "pwned"));
  EXPECT_FALSE(stdfs::exists("pwned2"));
}

TEST_F(ShellStart, OrderedCommandsStartNothingWhenOneCannotBeFound) {
  test::ScopedEnv onlyBin("PATH", bin.path().string());
  recorderAt(bin / "first", "first");
  EXPECT_THROW(ShellInOrder({"first a", "regsvr32.exe b"}, folder()), veltrano::RuntimeError);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stdfs::exists(record));
}

TEST_F(ShellStart, PlacedProgramFilesBecomeRunnable) {
  test::writeFile(program / "TARVIC.EXE", "x");
  test::writeFile(program / "TARVIC.DLL", "x");
  MarkRunnable(folder() + "\\tarvic.exe");
  MarkRunnable(folder() + "\\tarvic.dll");
  MarkRunnable(folder() + "\\missing.exe");  // reports nothing
  const auto exec = [](const stdfs::path& p) {
    return (stdfs::status(p).permissions() & stdfs::perms::others_exec) != stdfs::perms::none;
  };
  EXPECT_TRUE(exec(program / "TARVIC.EXE"));
  EXPECT_FALSE(exec(program / "TARVIC.DLL"));
}

}  // namespace
}  // namespace meridox
