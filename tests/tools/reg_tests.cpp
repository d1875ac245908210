// The registry editor as people and scripts use it: the program run in its own process on a
// registry store shared with this test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "support/test_support.h"
#include "updater/cls_sysreg.h"

namespace {

using namespace veltrano;
using Bytes = std::vector<std::uint8_t>;

struct RegRun {
  int exitCode;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class RegTool : public ::testing::Test {
 protected:
  // Runs reg with `args`, `input` on its standard input, on this test's store or on `store`.
  RegRun reg(const std::vector<std::string>& args, const std::string& input = "", const std::string& store = "") {
    test::writeFile(files_ / "stdin", input);
    std::string cmd = store.empty() ? "" : "VELTRANO_REGISTRY=" + quoted(store) + " ";
    cmd += quoted(test::builtProgram("tools/reg/reg").string());
    for (const auto& a : args) cmd += " " + quoted(a);
    cmd += " <" + quoted((files_ / "stdin").string()) + " 2>" + quoted((files_ / "stderr").string());
    const auto r = test::run(cmd);
    return {r.exitCode, r.out, test::readFile(files_ / "stderr")};
  }

  static long write(const std::string& sub, const std::string& name, std::uint32_t type, const Bytes& data) {
    reg::HKEY h = 0;
    if (long rc = reg::RegCreateKeyA(reg::HKEY_CURRENT_USER, sub, &h)) return rc;
    const long rc = reg::RegSetValueExA(h, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    reg::RegCloseKey(h);
    return rc;
  }

  static Bytes read(const std::string& sub, const std::string& name) {
    reg::HKEY h = 0;
    Bytes data(4096);
    std::uint32_t type = 0, size = 4096;
    if (reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, sub, &h) ||
        reg::RegQueryValueExA(h, name, &type, data.data(), &size))
      data.clear();
    else
      data.resize(size);
    reg::RegCloseKey(h);
    return data;
  }

  test::ScopedRegistry store_;
  test::TempDir files_;
};

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

// ---- add and query ---------------------------------------------------------------------

TEST_F(RegTool, KoreanTextAddedByOneProcessIsQueriedByAnotherAndReadByTheRegistryClass) {
  const RegRun add = reg({"add", "HKCU\\Software\\Veltrano\\Test", "/v", "이름", "/d", "한글 값"});
  EXPECT_EQ(add.exitCode, 0) << add.err;
  EXPECT_EQ(add.out, kDone);

  const RegRun query = reg({"query", "HKCU\\Software\\Veltrano\\Test", "/v", "이름"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  EXPECT_EQ(query.out, "\nHKEY_CURRENT_USER\\Software\\Veltrano\\Test\n    이름    REG_SZ    한글 값\n\n");

  // In the store: CP949 bytes with their terminating zero, as the Win32 "A" calls write them.
  EXPECT_EQ(read("Software\\Veltrano\\Test", "이름"), (Bytes{0xC7, 0xD1, 0xB1, 0xDB, 0x20, 0xB0, 0xAA, 0x00}));
  meridox::cls_SysREg r;
  r.hKey(reg::HKEY_CURRENT_USER);
  r.KeyPath("Software\\Veltrano");
  r.KeyName("Test");
  r.KeyValue("이름");
  EXPECT_EQ(r.GetRegistry(), "한글 값");

  // And text the registry class wrote (no terminator) shows whole.
  r.KeyValue("SERVER_PATH");
  r.SetRegistry("서버 주소");
  EXPECT_EQ(reg({"query", "HKCU\\Software\\Veltrano\\Test", "/v", "SERVER_PATH"}).out,
            "\nHKEY_CURRENT_USER\\Software\\Veltrano\\Test\n    SERVER_PATH    REG_SZ    서버 주소\n\n");
}

TEST_F(RegTool, QueryShowsEveryTypeAsWindowsPrintsIt) {
  ASSERT_EQ(write("Software\\Shapes", "", reg::REG_SZ, {'d', 'e', 'f', 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Count", reg::REG_DWORD, {0xD2, 0x04, 0, 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Big", reg::REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Blob", reg::REG_BINARY, {0x00, 0xAB, 0x10}), 0);
  ASSERT_EQ(write("Software\\Shapes", "List", reg::REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Path", reg::REG_EXPAND_SZ, {'%', 'T', '%', 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Cut", reg::REG_SZ, {'a', 'b', 0, 'c', 'd', 0}), 0);
  ASSERT_EQ(write("Software\\Shapes", "Empty", reg::REG_SZ, {}), 0);
  ASSERT_EQ(write("Software\\Shapes\\Inner", "x", reg::REG_SZ, {'1', 0}), 0);
  ASSERT_EQ(write("Software\\Shapes\\Another", "", reg::REG_SZ, {'2', 0}), 0);

  const RegRun q = reg({"query", "hkey_current_user\\Software\\Shapes"});
  EXPECT_EQ(q.exitCode, 0);
  EXPECT_EQ(q.out,
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\n"
            "    (Default)    REG_SZ    def\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Blob    REG_BINARY    00AB10\n"
            "    Count    REG_DWORD    0x4d2\n"
            "    Cut    REG_SZ    ab\n"
            "    Empty    REG_SZ    \n"
            "    List    REG_MULTI_SZ    a\\0bc\n"
            "    Path    REG_EXPAND_SZ    %T%\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\\Another\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\\Inner\n"
            "\n");

  EXPECT_EQ(reg({"query", "HKCU\\Software\\Shapes", "/v", "COUNT"}).out,
            "\nHKEY_CURRENT_USER\\Software\\Shapes\n    COUNT    REG_DWORD    0x4d2\n\n");
  EXPECT_EQ(reg({"query", "HKCU\\Software\\Shapes", "/v", "List", "/se", ","}).out,
            "\nHKEY_CURRENT_USER\\Software\\Shapes\n    List    REG_MULTI_SZ    a,bc\n\n");
  EXPECT_EQ(reg({"query", "HKCU\\Software\\Shapes\\Inner", "/ve"}).out,
            "\nHKEY_CURRENT_USER\\Software\\Shapes\\Inner\n    (Default)    REG_SZ    (value not set)\n\n");

  EXPECT_EQ(reg({"query", "HKCU\\Software\\Shapes", "/s"}).out,
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\n"
            "    (Default)    REG_SZ    def\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Blob    REG_BINARY    00AB10\n"
            "    Count    REG_DWORD    0x4d2\n"
            "    Cut    REG_SZ    ab\n"
            "    Empty    REG_SZ    \n"
            "    List    REG_MULTI_SZ    a\\0bc\n"
            "    Path    REG_EXPAND_SZ    %T%\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\\Another\n"
            "    (Default)    REG_SZ    2\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\\Inner\n"
            "    x    REG_SZ    1\n"
            "\n");

  const RegRun search = reg({"query", "HKCU\\Software", "/ve", "/s"});
  EXPECT_EQ(search.exitCode, 0);
  EXPECT_EQ(search.out,
            "\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\n    (Default)    REG_SZ    def\n\n"
            "HKEY_CURRENT_USER\\Software\\Shapes\\Another\n    (Default)    REG_SZ    2\n\n"
            "End of search: 2 match(es) found.\n");
  EXPECT_EQ(reg({"query", "HKCU\\Software", "/v", "nothing", "/s"}).exitCode, 1);
}

TEST_F(RegTool, AddStoresEachTypeAsTheWin32CallsDo) {
  const struct {
    std::vector<std::string> args;
    Bytes stored;
  } cases[] = {
      {{"/v", "s"}, {0}},
      {{"/v", "d", "/t", "REG_DWORD", "/d", "0x1F"}, {0x1F, 0, 0, 0}},
      {{"/v", "d2", "/t", "reg_dword", "/d", "4294967295"}, {0xFF, 0xFF, 0xFF, 0xFF}},
      {{"/v", "q", "/t", "REG_QWORD", "/d", "1"}, {1, 0, 0, 0, 0, 0, 0, 0}},
      {{"/v", "b", "/t", "REG_BINARY", "/d", "0aFF0"}, {0x00, 0xAF, 0xF0}},
      {{"/v", "m", "/t", "REG_MULTI_SZ", "/d", "x\\0가"}, {'x', 0, 0xB0, 0xA1, 0, 0}},
      {{"/v", "m2", "/t", "REG_MULTI_SZ", "/s", ";", "/d", "a;b;"}, {'a', 0, 'b', 0, 0}},
      {{"/v", "e", "/t", "REG_EXPAND_SZ", "/d", "%WINDIR%"}, {'%', 'W', 'I', 'N', 'D', 'I', 'R', '%', 0}},
      {{"/ve", "/d", "default"}, {'d', 'e', 'f', 'a', 'u', 'l', 't', 0}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"add", "HKCU\\Software\\Added"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RegRun r = reg(args);
    EXPECT_EQ(r.exitCode, 0) << c.args[1] << r.err;
    const std::string name = c.args[0] == "/ve" ? "" : c.args[1];
    EXPECT_EQ(read("Software\\Added", name), c.stored) << c.args[1];
  }
  // A key alone.
  EXPECT_EQ(reg({"add", "HKLM\\SOFTWARE\\VELTRANO\\DEPLOY"}).out, kDone);
  reg::HKEY h = 0;
  EXPECT_EQ(reg::RegOpenKeyA(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\VELTRANO\\DEPLOY", &h), 0);
  reg::RegCloseKey(h);
}

TEST_F(RegTool, AddOverAnExistingValueAsksFirst) {
  ASSERT_EQ(reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "first"}).exitCode, 0);
  const std::string question = "Value v exists, overwrite(Yes/No)? ";

  for (const char* refusal : {"", "no\n", "N\n", "maybe\nno\n"}) {
    const RegRun r = reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "second"}, refusal);
    EXPECT_EQ(r.exitCode, 1) << refusal;
    EXPECT_EQ(r.out.rfind(question, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("The operation was canceled by the user."), std::string::npos);
    EXPECT_EQ(read("Software\\Ask", "v"), (Bytes{'f', 'i', 'r', 's', 't', 0})) << refusal;
  }
  const RegRun yes = reg({"add", "HKCU\\Software\\Ask", "/v", "V", "/d", "second"}, "yes\n");
  EXPECT_EQ(yes.exitCode, 0);
  EXPECT_EQ(yes.out, "Value V exists, overwrite(Yes/No)? The operation completed successfully.\n");
  EXPECT_EQ(read("Software\\Ask", "v"), (Bytes{'s', 'e', 'c', 'o', 'n', 'd', 0}));

  const RegRun forced = reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "third", "/f"});
  EXPECT_EQ(forced.out, kDone) << "no question with /f";
  EXPECT_EQ(read("Software\\Ask", "v"), (Bytes{'t', 'h', 'i', 'r', 'd', 0}));
}

// ---- delete ----------------------------------------------------------------------------

TEST_F(RegTool, DeleteTakesValuesAllValuesOrTheWholeTree) {
  for (const char* name : {"a", "b", ""}) ASSERT_EQ(write("Software\\Del", name, reg::REG_SZ, {'x', 0}), 0);
  ASSERT_EQ(write("Software\\Del\\Sub\\Deeper", "c", reg::REG_SZ, {'y', 0}), 0);

  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del", "/v", "a", "/f"}).out, kDone);
  EXPECT_TRUE(read("Software\\Del", "a").empty());
  const RegRun missing = reg({"delete", "HKCU\\Software\\Del", "/v", "a", "/f"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, kNotFound);

  const RegRun refused = reg({"delete", "HKCU\\Software\\Del", "/ve"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.out.rfind("Delete the registry value (Default) (Yes/No)? ", 0), 0u);
  EXPECT_FALSE(read("Software\\Del", "").empty());
  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del", "/ve"}, "y\n").exitCode, 0);
  EXPECT_TRUE(read("Software\\Del", "").empty());

  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del", "/va", "/f"}).exitCode, 0);
  EXPECT_TRUE(read("Software\\Del", "b").empty());
  EXPECT_FALSE(read("Software\\Del\\Sub\\Deeper", "c").empty()) << "/va leaves sub-keys alone";

  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del"}, "").exitCode, 1) << "no answer, no delete";
  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del", "/f"}).out, kDone);
  reg::HKEY h = 0;
  EXPECT_EQ(reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, "Software\\Del", &h), reg::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, "Software", &h), 0) << "the parent stays";
  reg::RegCloseKey(h);
  EXPECT_EQ(reg({"delete", "HKCU\\Software\\Del", "/f"}).err, kNotFound);
}

// ---- export and import -----------------------------------------------------------------

TEST_F(RegTool, ExportThenImportIntoAnEmptyStoreGivesTheSameTree) {
  Bytes longBinary;
  for (int i = 0; i < 100; ++i) longBinary.push_back(static_cast<std::uint8_t>(i * 37));
  ASSERT_EQ(write("Software\\Tree", "", reg::REG_SZ, {'r', 'o', 'o', 't', 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "Quote \"and\" \\slash", reg::REG_SZ, {'C', ':', '\\', '"', 'x', '"', 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "한글", reg::REG_SZ, {0xC7, 0xD1, 0xB1, 0xDB, 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "NoZero", reg::REG_SZ, {'n', 'z'}), 0);
  ASSERT_EQ(write("Software\\Tree", "Empty", reg::REG_SZ, {}), 0);
  ASSERT_EQ(write("Software\\Tree", "Inner zero", reg::REG_SZ, {'a', 0, 'b', 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "Lines", reg::REG_SZ, {'1', '\r', '\n', '2', 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "Count", reg::REG_DWORD, {1, 2, 3, 4}), 0);
  ASSERT_EQ(write("Software\\Tree", "Short dword", reg::REG_DWORD, {1, 2}), 0);
  ASSERT_EQ(write("Software\\Tree", "Big", reg::REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}), 0);
  ASSERT_EQ(write("Software\\Tree", "Long", reg::REG_BINARY, longBinary), 0);
  ASSERT_EQ(write("Software\\Tree", "Expand", reg::REG_EXPAND_SZ, {'%', 'A', '%', '\\', 0xB0, 0xA1, 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "Multi", reg::REG_MULTI_SZ, {'o', 'n', 'e', 0, 0xB0, 0xA1, 0, 0}), 0);
  ASSERT_EQ(write("Software\\Tree", "Nothing", reg::REG_NONE, {}), 0);
  ASSERT_EQ(write("Software\\Tree\\Empty key\\Below", "v", reg::REG_SZ, {'v', 0}), 0);
  ASSERT_EQ(write("Software\\Tree\\설정", "글꼴", reg::REG_SZ, {0xB1, 0xDB, 0}), 0);

  const std::string file = (files_ / "tree.reg").string();
  const RegRun exported = reg({"export", "HKCU\\Software\\Tree", file});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(exported.out, kDone);
  const std::string bytes = test::readFile(file);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4)) << "UTF-16LE with a byte-order mark";
  EXPECT_NE(bytes.find(std::string("\r\0\n\0", 4)), std::string::npos) << "CRLF line ends";

  const std::string other = (files_ / "other.db").string();
  const RegRun imported = reg({"import", file}, "", other);
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(imported.out, kDone);

  const RegRun before = reg({"query", "HKCU\\Software\\Tree", "/s"});
  const RegRun after = reg({"query", "HKCU\\Software\\Tree", "/s"}, "", other);
  EXPECT_EQ(before.exitCode, 0);
  EXPECT_EQ(after.out, before.out);
  EXPECT_NE(before.out.find("    한글    REG_SZ    한글\n"), std::string::npos) << before.out;

  // Exporting over the file asks first; /y does not.
  const RegRun again = reg({"export", "HKCU\\Software\\Tree", file});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.out.rfind("File " + file + " already exists. Overwrite (Yes/No)? ", 0), 0u);
  EXPECT_EQ(reg({"export", "HKCU\\Software\\Tree\\설정", file, "/y"}).exitCode, 0);
  EXPECT_LT(test::readFile(file).size(), bytes.size());
  EXPECT_EQ(reg({"export", "HKCU\\Software\\Missing", file, "/y"}).err, kNotFound);
}

TEST_F(RegTool, ExportWritesEveryStoredByteAndImportGivesThemBack) {
  // Scripts once bent by the round trip: 0x80 (no CP949 character) came back as '?', and a
  // string stored without its terminating zero gained one.
  const std::string file = (files_ / "bytes.reg").string();
  test::writeFile(file, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Bytes]\n\"multi\"=hex(7):80\n\"bare\"=hex(1):\n");
  ASSERT_EQ(reg({"import", file}).exitCode, 0);
  ASSERT_EQ(write("Software\\Bytes", "no zero", reg::REG_SZ, {'n', 'z'}), 0);
  ASSERT_EQ(write("Software\\Bytes", "lead at end", reg::REG_EXPAND_SZ, {'a', 0xB0}), 0);
  ASSERT_EQ(write("Software\\Bytes", "mixed", reg::REG_SZ, {0xB0, 0xA1, 0xFF, '"', 0}), 0);
  const std::vector<std::pair<std::string, Bytes>> stored = {
      {"multi", {0x80}}, {"bare", {}}, {"no zero", {'n', 'z'}}, {"lead at end", {'a', 0xB0}},
      {"mixed", {0xB0, 0xA1, 0xFF, '"', 0}}};
  for (const auto& [name, bytes] : stored) ASSERT_EQ(read("Software\\Bytes", name), bytes) << name;

  ASSERT_EQ(reg({"export", "HKCU\\Software\\Bytes", file, "/y"}).exitCode, 0);
  const std::string other = (files_ / "bytes.db").string();
  const RegRun imported = reg({"import", file}, "", other);
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  reg::useStore(other);
  for (const auto& [name, bytes] : stored) EXPECT_EQ(read("Software\\Bytes", name), bytes) << name;
  reg::useStore(store_.file().string());
}

TEST_F(RegTool, ImportRefusesAKeyNameHoldingNul) {
  const std::string file = (files_ / "nul.reg").string();
  test::writeFile(file, "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\SOFTWARE\\VELTRANO\\KEEP" +
                            std::string("\0X", 2) + "]\r\n\"a\"=\"b\"\r\n");
  const RegRun r = reg({"import", file});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "ERROR: Unable to import " + file + ": line 2: the key name holds a NUL character.\n");
  EXPECT_TRUE(read("SOFTWARE\\VELTRANO\\KEEP", "a").empty());
}

TEST_F(RegTool, ImportReadsUtf8AndRegedit4ScriptsAndAppliesDeletions) {
  ASSERT_EQ(write("Software\\Import\\Old\\Child", "x", reg::REG_SZ, {'x', 0}), 0);
  ASSERT_EQ(write("Software\\Import", "gone", reg::REG_SZ, {'g', 0}), 0);
  ASSERT_EQ(write("Software\\Import", "kept", reg::REG_SZ, {'k', 0}), 0);

  const std::string utf8 = (files_ / "utf8.reg").string();
  test::writeFile(utf8,
                  "Windows Registry Editor Version 5.00\n"
                  "\n"
                  "; made by hand\n"
                  "[-HKEY_CURRENT_USER\\Software\\Import\\Old]\n"
                  "[-HKEY_CURRENT_USER\\Software\\Import\\Never there]\n"
                  "\n"
                  "[HKEY_CURRENT_USER\\Software\\Import]\n"
                  "\"gone\"=-\n"
                  "\"missing\"=-\n"
                  "\"이름\"=\"한글 값\"\n"
                  "\"Path\"=hex(2):25,00,41,00,25,00,5c,00,00,ac,00,00\n"
                  "\"Wrapped\"=hex:01,02,\\\n"
                  "  03,04\n"
                  "@=dword:0000002a ; the answer\n");
  const RegRun r5 = reg({"import", utf8});
  ASSERT_EQ(r5.exitCode, 0) << r5.err;
  reg::HKEY h = 0;
  EXPECT_EQ(reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, "Software\\Import\\Old", &h), reg::ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(read("Software\\Import", "gone").empty());
  EXPECT_EQ(read("Software\\Import", "kept"), (Bytes{'k', 0}));
  EXPECT_EQ(read("Software\\Import", "이름"), (Bytes{0xC7, 0xD1, 0xB1, 0xDB, 0x20, 0xB0, 0xAA, 0x00}));
  EXPECT_EQ(read("Software\\Import", "Path"), (Bytes{'%', 'A', '%', '\\', 0xB0, 0xA1, 0}));
  EXPECT_EQ(read("Software\\Import", "Wrapped"), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(read("Software\\Import", ""), (Bytes{42, 0, 0, 0}));

  // REGEDIT4: ANSI text (here CP949) and hex(2) data as ANSI bytes.
  const std::string old = (files_ / "old.reg").string();
  test::writeFile(old,
                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
                  "\"\xC0\xCC\xB8\xA7\"=\"\xB0\xAA\"\r\n"
                  "\"Path\"=hex(2):25,41,25,b0,a1,00\r\n");
  const RegRun r4 = reg({"import", old});
  ASSERT_EQ(r4.exitCode, 0) << r4.err;
  EXPECT_EQ(reg({"query", "HKLM\\SOFTWARE\\Old"}).out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Old\n"
            "    Path    REG_EXPAND_SZ    %A%가\n"
            "    이름    REG_SZ    값\n\n");
}

TEST_F(RegTool, FaultyScriptChangesNothingAndNamesTheLine) {
  const std::string file = (files_ / "bad.reg").string();
  test::writeFile(file,
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Half]\r\n"
                  "\"ok\"=\"fine\"\r\n"
                  "\"bad\"=dword:123456789\r\n");
  const RegRun r = reg({"import", file});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "ERROR: Unable to import " + file + ": line 5: dword: takes 1 to 8 hex digits.\n");
  reg::HKEY h = 0;
  EXPECT_EQ(reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, "Software\\Half", &h), reg::ERROR_FILE_NOT_FOUND);

  test::writeFile(file, "just text\n");
  EXPECT_NE(reg({"import", file}).err.find("not a registry script"), std::string::npos);
  EXPECT_EQ(reg({"import", (files_ / "absent.reg").string()}).err,
            "ERROR: Error opening the file. There may be a disk or file system error.\n");
  EXPECT_EQ(reg({"import", files_.path().string()}).exitCode, 1) << "a folder is no script";
}

// ---- bad input and a bad store ---------------------------------------------------------

TEST_F(RegTool, BadInputGivesTheWindowsMessageAndExitCode1) {
  ASSERT_EQ(write("Software\\Bad", "v", reg::REG_SZ, {'v', 0}), 0);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
      {{"compare", "HKCU\\A", "HKCU\\B"}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
      {{"query"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKXX\\Software"}, "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "\\\\server\\HKLM\\Software"}, "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Bad", "/v"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Bad", "/v", "v", "/ve"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Bad", "/s", "/s"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Bad", "/x"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Bad", "extra"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"query", "HKCU\\Software\\Nowhere"}, kNotFound},
      {{"query", "HKCU\\Software\\Bad", "/v", "nope"}, kNotFound},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_DWORD", "/d", "abc"},
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"},
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_DWORD", "/d", "-1"},
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_BINARY", "/d", "0g"},
       "ERROR: Invalid syntax. Specify valid hexadecimal value for '/d'.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_TEXT"},
       "ERROR: Invalid syntax. Unknown data type 'REG_TEXT' for '/t'.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/s", ","},
       "ERROR: Invalid syntax. '/s' takes one character and REG_MULTI_SZ data.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/v", "n", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
       "ERROR: Invalid syntax. An empty string cannot stand inside a REG_MULTI_SZ value.\n"
       "Type \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\Bad", "/d"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
      {{"delete", "HKCU", "/f"}, "ERROR: Invalid key name.\nType \"REG DELETE /?\" for usage.\n"},
      {{"delete", "HKCU\\Software\\Bad", "/v", "v", "/va", "/f"},
       "ERROR: Invalid syntax.\nType \"REG DELETE /?\" for usage.\n"},
      {{"export", "HKCU\\Software\\Bad"}, "ERROR: Invalid syntax.\nType \"REG EXPORT /?\" for usage.\n"},
      {{"export", "HKCU\\Software\\Bad", "/nonexistent/dir/x.reg", "/y"},
       "ERROR: Error opening the file. There may be a disk or file system error.\n"},
      {{"import"}, "ERROR: Invalid syntax.\nType \"REG IMPORT /?\" for usage.\n"},
  };
  for (const auto& c : cases) {
    const RegRun r = reg(c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.exitCode, 1) << shown;
    EXPECT_EQ(r.err, c.err) << shown;
    EXPECT_EQ(r.out.find("The operation completed successfully."), std::string::npos) << shown;
  }
  EXPECT_EQ(read("Software\\Bad", "n").size(), 0u) << "no failed add wrote anything";
  const RegRun help = reg({"add", "/?"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("REG ADD KeyName"), std::string::npos);
}

TEST_F(RegTool, ReadingOrDeletingNeverCreatesAStore) {
  const auto typo = files_.path() / "veltrano-typo" / "registry.db";
  const std::string expected = std::string(kNotFound) + "The registry store " + typo.string() + " does not exist.\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"query", "HKCU\\Software"},
           {"query", "HKCU\\Software", "/v", "x", "/s"},
           {"delete", "HKCU\\Software", "/f"},
           {"export", "HKCU\\Software", (files_ / "x.reg").string()}}) {
    const RegRun r = reg(args, "", typo.string());
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.err, expected) << args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(typo.parent_path()));
  EXPECT_FALSE(std::filesystem::exists(files_ / "x.reg"));
  EXPECT_EQ(reg({"add", "HKCU\\Software\\New", "/f"}, "", typo.string()).exitCode, 0) << "adding makes the store";
  EXPECT_EQ(reg({"query", "HKCU\\Software\\New"}, "", typo.string()).exitCode, 0);
}

