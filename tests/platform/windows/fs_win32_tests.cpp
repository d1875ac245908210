// Files on Windows: paths as the file system takes them, and the side file's all-or-nothing
// placement with Windows's own replacement.
#include <gtest/gtest.h>

#include <string>

#include "platform/fs/fs.h"
#include "platform/fs/side_file.h"
#include "platform/runtime/error.h"
#include "raw_win32.h"
#include "support/test_support.h"

namespace veltrano::fs {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

int errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(Win32Files, NamesMatchWithoutRegardToCase) {
  test::TempDir dir;
  test::writeFile(dir / "Data.TXT", "12345");
  const std::string folder = dir.path().string();
  EXPECT_TRUE(fileExists(folder + "\\data.txt"));
  EXPECT_TRUE(fileExists(folder + "/DATA.txt"));
  EXPECT_FALSE(folderExists(folder + "\\data.txt"));
  EXPECT_TRUE(folderExists(folder));
  EXPECT_EQ(fileLength(folder + "\\DATA.TXT"), 5u);
  EXPECT_EQ(errorOf([&] { deleteFile(folder + "\\missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(errorOf([&] { createFolder(folder + "\\no\\such"); }), err::kPathNotFound);
}

TEST(Win32Files, SideFileReplacesTheTargetOnlyWhenPlaced) {
  test::TempDir dir;
  const std::string target = (dir / "app.dll").string();
  test::writeFile(target, "old");
  {
    SideFile side;
    side.create(target);
    const auto data = bytes("new content");
    side.write(data.data(), data.size());
    side.flush();
    EXPECT_EQ(test::readFile(target), "old");
    // A program holding the file open keeps it: the complete side file waits for another try.
    ASSERT_TRUE(test::holdOpen(target));
    EXPECT_EQ(errorOf([&] { side.place(); }), err::kPermissionDenied);
    EXPECT_TRUE(side.complete());
    test::closeHeld();
    side.place();
  }
  EXPECT_EQ(test::readFile(target), "new content");
  EXPECT_FALSE(fileExists(SideFile::pathFor(target)));
}

TEST(Win32Files, KeptSideFileIsResumedWithItsBytesHandedOver) {
  test::TempDir dir;
  const std::string target = (dir / "big.bin").string();
  {
    SideFile side;
    side.create(target);
    const auto first = bytes("first half, ");
    side.write(first.data(), first.size());
    side.keep();
  }
  SideFile side;
  std::string seen;
  side.resume(target, [&](const std::uint8_t* p, std::size_t n) { seen.append(reinterpret_cast<const char*>(p), n); });
  EXPECT_EQ(seen, "first half, ");
  const auto second = bytes("second half");
  side.write(second.data(), second.size());
  side.place();
  EXPECT_EQ(test::readFile(target), "first half, second half");

  SideFile discarded;
  discarded.create(target);
  discarded.discard();
  EXPECT_FALSE(fileExists(SideFile::pathFor(target)));
  EXPECT_EQ(test::readFile(target), "first half, second half");
}

}  // namespace
}  // namespace veltrano::fs
