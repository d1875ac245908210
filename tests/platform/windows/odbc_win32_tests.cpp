// ODBC through the system's odbc32. Wine's odbc32 hands the calls to the host's driver manager,
// so the SQLite ODBC driver that the Linux tests use serves these too; it is given the host's
// name of the database file.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/odbc/odbc.h"
#include "platform/runtime/error.h"
#include "platform/text/wide.h"

namespace veltrano::odbc {
namespace {

// The name the database driver knows a file by: the host's under Wine, else the file's own.
std::string driverPath(const std::filesystem::path& file) {
  using UnixName = char*(__cdecl*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return text::narrow(file.wstring());
  char* name = unixName(file.c_str());
  std::string out = name ? name : "";
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

TEST(Win32Odbc, AnUnknownDriverRaisesTheDriverManagersText) {
  Connection c;
  try {
    c.open("DRIVER={No Such Driver};SERVER=x;");
    FAIL() << "opened";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kAutomationError);
    EXPECT_NE(e.description().find("No Such Driver"), std::string::npos) << e.description();
  }
  EXPECT_FALSE(c.isOpen());
  EXPECT_THROW(c.execute("select 1"), RuntimeError);
}

TEST(Win32Odbc, KoreanTextNamesAndLongValuesRoundTripThroughTheWideCalls) {
  const auto file = std::filesystem::temp_directory_path() / ("odbc-" + std::to_string(GetCurrentProcessId()) + ".sqlite");
  std::filesystem::remove(file);
  {
    Connection c;
    c.open("DRIVER={SQLite3};DATABASE=" + driverPath(file) + ";");
    c.execute("create table 화물(번호 integer, r real, s text, b blob, n text)");
    // Longer than one read of the driver (characters of the BMP only: the SQLite driver under
    // Wine refuses surrogate pairs).
    std::string long_text;
    for (int i = 0; i < 3000; ++i) long_text += "가나";
    c.execute("insert into 화물 values(7, 1.5, '한글 text', x'00ff10', null), (8, 0, '" + long_text + "', x'', 'a')");
    const auto rs = c.execute("select 번호, r, s, b, n from 화물 order by 번호");
    ASSERT_EQ(rs.columns.size(), 5u);
    EXPECT_EQ(rs.columns[0].name, "번호");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[0][0].toInt32(), 7);
    EXPECT_DOUBLE_EQ(rs.rows[0][1].toDouble(), 1.5);
    EXPECT_EQ(rs.rows[0][2].toString(), "한글 text");
    EXPECT_EQ(rs.rows[0][3].toBytes(), (Bytes{0x00, 0xff, 0x10}));
    EXPECT_TRUE(rs.rows[0][4].isNull());
    EXPECT_EQ(rs.rows[1][2].toString(), long_text);
    try {
      c.execute("select nothing from 화물");
      FAIL() << "ran";
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.description().find("nothing"), std::string::npos) << e.description();
    }
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace veltrano::odbc
