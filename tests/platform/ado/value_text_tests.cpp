// The text forms of values in ADO's XML rowsets, and the decoding of XML byte streams:
// tables of inputs and expected outputs.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/ado/value_text.h"
#include "platform/runtime/variant.h"
#include "platform/xml/xml_encoding.h"

namespace veltrano::ado::value_text {
namespace {

TEST(ValueText, CurrencyParsesExactly) {
  struct Case {
    const char* text;
    bool ok;
    std::int64_t scaled;
  } cases[] = {
      {"1234.56", true, 12345600},
      {"-7.89", true, -78900},
      {"0", true, 0},
      {"+5", true, 50000},
      {".5", true, 5000},
      {"-922337203685477.5808", true, std::numeric_limits<std::int64_t>::min()},
      {"922337203685477.5807", true, std::numeric_limits<std::int64_t>::max()},
      {"922337203685477.5808", false, 0},
      {"1.23455", true, 12346},  // half to even: ...45|5 rounds up to the even 6
      {"1.23445", true, 12344},  // ...44|5 stays on the even 4
      {"1.234451", true, 12345},
      {" 12 ", true, 120000},
      {"", false, 0},
      {".", false, 0},
      {"1e3", false, 0},
      {"12,000", false, 0},
  };
  for (const Case& c : cases) {
    std::int64_t v = -1;
    EXPECT_EQ(parseCurrency(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.scaled) << c.text;
    }
  }
}

TEST(ValueText, CurrencyWritesUpToFourDecimals) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {12345600, "1234.56"}, {0, "0"}, {-78900, "-7.89"}, {1, "0.0001"}, {-10000, "-1"},
      {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
  };
  for (const auto& [scaled, text] : cases) {
    std::string out;
    appendCurrency(out, scaled);
    EXPECT_EQ(out, text);
  }
}

TEST(ValueText, NumbersInAdoForms) {
  auto d = [](double v) {
    std::string s;
    appendDouble(s, v);
    return s;
  };
  EXPECT_EQ(d(3.14159), "3.1415899999999999");
  EXPECT_EQ(d(-123456789.125), "-123456789.125");
  EXPECT_EQ(d(-0.25), "-0.25");
  EXPECT_EQ(d(0.0), "0");
  EXPECT_EQ(d(-0.0), "0");
  EXPECT_EQ(d(1e20), "1e+20");
  std::string s;
  appendSingle(s, -12345.25f);
  EXPECT_EQ(s, "-12345.25");
  s.clear();
  appendNumeric(s, 0, 10);
  EXPECT_EQ(s, ".0000000000");
  s.clear();
  appendNumeric(s, -1.2345, 4);
  EXPECT_EQ(s, "-1.2345");
  // Every scale up to 255 and every magnitude is written whole, the double's exact digits:
  // 1e200 at scale 255 takes 456 characters (once, bytes past a 400-byte buffer were copied
  // out).
  s.clear();
  ASSERT_TRUE(appendNumeric(s, 1e200, 255));
  char exact[600];
  std::snprintf(exact, sizeof exact, "%.255f", 1e200);
  EXPECT_EQ(s, exact);
  EXPECT_EQ(s.size(), 456u);
  s.clear();
  ASSERT_TRUE(appendNumeric(s, -std::numeric_limits<double>::max(), 255));
  EXPECT_EQ(s.size(), 1 + 309 + 1 + 255u);
  EXPECT_FALSE(appendNumeric(s, std::numeric_limits<double>::infinity(), 2));
  EXPECT_FALSE(appendNumeric(s, std::nan(""), 0));
  EXPECT_FALSE(appendDecimal(s, -std::numeric_limits<double>::infinity()));
  EXPECT_EQ(s.size(), 1 + 309 + 1 + 255u);
  double r = 0.125;
  ASSERT_TRUE(roundToScale(r, 2));
  EXPECT_EQ(r, 0.12);  // half to even
  r = 12.5;
  ASSERT_TRUE(roundToScale(r, 0));
  EXPECT_EQ(r, 12);
  s.clear();
  ASSERT_TRUE(appendDecimal(s, std::numeric_limits<double>::denorm_min()));
  EXPECT_EQ(s.size(), 2 + 323 + 1u);
  s.clear();
  appendDecimal(s, -1234.5678);
  EXPECT_EQ(s, "-1234.5678");
  s.clear();
  appendDecimal(s, 0);
  EXPECT_EQ(s, "0");
  s.clear();
  appendUInt64(s, 18446744073709551615ULL);
  EXPECT_EQ(s, "18446744073709551615");

  double v;
  EXPECT_TRUE(parseDouble(".0000000000", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(parseDouble("-1E+20", v));
  EXPECT_EQ(v, -1e20);
  EXPECT_FALSE(parseDouble("1.5x", v));
  EXPECT_FALSE(parseDouble("", v));
  std::int64_t i;
  EXPECT_TRUE(parseInt64("-9223372036854775808", i));
  EXPECT_FALSE(parseInt64("9223372036854775808", i));
  EXPECT_FALSE(parseInt64("1.0", i));
  std::uint64_t u;
  EXPECT_TRUE(parseUInt64("18446744073709551615", u));
  EXPECT_FALSE(parseUInt64("-1", u));
}

TEST(ValueText, BooleansInEveryCommonSpelling) {
  const std::pair<const char*, int> cases[] = {{"True", 1}, {"TRUE", 1}, {"false", 0}, {"1", 1}, {"0", 0},
                                               {"-1", 1},   {"yes", -1}, {"", -1},      {"2", -1}};
  for (const auto& [text, want] : cases) {
    bool b = false;
    const bool ok = parseBoolean(text, b);
    EXPECT_EQ(ok, want >= 0) << text;
    if (ok) {
      EXPECT_EQ(b, want == 1) << text;
    }
  }
}

TEST(ValueText, DatesBothWays) {
  struct Case {
    const char* text;
    bool ok;
    DateValue date;
  } cases[] = {
      {"2001-02-03T04:05:06", true, makeDate(2001, 2, 3, 4, 5, 6)},
      {"1899-12-30T00:00:00", true, DateValue{0}},
      {"2024-02-29", true, makeDate(2024, 2, 29)},
      {"2001-02-03 04:05:06", true, makeDate(2001, 2, 3, 4, 5, 6)},
      {"2001-02-03T04:05:06Z", true, makeDate(2001, 2, 3, 4, 5, 6)},
      {"2001-02-03T04:05:06+09:00", true, makeDate(2001, 2, 3, 4, 5, 6)},
      {"2038-01-19T03:14:07.125", true, makeDate(2038, 1, 19, 3, 14, 7.125)},
      {"1800-01-01T12:00:00", true, makeDate(1800, 1, 1, 12)},
      {"2023-02-29", false, {}},
      {"2001-13-01", false, {}},
      {"2001-02-03T24:00:00", false, {}},
      {"2001-02-03T04:60:00", false, {}},
      {"01-02-03", false, {}},
      {"2001-02-03T", false, {}},
      {"6/12/2026 2:30:15 PM", false, {}},
  };
  for (const Case& c : cases) {
    double serial = -99;
    EXPECT_EQ(parseDateTime(c.text, serial), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(serial, c.date.serial) << c.text;
    }
  }
  auto written = [](DateValue d) {
    std::string s;
    appendDateTime(s, d.serial);
    return s;
  };
  EXPECT_EQ(written(makeDate(2001, 2, 3, 4, 5, 6)), "2001-02-03T04:05:06");
  EXPECT_EQ(written(DateValue{0}), "1899-12-30T00:00:00");
  EXPECT_EQ(written(makeDate(1800, 1, 1, 12)), "1800-01-01T12:00:00");
  EXPECT_EQ(written(makeDate(2038, 1, 19, 3, 14, 7.125)), "2038-01-19T03:14:07.125");
  // A time a hair before midnight stays on its day, the last millisecond.
  EXPECT_EQ(written(DateValue{makeDate(2000, 1, 1).serial + 0.9999999999}), "2000-01-01T23:59:59.999");
  // Seconds are read to the millisecond, further digits dropped: the last instant of 9999
  // stays in 9999 (rounded, it became year 10000, which no reader takes).
  double last = 0;
  ASSERT_TRUE(parseDateTime("9999-12-31T23:59:59.9999", last));
  EXPECT_EQ(written(DateValue{last}), "9999-12-31T23:59:59.999");
  ASSERT_TRUE(parseTime("23:59:59.9999", last));
  std::string clock;
  appendTime(clock, last);
  EXPECT_EQ(clock, "23:59:59.999");
  // Years the four-digit form cannot carry are refused, not written.
  for (const double serial : {2958466.0, -693594.5, std::nan(""), 1e300}) {
    std::string out;
    EXPECT_FALSE(appendDateTime(out, serial)) << serial;
    EXPECT_FALSE(appendDate(out, serial)) << serial;
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(written(makeDate(1, 1, 1, 12)), "0001-01-01T12:00:00");
  std::string s;
  appendDate(s, makeDate(2024, 2, 29, 13).serial);
  EXPECT_EQ(s, "2024-02-29");
  s.clear();
  appendTime(s, 0.75);
  EXPECT_EQ(s, "18:00:00");
  double t;
  EXPECT_TRUE(parseTime("18:00:00", t));
  EXPECT_EQ(t, 0.75);
  EXPECT_FALSE(parseTime("18", t));
}

TEST(ValueText, BinHexAndBase64) {
  char out[64];
  std::size_t n = 0;
  EXPECT_TRUE(decodeHex("000102ff", out, n));
  EXPECT_EQ(std::string(out, n), std::string("\x00\x01\x02\xff", 4));
  EXPECT_TRUE(decodeHex("0A0b\r\n\t\t 0c", out, n));
  EXPECT_EQ(std::string(out, n), "\x0a\x0b\x0c");
  EXPECT_TRUE(decodeHex("", out, n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(decodeHex("abc", out, n));
  EXPECT_FALSE(decodeHex("0g", out, n));
  EXPECT_TRUE(decodeBase64("AAEC/w==", out, n));
  EXPECT_EQ(std::string(out, n), std::string("\x00\x01\x02\xff", 4));
  EXPECT_TRUE(decodeBase64("aGVs\r\nbG8=", out, n));
  EXPECT_EQ(std::string(out, n), "hello");
  EXPECT_FALSE(decodeBase64("aGVsbG8", out, n));
  EXPECT_FALSE(decodeBase64("aG=sbG8=", out, n));
  EXPECT_FALSE(decodeBase64("aGV*", out, n));
}

TEST(XmlEncoding, MarksDeclarationsAndRefusals) {
  auto decode = [](std::string_view bytes) {
    return xml::decodeDocument({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  };
  xml::DecodedDocument d = decode("\xEF\xBB\xBF<a/>");
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.text, "<a/>");
  d = decode(std::string_view("\xFE\xFF\x00<\x00\x61\x00/\x00>", 10));
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.text, "<a/>");
  EXPECT_EQ(d.encoding, "UTF-16BE");
  d = decode(std::string_view("<\x00?\x00x\x00", 6));
  EXPECT_EQ(d.encoding, "UTF-16LE");
  d = decode("<?xml version='1.0' encoding='ISO-8859-1'?><a b='\xE9'/>");
  EXPECT_TRUE(d.ok);
  EXPECT_NE(d.text.find("b='\xC3\xA9'"), std::string::npos);
  d = decode("<?xml version=\"1.0\" encoding=\"KS_C_5601-1987\"?><a b='\xB0\xA1'/>");
  EXPECT_TRUE(d.ok);
  EXPECT_NE(d.text.find("b='가'"), std::string::npos);
  EXPECT_EQ(d.encoding, "CP949");
  d = decode("<?xml version='1.0' encoding='shift_jis'?><a/>");
  EXPECT_FALSE(d.ok);
  EXPECT_NE(d.description.find("shift_jis"), std::string::npos);
  d = decode("<?xml version='1.0' encoding='utf-16'?><a/>");
  EXPECT_FALSE(d.ok);
  d = decode(std::string_view("\xFF\xFE\x00\xD8\x61\x00", 6));  // a high surrogate alone
  EXPECT_FALSE(d.ok);
  d = decode("<a b='\xB0\xA1'/>");  // CP949 undeclared
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.offset, 6u);
}

TEST(XmlEncoding, Utf8Validity) {
  const std::pair<std::string_view, std::size_t> cases[] = {
      {"plain", 5},
      {"한글", 6},
      {"a\xC0\x80", 1},            // overlong NUL
      {"\xED\xA0\x80", 0},         // a surrogate
      {"ab\xF4\x90\x80\x80", 2},   // above U+10FFFF
      {"\xF0\x9F\x98\x80", 4},     // U+1F600
      {"x\xE2\x82", 1},            // cut short
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(xml::firstInvalidUtf8(text), want);
}

}  // namespace
}  // namespace veltrano::ado::value_text