TEST_F(RegTool, EveryHelpSpellingPrintsTheUsage) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"/?"}, {"-h"}, {"--help"}, {"query", "--help"}, {"QUERY", "-h"}}) {
    const RegRun r = reg(args);
    EXPECT_EQ(r.exitCode, 0) << args.back();
    EXPECT_NE(r.out.find("REG "), std::string::npos) << args.back();
    EXPECT_EQ(r.err, "") << args.back();
  }
}

TEST_F(RegTool, DamagedOrUnopenableStoreGivesAClearMessage) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
  test::writeFile(store_.file(), garbage);
  const std::string expected = "ERROR: The configuration registry database is corrupt.\nThe registry store " +
                               store_.file().string() + " cannot be opened or is damaged.\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"query", "HKCU\\Software"},
           {"add", "HKCU\\Software", "/v", "x", "/d", "y", "/f"},
           {"delete", "HKCU\\Software", "/f"},
           {"export", "HKCU\\Software", (files_ / "x.reg").string()}}) {
    const RegRun r = reg(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.err, expected) << args[0];
  }
  EXPECT_EQ(test::readFile(store_.file()), garbage) << "the damaged store is left as it was";

  const std::string folder = files_.path().string();
  const RegRun r = reg({"query", "HKCU\\Software"}, "", folder);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "ERROR: The configuration registry key could not be opened.\nThe registry store " + folder +
                       " cannot be opened or is damaged.\n");
}

