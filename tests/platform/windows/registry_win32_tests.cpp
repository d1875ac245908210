// The registry calls over the real Windows registry: the codes the store gives on Linux, and
// text kept as Windows programs read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/text/ansi.h"
#include "raw_win32.h"
#include "support/test_support.h"

namespace veltrano::reg {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Win32Registry, KoreanTextIsCp949ToCallersAndUtf16InTheRegistry) {
  test::ScopedRegistry store;
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "\\SOFTWARE\\\\VELTRANO\\Test\\", &key), ERROR_SUCCESS);
  const auto ansi = text::toAnsi("화물 관리");
  ASSERT_EQ(RegSetValueExA(key, "Name", REG_SZ, ansi.data(), static_cast<std::uint32_t>(ansi.size())), ERROR_SUCCESS);

  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "name", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, ansi.size());
  std::vector<std::uint8_t> small(3);
  std::uint32_t smallSize = 3;
  EXPECT_EQ(RegQueryValueExA(key, "Name", &type, small.data(), &smallSize), ERROR_MORE_DATA);
  EXPECT_EQ(smallSize, ansi.size());
  std::vector<std::uint8_t> read(size);
  ASSERT_EQ(RegQueryValueExA(key, "Name", &type, read.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(read, ansi);

  // The private store is a part of the real registry, the text in it UTF-16.
  const std::string stored = "Software\\Veltrano\\Stores\\" + [&] {
    std::string n = store.file().string();
    for (char& c : n)
      if (c == '\\' || c == '/' || c == ':') c = '_';
    return n;
  }() + "\\HKEY_CURRENT_USER\\SOFTWARE\\VELTRANO\\Test";
  EXPECT_EQ(test::rawCurrentUserString(stored, "Name"), "화물 관리");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(Win32Registry, ReturnCodesAsTheStoreGivesThem) {
  test::ScopedRegistry store;
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Missing", &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B", &key), ERROR_SUCCESS);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "none", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  const auto dword = bytes(std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(RegSetValueExA(key, "n", REG_DWORD, dword.data(), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "n", REG_DWORD, nullptr, 4), ERROR_INVALID_PARAMETER);
  std::vector<ValueEntry> values;
  ASSERT_EQ(RegEnumValues(key, &values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].data, dword);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "n", &type, nullptr, &size), ERROR_INVALID_HANDLE);

  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A"), ERROR_ACCESS_DENIED);  // has a sub-key
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "\\"), ERROR_INVALID_PARAMETER);

  injectFault("set", ERROR_CANTWRITE);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "X", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "n", REG_DWORD, dword.data(), 4), ERROR_CANTWRITE);
  EXPECT_EQ(RegSetValueExA(key, "n", REG_DWORD, dword.data(), 4), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(Win32Registry, AStoreLeavesTheRealKeysAloneAndIsRemovedWhole) {
  std::string name;
  {
    test::ScopedRegistry store;
    name = store.file().string();
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\VeltranoStoreProbe", &key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VeltranoStoreProbe", &key), ERROR_FILE_NOT_FOUND);
  useStore(name);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VeltranoStoreProbe", &key), ERROR_FILE_NOT_FOUND);
  useStore("");
}

}  // namespace
}  // namespace veltrano::reg
