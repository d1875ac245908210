#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace t = veltrano::text;
using veltrano::RuntimeError;

TEST(AnsiText, KoreanRoundTripsThroughCp949) {
  const std::string korean = "조회된 결과값이 없습니다.";
  const auto bytes = t::toAnsi(korean);
  EXPECT_EQ(bytes.size(), t::ansiByteLength(korean));
  EXPECT_EQ(t::fromAnsi(bytes), korean);
  // 가 is B0 A1 in CP949.
  EXPECT_EQ(t::toAnsi("가"), (t::Bytes{0xB0, 0xA1}));
}

// ASCII is copied a word at a time: a character outside ASCII at each position of a word, and
// runs ending at and just past a word's end, must come out the same as one by one.
TEST(AnsiText, AsciiRunsAroundHangulAtEveryOffset) {
  for (std::size_t at = 0; at <= 17; ++at) {
    const std::string utf8 = std::string(at, 'a') + "가" + std::string(17 - at, 'b');
    t::Bytes expected(at, 'a');
    expected.push_back(0xB0), expected.push_back(0xA1);
    expected.insert(expected.end(), 17 - at, 'b');
    EXPECT_EQ(t::toAnsi(utf8), expected) << at;
    EXPECT_EQ(t::toAnsiString(utf8), std::string(expected.begin(), expected.end())) << at;
    EXPECT_EQ(t::fromAnsi(expected), utf8) << at;
  }
}

TEST(AnsiText, ByteLengthCountsHangulTwice) {
  EXPECT_EQ(t::ansiByteLength("가나12"), 6u);
  EXPECT_EQ(t::ansiByteLength(""), 0u);
  EXPECT_EQ(t::ansiByteLength("abc"), 3u);
}

TEST(AnsiText, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(t::toAnsiString("a\xF0\x9F\x98\x80z"), "a?z");  // an emoji has no CP949 form
  EXPECT_EQ(t::toAnsiString("a\xFFz"), "a?z");              // not UTF-8 at all
}

TEST(AnsiText, InvalidCp949BytesBecomeReplacementCharacters) {
  const std::uint8_t loneLead[] = {'a', 0xB0};
  EXPECT_EQ(t::fromAnsi(std::span<const std::uint8_t>(loneLead, 2)), "a\xEF\xBF\xBD");
  const std::uint8_t badPair[] = {0xB0, 0x20};
  EXPECT_EQ(t::fromAnsi(std::span<const std::uint8_t>(badPair, 2)), "\xEF\xBF\xBD ");
}

TEST(AnsiText, AnsiCodeIsSigned16BitBigEndian) {
  EXPECT_EQ(t::ansiCode(U'A'), 65);
  EXPECT_EQ(t::ansiCode(U'가'), static_cast<std::int16_t>(0xB0A1));
  EXPECT_LT(t::ansiCode(U'가'), 0);
  EXPECT_EQ(t::ansiChar(t::ansiCode(U'한')), "한");
  EXPECT_EQ(t::ansiCode(U'\U0001F600'), 63);
}

TEST(VbString, LengthsAndPositionsCountCharacters) {
  EXPECT_EQ(t::Len("가나다"), 3u);
  EXPECT_EQ(t::Left("가나다", 2), "가나");
  EXPECT_EQ(t::Right("가나다", 2), "나다");
  EXPECT_EQ(t::Right("ab", 9), "ab");
  EXPECT_EQ(t::Mid("가나다라", 2, 2), "나다");
  EXPECT_EQ(t::Mid("abc", 5), "");
  EXPECT_THROW(t::Mid("abc", 0), RuntimeError);
  EXPECT_EQ(t::InStr("a가b가", "가"), 2u);
  EXPECT_EQ(t::InStr(3, "a가b가", "가"), 4u);
  EXPECT_EQ(t::InStr("abc", "x"), 0u);
}

TEST(VbString, TrimRemovesBlanksOnly) {
  EXPECT_EQ(t::Trim("  a b  "), "a b");
  EXPECT_EQ(t::Trim("\ta\n"), "\ta\n");
  EXPECT_EQ(t::UCase("abc가xyz"), "ABC가XYZ");
  EXPECT_EQ(t::LCase("ABC"), "abc");
}

TEST(VbString, SplitOfEmptyTextIsEmpty) {
  EXPECT_TRUE(t::Split("", ";").empty());
  EXPECT_EQ(t::Split("A;B;", ";"), (std::vector<std::string>{"A", "B", ""}));
  EXPECT_EQ(t::Split("x", ","), (std::vector<std::string>{"x"}));
}

