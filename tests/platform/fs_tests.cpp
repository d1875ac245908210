#include <gtest/gtest.h>

#include "platform/fs/fs.h"
#include "platform/fs/side_file.h"
#include "platform/runtime/error.h"
#include "support/test_support.h"

using namespace veltrano;

namespace {
int errorOf(auto f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

struct DriveC {
  test::TempDir dir;
  test::ScopedEnv env{"VELTRANO_DRIVE_C", dir.path().string()};
};
}  // namespace

TEST(WindowsPaths, SeparatorsDriveAndCase) {
  DriveC c;
  std::filesystem::create_directories(c.dir / "Program Files" / "Tarvic");
  test::writeFile(c.dir / "Program Files" / "Tarvic" / "Meridox.exe", "x");
  const auto expected = c.dir.path() / "Program Files" / "Tarvic" / "Meridox.exe";
  EXPECT_EQ(fs::toNative("C:\\Program Files\\Tarvic\\Meridox.exe"), expected);
  EXPECT_EQ(fs::toNative("c:/PROGRAM FILES//tarvic\\\\MERIDOX.EXE"), expected);
  EXPECT_EQ(fs::toNative("C:\\Program Files\\Tarvic\\.\\x\\..\\meridox.exe"), expected);
  // A missing name keeps the spelling given, below the matched folders.
  EXPECT_EQ(fs::toNative("C:\\program files\\NEW\\File.TXT"), c.dir.path() / "Program Files" / "NEW" / "File.TXT");
  EXPECT_TRUE(fs::fileExists("C:\\PROGRAM FILES\\TARVIC\\MERIDOX.EXE"));
  EXPECT_FALSE(fs::fileExists("C:\\Program Files\\Tarvic"));
  EXPECT_TRUE(fs::folderExists("C:\\Program Files\\Tarvic\\"));
}

// Lookups whose case differs use a kept listing of the folder: every change, made through this
// module or behind its back, must show in the next lookup.
TEST(WindowsPaths, KeptFolderListingsFollowEveryChange) {
  DriveC c;
  std::filesystem::create_directories(c.dir / "App");
  test::writeFile(c.dir / "App" / "One.dll", "1");
  EXPECT_TRUE(fs::fileExists("C:\\APP\\ONE.DLL"));
  EXPECT_FALSE(fs::fileExists("C:\\APP\\TWO.DLL"));
  test::writeFile(c.dir / "App" / "Two.dll", "2");  // not through fs, in the same tick
  EXPECT_TRUE(fs::fileExists("C:\\APP\\TWO.DLL"));
  fs::renameFile("C:\\app\\one.dll", "C:\\App\\Uno.dll");
  EXPECT_EQ(fs::toNative("c:\\app\\UNO.DLL"), c.dir.path() / "App" / "Uno.dll");
  EXPECT_FALSE(fs::fileExists("C:\\APP\\ONE.DLL"));
  fs::deleteFile("C:\\APP\\uno.dll");
  EXPECT_FALSE(fs::fileExists("C:\\APP\\UNO.DLL"));
  std::filesystem::remove(c.dir / "App" / "Two.dll");
  EXPECT_FALSE(fs::fileExists("C:\\app\\two.dll"));
}

TEST(WindowsPaths, NamePartsAndNativePaths) {
  EXPECT_EQ(fs::fileNamePart("C:\\a\\b/c.txt"), "c.txt");
  EXPECT_EQ(fs::folderPart("C:\\a\\b\\c.txt"), "C:\\a\\b");
  EXPECT_EQ(fs::toNative("/tmp//x"), std::filesystem::path("/tmp/x"));
  EXPECT_EQ(fs::toNative("Q:\\x").string().find("/nonexistent-drive-Q"), 0u);
}

TEST(FileOperations, CreateFolderIsOneLevel) {
  DriveC c;
  EXPECT_EQ(errorOf([] { fs::createFolder("C:\\a\\b"); }), err::kPathNotFound);
  EXPECT_EQ(errorOf([] { fs::createFolder("C:\\a"); }), 0);
  EXPECT_EQ(errorOf([] { fs::createFolder("C:\\A"); }), err::kFileAlreadyExists);
  EXPECT_TRUE(fs::folderExists("C:\\a"));
}

TEST(FileOperations, DeleteCopyRenameAndTheirErrors) {
  DriveC c;
  test::writeFile(c.dir / "Patch.exe", "new version");
  test::writeFile(c.dir / "meridox.exe", "old");
  EXPECT_EQ(errorOf([] { fs::copyFile("C:\\patch.EXE", "C:\\Meridox.exe"); }), 0);
  EXPECT_EQ(test::readFile(c.dir / "meridox.exe"), "new version");  // matched case, replaced
  EXPECT_EQ(fs::fileLength("C:\\meridox.exe"), 11u);
  EXPECT_EQ(errorOf([] { fs::copyFile("C:\\missing", "C:\\x"); }), err::kFileNotFound);
  EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\PATCH.exe"); }), 0);
  EXPECT_FALSE(fs::fileExists("C:\\patch.exe"));
  EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\patch.exe"); }), err::kFileNotFound);
  EXPECT_EQ(errorOf([] { fs::renameFile("C:\\meridox.exe", "C:\\m2.exe"); }), 0);
  EXPECT_TRUE(fs::fileExists("C:\\m2.exe"));
}

TEST(FileOperations, InjectedFaultsFailTheNamedOperation) {
  DriveC c;
  test::writeFile(c.dir / "locked.dll", "x");
  fs::injectFault("delete", "locked.dll", err::kPermissionDenied, 2);
  EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\locked.dll"); }), err::kPermissionDenied);
  EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\locked.dll"); }), err::kPermissionDenied);
  EXPECT_TRUE(fs::fileExists("C:\\locked.dll"));
  EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\locked.dll"); }), 0);  // the fault was used up
  fs::clearFaults();
}

TEST(SideFile, KeptSideFileIsResumedAndPlacedUnderTheTargetsSpelling) {
  DriveC c;
  test::writeFile(c.dir / "App.dll", "installed");
  const std::string target = "C:\\APP.DLL";
  auto put = [](fs::SideFile& f, const std::string& s) {
    f.write(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  };
  {
    fs::SideFile side;
    side.create(target);
    put(side, "new ");
    side.keep();  // as a process that ended before the file was whole
  }
  EXPECT_EQ(test::readFile(c.dir / "App.dll.partial"), "new ");
  EXPECT_EQ(test::readFile(c.dir / "App.dll"), "installed");

  fs::SideFile side;
  side.resume(target);
  EXPECT_EQ(side.length(), 4u);
  put(side, "content");
  side.place();
  EXPECT_EQ(test::readFile(c.dir / "App.dll"), "new content");
  EXPECT_FALSE(std::filesystem::exists(c.dir / "App.dll.partial"));
  EXPECT_FALSE(std::filesystem::exists(c.dir / "APP.DLL"));
  EXPECT_EQ(errorOf([&] { side.resume(target); }), err::kFileNotFound);

  {
    fs::SideFile dropped;  // neither placed nor kept: nothing stays
    dropped.create("C:\\other.dll");
    put(dropped, "x");
  }
  EXPECT_FALSE(std::filesystem::exists(c.dir / "other.dll.partial"));
  EXPECT_FALSE(std::filesystem::exists(c.dir / "other.dll"));
}
