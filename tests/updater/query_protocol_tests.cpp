#include <gtest/gtest.h>

#include <set>

#include "platform/text/vbstring.h"
#include "updater/query_protocol.h"

using namespace meridox;

namespace {
const std::string kKey(128, '5');  // S = 128 * 53 = 6784 = 0x1A80
}

TEST(DigitKey, HundredTwentyEightDigitsWithoutZero) {
  std::set<std::string> keys;
  for (int i = 0; i < 20; ++i) {
    const std::string k = MakeDigitKey();
    ASSERT_EQ(k.size(), 128u);
    EXPECT_EQ(k.find_first_not_of("123456789"), std::string::npos);
    keys.insert(k);
  }
  EXPECT_EQ(keys.size(), 20u);  // keys made one after another differ
}

TEST(KeyedHex, EncodesEachCharacterAsCodePlusKeySum) {
  // "A" = 65 -> 65 + 6784 = 6849 = 0x1AC1.
  EXPECT_EQ(EncDecText("A", kKey, -1), "1AC1I");
  // 가 is 0xB0A1 = -20319 as a signed 16-bit code: -20319 + 6784 = -13535 = -0x34DF.
  EXPECT_EQ(EncDecText("가", kKey, -1), "E34DFI");
  EXPECT_EQ(EncDecText("", kKey, -1), "");
  EXPECT_EQ(EncDecText("A", kKey, 1), "");  // unknown mode
}

TEST(KeyedHex, PositiveTokenThatWouldBeginWithEGetsALeadingZero) {
  // 蔡 is 0xF3F9 = -3079: -3079 + 6784 = 3705 = 0xE79, which a decoder would read as negative.
  EXPECT_EQ(EncDecText("蔡", kKey, -1), "0E79I");
  EXPECT_EQ(EncDecText("0E79I", kKey, 0), "蔡");
  // Other tokens keep their shortest form; the leading "0" of a token is read as hex as well.
  EXPECT_EQ(EncDecText("冊A", kKey, -1), "0E7CI1AC1I");
  EXPECT_EQ(EncDecText("01AC1I", kKey, 0), "A");
}

TEST(KeyedHex, CodeNamingNoCharacterFailsTheText) {
  // 0xF380 - 65536 + 6784 = 3200 = 0xC80: a code of no CP949 character (trail byte 0x80).
  EXPECT_EQ(EncDecText("1AC1IC80I", kKey, 0), "");
  EXPECT_EQ(EncDecText("1AC1I", kKey, 0), "A");
}

TEST(KeyedHex, SelectOfEightCharactersGivesEightTokens) {
  // The blank the exchange appends is not encoded: n counts the trimmed text.
  const std::string encoded = EncDecText("select 1 ", kKey, -1);
  EXPECT_EQ(std::count(encoded.begin(), encoded.end(), 'I'), 8);
}

TEST(KeyedHex, LeadingBlanksCutTheEndOfTheText) {
  // n is the trimmed length, counted from the first character of the untrimmed text.
  EXPECT_EQ(EncDecText(EncDecText("  ab", kKey, -1), kKey, 0), "  ");
}

TEST(KeyedHex, RoundTripsAsciiAndKorean) {
  for (const std::string& key : {kKey, MakeDigitKey(), MakeDigitKey()}) {
    for (const char* s : {"select * from qz_product", "조회된 결과값이 없습니다.",
                                "a가b나 c", "INSERT INTO t VALUES('한글', 1)", "x"}) {
      EXPECT_EQ(EncDecText(EncDecText(s, key, -1), key, 0), std::string(s)) << s;
    }
  }
}

TEST(KeyedHex, BadInputGivesEmptyText) {
  EXPECT_EQ(EncDecText("ZZI", kKey, 0), "");
  EXPECT_EQ(EncDecText("1AC1IEI", kKey, 0), "");  // an empty negative token
  EXPECT_EQ(EncDecText("1AC1", kKey, 0), "");     // no "I": nothing decoded
  // A key whose code sum leaves the 16-bit range fails both ways.
  const std::string huge(700, 'z');
  EXPECT_EQ(EncDecText("abc", huge, -1), "");
}

TEST(StatementClassification, ModifyingStatements) {
  EXPECT_TRUE(IsModifyingStatement("INSERT INTO t VALUES(1) "));
  EXPECT_TRUE(IsModifyingStatement("  delete from t "));
  EXPECT_TRUE(IsModifyingStatement("Update t set a=1"));
  EXPECT_TRUE(IsModifyingStatement("REPLACE INTO t VALUES(1)"));
  EXPECT_FALSE(IsModifyingStatement("SELECT * FROM t"));
  EXPECT_FALSE(IsModifyingStatement("select insert from t"));
  EXPECT_FALSE(IsModifyingStatement("INSERTX"));
  EXPECT_FALSE(IsModifyingStatement(""));
}
