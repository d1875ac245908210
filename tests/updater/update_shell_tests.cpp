// Starting programs through the shell: how regsvr32, Notepad, paths and bare names resolve,
// command texts with unquoted blanks, the ordered pair of commands (no shell syntax read from
// the words), and the run bit of placed program files. The cases that rest on Linux (programs
// without an extension, $VISUAL and xdg-open, sh syntax, run bits) are built there only;
// update_shell_win32_tests.cpp holds their Windows counterparts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"
#include "updater/shell_start.h"

namespace meridox {
namespace {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;

// A recording program (see test::recordingProgram) written at `p`, ready to run.
void recorderAt(const stdfs::path& p) {
  test::writeFile(p, test::recordingProgram());
  stdfs::permissions(p, stdfs::perms::owner_all);
}

// The file name a bare program name is found under on the search path.
std::string programFile(const std::string& name) {
#ifdef _WIN32
  return name + ".exe";
#else
  return name;
#endif
}

std::string searchPath(const stdfs::path& first) {
#ifdef _WIN32
  const char* path = std::getenv("PATH");
  return first.string() + ";" + (path ? path : "");
#else
  return first.string() + ":/usr/bin:/bin";
#endif
}

struct ShellStart : ::testing::Test {
  test::TempDir program;  // the updater's folder
  test::TempDir bin;      // a private PATH
  stdfs::path record = program / "record.txt";
  test::ScopedEnv recordTo{"VELTRANO_TEST_RECORD", record.string()};
  test::ScopedEnv path{"PATH", searchPath(bin.path())};
  std::string folder() const { return program.path().string(); }
};

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
  // The file's name as on disk (Linux) or as the command spells it (Windows).
  EXPECT_EQ(veltrano::text::LCase(scripted.shown()[0].title), "readme.txt - 메모장");
  EXPECT_EQ(scripted.shown()[0].text, "2024-05-01 운임 계산 수정\r\n");
  EXPECT_EQ(scripted.shown()[1].text, "UTF-8 그대로");
  EXPECT_THROW(Shell("NOTEPAD \"" + folder() + "\\gone.txt\"", folder()), veltrano::RuntimeError);
  EXPECT_EQ(scripted.shown().size(), 2u);
}

TEST_F(ShellStart, AWholeCommandTextNamingAFileIsThatProgram) {
  stdfs::create_directories(program / "Program Files" / "Tarvic");
  recorderAt(program / "Program Files" / "Tarvic" / "TARVIC.EXE");
  // The program records its name as on disk (Linux) or as it was started (Windows).
  Shell(folder() + "\\program files\\tarvic\\tarvic.exe", folder());
  EXPECT_EQ(veltrano::text::LCase(test::waitForLines(record, 1)), "tarvic.exe \n");
  Shell("\"" + folder() + "\\Program Files\\Tarvic\\TARVIC.EXE\" /auto x", folder());
  EXPECT_EQ(veltrano::text::LCase(test::waitForLines(record, 2)), "tarvic.exe \ntarvic.exe /auto x\n");
}

TEST_F(ShellStart, OrderedCommandsStartNothingWhenOneCannotBeFound) {
  test::ScopedEnv onlyBin("PATH", bin.path().string());
  recorderAt(bin / programFile("first"));
  EXPECT_THROW(ShellInOrder({"first a", "regsvr32.exe b"}, folder()), veltrano::RuntimeError);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stdfs::exists(record));
}

#ifndef _WIN32
TEST_F(ShellStart, Regsvr32BesideTheUpdaterComesBeforeThePath) {
  recorderAt(bin / "regsvr32");
  EXPECT_EQ(ResolveProgram("regsvr32.exe", folder()), std::vector<std::string>{(bin / "regsvr32").string()});
  recorderAt(program / "regsvr32");
  EXPECT_EQ(ResolveProgram("REGSVR32.EXE", folder()), std::vector<std::string>{(program / "regsvr32").string()});
  EXPECT_EQ(ResolveProgram("regsvr32", folder()), std::vector<std::string>{(program / "regsvr32").string()});
}

TEST_F(ShellStart, NotepadIsVisualWithItsWordsElseXdgOpen) {
  recorderAt(bin / "xdg-open");
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
  recorderAt(bin / "viewer");
  test::ScopedEnv visual("VISUAL", (bin / "viewer").string());
  stdfs::create_directories(program / "App");
  test::writeFile(program / "App" / "README.TXT", "history");
  Shell("NOTEPAD \"" + folder() + "\\app\\readme.txt\"", folder());
  EXPECT_EQ(test::waitForLines(record, 1), "viewer " + (program / "App" / "README.TXT").string() + "\n");
}

TEST_F(ShellStart, OrderedCommandsRunOneAfterTheOtherAndReadNoShellSyntax) {
  // The first command is the slow one: the second must still come after it.
  test::writeFile(program / "regsvr32", "#!/bin/sh\ncase \"$*\" in *\"/u /s\") sleep 0.3;; esac\necho \"$*\" >> '" +
                                            record.string() + "'\n");
  stdfs::permissions(program / "regsvr32", stdfs::perms::owner_all);
  const std::string file = folder() + "\\$(touch pwned) `touch pwned2`;.dll";
  ShellInOrder({"regsvr32.exe \"" + file + "\" /u /s", "regsvr32.exe \"" + file + "\" /s"}, folder());
  EXPECT_EQ(test::waitForLines(record, 2), file + " /u /s\n" + file + " /s\n");
  EXPECT_FALSE(stdfs::exists(program / "pwned"));
  EXPECT_FALSE(stdfs::exists("pwned2"));
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
#endif

}  // namespace
}  // namespace meridox
