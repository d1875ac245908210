// The .reg script format and the value data of the registry editor, without a store.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/reg/reg_file.h"
#include "tools/reg/reg_value.h"

namespace veltrano::regtool {
namespace {

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<ExportKey> sampleKeys() {
  Bytes forty;
  for (int i = 0; i < 40; ++i) forty.push_back(static_cast<std::uint8_t>(i));
  return {
      {"HKEY_CURRENT_USER\\Software\\T",
       {
           {"", reg::REG_SZ, bytesOf(std::string("d\0", 2))},
           {"Q\"\\", reg::REG_SZ, bytesOf(std::string("a\"b\\c\0", 6))},
           {"N", reg::REG_DWORD, {0x2A, 0, 0, 0}},
           {"B", reg::REG_BINARY, forty},
           {"E", reg::REG_EXPAND_SZ, bytesOf(std::string("%A%\0", 4))},
           {"M", reg::REG_MULTI_SZ, bytesOf(std::string("a\0b\0\0", 5))},
           {"Q8", reg::REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
           {"Z", reg::REG_SZ, bytesOf(std::string("a\0b\0", 4))},
           {"NZ", reg::REG_SZ, bytesOf("nz")},
           {"0", reg::REG_NONE, {}},
       }},
      {"HKEY_CURRENT_USER\\Software\\T\\Sub", {}},
  };
}

TEST(RegScriptWriter, LaysOutValuesAsRegeditDoes) {
  EXPECT_EQ(regScriptText(sampleKeys()),
            std::string(kHeader) +
                "[HKEY_CURRENT_USER\\Software\\T]\r\n"
                "@=\"d\"\r\n"
                "\"Q\\\"\\\\\"=\"a\\\"b\\\\c\"\r\n"
                "\"N\"=dword:0000002a\r\n"
                "\"B\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
                "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
                "\"E\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                "\"M\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                "\"Q8\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                "\"Z\"=hex(1):61,00,00,00,62,00,00,00\r\n"
                "\"NZ\"=hex(1):6e,00,7a,00\r\n"
                "\"0\"=hex(0):\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\T\\Sub]\r\n"
                "\r\n");
}

TEST(RegScriptWriter, ContinuationLinesHoldTwentyFiveBytes) {
  const std::string text = regScriptText({{"HKEY_USERS\\X", {{"a-rather-long-value-name", reg::REG_BINARY, Bytes(120, 0xEE)}}}});
  std::size_t start = text.find("\"a-rather");
  std::vector<std::string> lines;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (lines.back().empty() || lines.back().back() != '\\') break;
    start = end + 2;
  }
  ASSERT_GE(lines.size(), 3u);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_LE(lines[i].size(), 80u) << lines[i];
  std::string full = "  ";
  for (int i = 0; i < 25; ++i) full += "ee,";
  EXPECT_EQ(lines[1], full + "\\");
}

TEST(RegScriptFile, IsUtf16LittleEndianAfterAByteOrderMark) {
  EXPECT_EQ(regFileBytes("A가\r\n"), std::string("\xFF\xFE" "A\0\x00\xAC\r\0\n\0", 10));
}

TEST(RegScriptReader, ReadsBackWhatTheWriterWrote) {
  const auto keys = sampleKeys();
  for (const std::string& file : {regFileBytes(regScriptText(keys)), regScriptText(keys),
                                  "\xEF\xBB\xBF" + regScriptText(keys)}) {
    const ScriptParse p = parseRegScript(file);
    ASSERT_TRUE(p.ok) << p.line << ": " << p.description;
    ASSERT_EQ(p.keys.size(), keys.size());
    EXPECT_EQ(p.keys[0].root, reg::HKEY_CURRENT_USER);
    EXPECT_EQ(p.keys[0].path, "Software\\T");
    EXPECT_EQ(p.keys[1].path, "Software\\T\\Sub");
    ASSERT_EQ(p.keys[0].values.size(), keys[0].values.size());
    for (std::size_t i = 0; i < keys[0].values.size(); ++i) {
      EXPECT_EQ(p.keys[0].values[i].name, keys[0].values[i].name);
      EXPECT_EQ(p.keys[0].values[i].type, keys[0].values[i].type) << keys[0].values[i].name;
      EXPECT_EQ(p.keys[0].values[i].data, keys[0].values[i].data) << keys[0].values[i].name;
    }
  }
}

TEST(RegScriptReader, AcceptsWhatHandsAndOlderToolsWrite) {
  // A continuation onto a blank line ends the list.
  const ScriptParse p = parseRegScript(
      "REGEDIT4\n[HKEY_USERS\\A]\n\"h\"=hex:1,2,\\\n\n[-HKEY_LOCAL_MACHINE\\Gone]\n");
  ASSERT_TRUE(p.ok) << p.line << ": " << p.description;
  ASSERT_EQ(p.keys.size(), 2u);
  EXPECT_EQ(p.keys[0].values.at(0).data, (Bytes{1, 2}));

  const ScriptParse q = parseRegScript(
      "\r\n  Windows Registry Editor Version 5.00  \r\n"
      "[HKCU\\\\Software\\A\\]\r\n"
      "  \"v\" = \"x\"   ; comment\r\n"
      "\"d\"=DWORD:1f\r\n"
      "\"h\"=hex:1,  2 ,\\\r\n"
      "    3\r\n"
      "\"gone\"=-\r\n"
      "[-HKEY_LOCAL_MACHINE\\Gone]\r\n");
  ASSERT_TRUE(q.ok) << q.line << ": " << q.description;
  ASSERT_EQ(q.keys.size(), 2u);
  EXPECT_EQ(q.keys[0].path, "Software\\A");
  ASSERT_EQ(q.keys[0].values.size(), 4u);
  EXPECT_EQ(q.keys[0].values[0].data, bytesOf(std::string("x\0", 2)));
  EXPECT_EQ(q.keys[0].values[1].data, (Bytes{0x1F, 0, 0, 0}));
  EXPECT_EQ(q.keys[0].values[2].data, (Bytes{1, 2, 3}));
  EXPECT_TRUE(q.keys[0].values[3].remove);
  EXPECT_TRUE(q.keys[1].remove);
  EXPECT_EQ(q.keys[1].root, reg::HKEY_LOCAL_MACHINE);
}

TEST(RegScriptReader, NamesTheLineAtFault) {
  const std::string h = "Windows Registry Editor Version 5.00\n";
  const struct {
    std::string script;
    int line;
  } cases[] = {
      {"", 0},
      {"hello\n", 1},
      {"\n\nREGEDIT5\n", 3},
      {h + "\"v\"=\"x\"\n", 2},
      {h + "[HKEY_NOWHERE\\A]\n", 2},
      {h + "[HKEY_CURRENT_USER\\A\n", 2},
      {h + "[HKEY_CURRENT_USER\\A] junk\n", 2},
      {h + "[-HKEY_CURRENT_USER]\n", 2},
      {h + "[HKCU\\A]\n\"v\"=\"x\n", 3},
      {h + "[HKCU\\A]\n\"v\"\"x\"\n", 3},
      {h + "[HKCU\\A]\n\"v\"=\n", 3},
      {h + "[HKCU\\A]\n\"v\"=\"x\" y\n", 3},
      {h + "[HKCU\\A]\n\"v\"=dword:\n", 3},
      {h + "[HKCU\\A]\n\"v\"=dword:fffffffff\n", 3},
      {h + "[HKCU\\A]\n\"v\"=hex:01,zz\n", 3},
      {h + "[HKCU\\A]\n\"v\"=hex(:01\n", 3},
      {h + "[HKCU\\A]\n\"v\"=hex:01,\\", 3},
      {h + "[HKCU\\A]\n\"v\"=hex:01,\\\n  02 03\n", 4},
      {h + "[HKCU\\A]\n\"v\"=hex(2):41\n", 3},
      {h + "[HKCU\\A]\n\"v\"=str:\"x\"\n", 3},
      {h + "[HKCU\\A]\n\"v\"=-x\n", 3},
      {h + "[HKCU\\A]\nrandom\n", 3},
      {std::string("\xFF\xFEW\0i", 5), 0},
      // A NUL ends a name in every call that reads keys: the key would be made, then lost.
      {h + std::string("[HKCU\\A\0B]\n", 11), 2},
      {h + std::string("[HKCU\\A]\n\"v\0w\"=\"x\"\n", 20), 3},
  };
  for (const auto& c : cases) {
    const ScriptParse p = parseRegScript(c.script);
    EXPECT_FALSE(p.ok) << c.script;
    EXPECT_EQ(p.line, c.line) << c.script << " -> " << p.description;
    EXPECT_FALSE(p.description.empty());
    EXPECT_TRUE(p.keys.empty());
  }
}

// Scripts come from anywhere: damaged ones give a fault with a description, never a crash.
TEST(RegScriptReader, SurvivesDamagedScripts) {
  const std::string utf16 = regFileBytes(regScriptText(sampleKeys()));
  const std::string utf8 = regScriptText(sampleKeys());
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int accepted = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string script = round % 2 ? utf16 : utf8;
    const int edits = 1 + static_cast<int>(next() % 8);
    for (int e = 0; e < edits && !script.empty(); ++e) {
      const std::size_t at = next() % script.size();
      switch (next() % 3) {
        case 0: script[at] = static_cast<char>(next()); break;
        case 1: script.erase(at, 1 + next() % 16); break;
        default: script.insert(at, 1, "\\\"[],=:\n\r;-@"[next() % 12]); break;
      }
    }
    const ScriptParse p = parseRegScript(script);
    if (p.ok) {
      ++accepted;
      for (const auto& key : p.keys) EXPECT_TRUE(reg::rootByName(reg::rootShortName(key.root)).has_value());
    } else {
      EXPECT_FALSE(p.description.empty());
      EXPECT_TRUE(p.keys.empty());
    }
  }
  EXPECT_GT(accepted, 0) << "some small damage (in a string, say) still reads";
}

TEST(RegValueData, ParsesAddDataAndShowsQueryData) {
  EXPECT_EQ(parseData(reg::REG_DWORD, "").data, (Bytes{0, 0, 0, 0}));
  EXPECT_FALSE(parseData(reg::REG_DWORD, "0x").ok);
  EXPECT_FALSE(parseData(reg::REG_DWORD, "12abc").ok);
  EXPECT_EQ(parseData(reg::REG_DWORD_BIG_ENDIAN, "0x01020304").data, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(parseData(reg::REG_QWORD, "0xFFFFFFFFFFFFFFFF").data, Bytes(8, 0xFF));
  EXPECT_FALSE(parseData(reg::REG_QWORD, "18446744073709551616").ok);
  EXPECT_EQ(parseData(reg::REG_MULTI_SZ, "").data, (Bytes{0}));
  EXPECT_EQ(parseData(reg::REG_SZ, "").data, (Bytes{0}));
  EXPECT_EQ(parseData(reg::REG_NONE, "").data, Bytes{});

  EXPECT_EQ(displayData(reg::REG_DWORD_BIG_ENDIAN, Bytes{0, 0, 1, 0}), "0x100");
  EXPECT_EQ(displayData(reg::REG_DWORD, Bytes{1, 2, 3}), "010203") << "a dword of the wrong size shows its bytes";
  EXPECT_EQ(displayData(reg::REG_SZ, Bytes{0xC7, 0xD1, 0xFF}), "한\xEF\xBF\xBD") << "bad CP949 shows U+FFFD";
  EXPECT_EQ(typeName(100), "0x64");
  EXPECT_EQ(typeByName("reg_dword_little_endian"), reg::REG_DWORD);
  EXPECT_FALSE(typeByName("REG_TEXT"));
}

TEST(RegValueData, StringsCrossBetweenCp949AndUtf16WithEveryZeroKept) {
  const Bytes ansi = {'a', 0xB0, 0xA1, 0, 0, 'b', 0};
  const Bytes utf16 = ansiToUtf16le(ansi);
  EXPECT_EQ(utf16, (Bytes{'a', 0, 0x00, 0xAC, 0, 0, 0, 0, 'b', 0, 0, 0}));
  EXPECT_EQ(utf16leToAnsi(utf16), ansi);
  EXPECT_FALSE(utf16leToAnsi(Bytes{'a'}));
  // Bytes that are not CP949 cross as U+DC00 + byte, and only those units come back as bytes.
  EXPECT_EQ(ansiToUtf16le(Bytes{0x80, 'a'}), (Bytes{0x80, 0xDC, 'a', 0}));
  for (const Bytes& odd : {Bytes{0x80}, Bytes{0x80, 0, 0}, Bytes{'a', 0xB0}, Bytes{0xB0, 0xA1, 0xFF, 0xB0, 0xA1},
                           Bytes{0xC9, 0x41, 0}, Bytes{0xFF, 0xFF}})
    EXPECT_EQ(utf16leToAnsi(ansiToUtf16le(odd)), odd) << odd.size();
  EXPECT_EQ(utf16leToAnsi(Bytes{0x3D, 0xD8, 0x80, 0xDC}), (Bytes{'?'})) << "a pair is a character, not a byte";
  EXPECT_EQ(fromUtf16le(utf16le("😀 가")), "😀 가") << "surrogate pairs";
  EXPECT_EQ(fromUtf16le(Bytes{0x00, 0xD8, 'a', 0}), "\xEF\xBF\xBD" "a") << "an unpaired surrogate";
}

}  // namespace
}  // namespace veltrano::regtool