TEST(VbString, ValReadsTheLeadingNumber) {
  EXPECT_EQ(t::Val("012abc"), 12);
  EXPECT_EQ(t::Val(" 1 2 3"), 123);
  EXPECT_EQ(t::Val("abc"), 0);
  EXPECT_EQ(t::Val("&H1F"), 31);
  EXPECT_EQ(t::Val("-1.5e2x"), -150);
  EXPECT_EQ(t::Val("0" + std::string("")), 0);
}

TEST(VbString, NumericTest) {
  EXPECT_TRUE(t::IsNumeric("123"));
  EXPECT_TRUE(t::IsNumeric(" -1.5E3 "));
  EXPECT_TRUE(t::IsNumeric("1,234"));
  EXPECT_TRUE(t::IsNumeric("&HFF"));
  EXPECT_FALSE(t::IsNumeric(""));
  EXPECT_FALSE(t::IsNumeric("12a"));
  EXPECT_FALSE(t::IsNumeric("-"));
  EXPECT_FALSE(t::IsNumeric("1e"));
}

TEST(VbNumbers, RoundingIsHalfToEven) {
  EXPECT_EQ(t::CInt(2.5), 2);
  EXPECT_EQ(t::CInt(3.5), 4);
  EXPECT_EQ(t::CInt(-2.5), -2);
  EXPECT_EQ(t::CLng(1.5), 2);
  EXPECT_DOUBLE_EQ(t::RoundHalfEven(1.005, 2), 1.0);  // binary 1.005 is below the half
  EXPECT_DOUBLE_EQ(t::RoundHalfEven(0.125, 2), 0.12);
  EXPECT_DOUBLE_EQ(t::RoundHalfEven(0.375, 2), 0.38);
}

TEST(VbNumbers, ConversionsOverflowAndMismatch) {
  EXPECT_EQ(t::CInt(32767.4), 32767);
  try {
    t::CInt(32767.5);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
  }
  try {
    t::CLng(std::string_view(""));
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 13);
  }
}

TEST(VbNumbers, NumberToTextLikeCStr) {
  EXPECT_EQ(t::NumberToText(50.0), "50");
  EXPECT_EQ(t::NumberToText(100.0 / 3.0), "33.3333333333333");
  EXPECT_EQ(t::NumberToText(0.5), "0.5") << "only Str and Print drop the leading zero";
  EXPECT_EQ(t::NumberToText(-0.25), "-0.25");
  EXPECT_EQ(t::NumberToText(1e16), "1E+16");
  EXPECT_EQ(t::NumberToText(1.5e-7), "1.5E-07");
}

TEST(VbNumbers, FormatPatterns) {
  EXPECT_EQ(t::FormatNumber(1234, "###,##0"), "1,234");
  EXPECT_EQ(t::FormatNumber(0, "###,##0"), "0");
  EXPECT_EQ(t::FormatNumber(32768, "###,##0"), "32,768");
  EXPECT_EQ(t::FormatNumber(1234567, "###,##0"), "1,234,567");
  EXPECT_EQ(t::FormatNumber(123, "###,##0"), "123");
  EXPECT_EQ(t::FormatNumber(42.4, "0"), "42");
  EXPECT_EQ(t::FormatNumber(2.5, "0"), "2");
  EXPECT_EQ(t::FormatNumber(2, "#0"), "2");
  EXPECT_EQ(t::FormatNumber(0, "#0"), "0");
  EXPECT_EQ(t::FormatNumber(1234.5, "#,##0.00"), "1,234.50");
  EXPECT_EQ(t::FormatNumber(-1234, "###,##0"), "-1,234");
}

TEST(AnsiText, Utf8Validity) {
  EXPECT_TRUE(t::IsValidUtf8("plain 한글 \xEF\xBF\xBD"));  // a real U+FFFD is valid
  EXPECT_FALSE(t::IsValidUtf8("\xC0\xAF"));              // overlong "/"
  EXPECT_FALSE(t::IsValidUtf8("\xED\xA0\x80"));          // a surrogate
  EXPECT_FALSE(t::IsValidUtf8("ab\xEA\xB0"));            // truncated at the end
  EXPECT_FALSE(t::IsValidUtf8("\xB0\xA1"));              // CP949 bytes
}