TEST_F(RegTool, FullDiskSaysSoAndNothingIsLost) {
  // A small tmpfs in a mount namespace of the child's own; the store on it, the rest filled.
  const std::string disk = (files_ / "disk").string();
  std::filesystem::create_directory(disk);
  const std::string tool = quoted(test::builtProgram("tools/reg/reg").string());
  const std::string script =
      "mount -t tmpfs -o size=256k tmpfs " + quoted(disk) + " || exit 77\n"
      "export VELTRANO_REGISTRY=" + quoted(disk + "/registry.db") + "\n" +
      tool + " add 'HKCU\\Software\\Kept' /v v /d kept /f >/dev/null || exit 2\n"
      "head -c 4194304 /dev/zero > " + quoted(disk + "/fill") + " 2>/dev/null\n" +
      tool + " query 'HKCU\\Software\\Kept' /v v 2>&1; echo \"exit $?\"\n"
      "rm " + quoted(disk + "/fill") + "\n" +
      tool + " query 'HKCU\\Software\\Kept' /v v 2>&1\n";
  if (test::run("unshare -m --propagation private true 2>/dev/null").exitCode != 0)
    GTEST_SKIP() << "no mount namespace may be made here";
  const auto r = test::run("unshare -m --propagation private sh -c " + quoted(script + "echo end\n") + " 2>/dev/null");
  if (r.exitCode == 77) GTEST_SKIP() << "no tmpfs may be mounted here";
  EXPECT_EQ(r.out,
            "ERROR: There is not enough space on the disk.\nThe registry store " + disk +
                "/registry.db cannot be written or read for lack of space; nothing stored is lost.\n"
                "exit 1\n"
                "\nHKEY_CURRENT_USER\\Software\\Kept\n    v    REG_SZ    kept\n\nend\n");
}

}  // namespace
