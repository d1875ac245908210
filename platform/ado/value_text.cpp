#include "platform/ado/value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/runtime/variant.h"
#include "platform/text/ascii.h"

namespace veltrano::ado::value_text {

namespace {

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1 to `maxDigits` digits at `pos`.
bool readNumber(std::string_view s, std::size_t& pos, int minDigits, int maxDigits, int& out) {
  int digits = 0;
  out = 0;
  while (pos < s.size() && isDigit(s[pos]) && digits < maxDigits) {
    out = out * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits >= minDigits;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) return 29;
  return kDays[month - 1];
}

// hh:mm[:ss[.fraction]] at `pos`; seconds of the day.
bool readTime(std::string_view s, std::size_t& pos, double& seconds) {
  int h, m, sec = 0;
  if (!readNumber(s, pos, 1, 2, h) || pos >= s.size() || s[pos] != ':') return false;
  ++pos;
  if (!readNumber(s, pos, 2, 2, m)) return false;
  double fraction = 0;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!readNumber(s, pos, 2, 2, sec)) return false;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      // Milliseconds, as a whole number over a power of ten so that .125 is exactly 0.125.
      // Further digits are dropped, not rounded, so that 23:59:59.9999 stays on its day.
      long long numerator = 0, denominator = 1;
      int digits = 0;
      while (pos < s.size() && isDigit(s[pos])) {
        if (digits < 3) {
          numerator = numerator * 10 + (s[pos] - '0');
          denominator *= 10;
        }
        ++pos;
        ++digits;
      }
      if (digits == 0) return false;
      fraction = static_cast<double>(numerator) / static_cast<double>(denominator);
    }
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  seconds = h * 3600.0 + m * 60.0 + sec + fraction;
  return true;
}

// A zone designator after a time: Z, +hh:mm or -hh:mm. ADO's values carry none; an XDR
// dateTime.tz may, and the recordset keeps local times, so the zone is read and dropped.
bool readZone(std::string_view s, std::size_t& pos) {
  if (pos >= s.size()) return true;
  if (s[pos] == 'Z') {
    ++pos;
    return true;
  }
  if (s[pos] != '+' && s[pos] != '-') return false;
  ++pos;
  int h, m;
  if (!readNumber(s, pos, 2, 2, h) || pos >= s.size() || s[pos] != ':') return false;
  ++pos;
  return readNumber(s, pos, 2, 2, m) && h <= 14 && m <= 59;
}

template <typename T>
void appendChars(std::string& out, T value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

// Milliseconds of the day and the day serial of a date, rounded to the millisecond. A time
// within half a millisecond of midnight stays at 23:59:59.999 of its own day: rounding never
// moves a value onto the next day (or past 9999-12-31).
void splitSerial(double serial, double& day, long long& ms) {
  day = std::trunc(serial);
  ms = std::min(std::llround(std::fabs(serial - day) * 86400000.0), 86400000LL - 1);
}

// The dates the text form can carry: years 1 to 9999.
constexpr double kFirstSerial = -693593;  // 0001-01-01
constexpr double kLastSerial = 2958466;   // 10000-01-01

void appendTwo(std::string& out, long long v) {
  out.push_back(static_cast<char>('0' + v / 10 % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

void appendClock(std::string& out, long long ms) {
  appendTwo(out, ms / 3600000);
  out.push_back(':');
  appendTwo(out, ms / 60000 % 60);
  out.push_back(':');
  appendTwo(out, ms / 1000 % 60);
  const long long rest = ms % 1000;
  if (rest) {
    const char digits[3] = {static_cast<char>('0' + rest / 100), static_cast<char>('0' + rest / 10 % 10),
                            static_cast<char>('0' + rest % 10)};
    std::size_t n = 3;
    while (digits[n - 1] == '0') --n;
    out.push_back('.');
    out.append(digits, n);
  }
}

void appendCalendar(std::string& out, double day) {
  const DateParts p = splitDate(DateValue{day});
  appendTwo(out, p.year / 100);
  appendTwo(out, p.year % 100);
  out.push_back('-');
  appendTwo(out, p.month);
  out.push_back('-');
  appendTwo(out, p.day);
}

signed char hexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<signed char>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<signed char>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<signed char>(c - 'A' + 10);
  return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool parseInt64(std::string_view text, std::int64_t& out) {
  std::string_view s = trimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseUInt64(std::string_view text, std::uint64_t& out) {
  std::string_view s = trimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty() || s.front() == '-') return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseDouble(std::string_view text, double& out) {
  std::string_view s = trimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseCurrency(std::string_view text, std::int64_t& scaled) {
  std::string_view s = trimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  // Magnitude in ten-thousandths, accumulated as unsigned so that the most negative value fits.
  std::uint64_t magnitude = 0;
  std::size_t pos = 0;
  int digits = 0;
  while (pos < s.size() && isDigit(s[pos])) {
    if (__builtin_mul_overflow(magnitude, 10u, &magnitude) ||
        __builtin_add_overflow(magnitude, static_cast<unsigned>(s[pos] - '0'), &magnitude))
      return false;
    ++pos;
    ++digits;
  }
  int decimals = 0;
  bool roundUp = false;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    int first = -1;
    bool restNonZero = false;
    while (pos < s.size() && isDigit(s[pos])) {
      const unsigned d = static_cast<unsigned>(s[pos] - '0');
      if (decimals < 4) {
        if (__builtin_mul_overflow(magnitude, 10u, &magnitude) || __builtin_add_overflow(magnitude, d, &magnitude))
          return false;
        ++decimals;
      } else if (first < 0) {
        first = static_cast<int>(d);
      } else if (d) {
        restNonZero = true;
      }
      ++pos;
      ++digits;
    }
    if (first > 5 || (first == 5 && (restNonZero || magnitude % 2 == 1))) roundUp = true;
  }
  if (digits == 0 || pos != s.size()) return false;
  for (; decimals < 4; ++decimals)
    if (__builtin_mul_overflow(magnitude, 10u, &magnitude)) return false;
  if (roundUp && __builtin_add_overflow(magnitude, 1u, &magnitude)) return false;
  constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) {
    if (magnitude > kMaxPositive + 1) return false;
    scaled = magnitude == kMaxPositive + 1 ? std::numeric_limits<std::int64_t>::min()
                                           : -static_cast<std::int64_t>(magnitude);
  } else {
    if (magnitude > kMaxPositive) return false;
    scaled = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

bool parseBoolean(std::string_view text, bool& out) {
  const std::string_view s = trimBlanks(text);
  if (text::EqualsNoCaseAscii(s, "true") || s == "1" || s == "-1") {
    out = true;
    return true;
  }
  if (text::EqualsNoCaseAscii(s, "false") || s == "0") {
    out = false;
    return true;
  }
  return false;
}

bool parseDateTime(std::string_view text, double& serial) {
  const std::string_view s = trimBlanks(text);
  std::size_t pos = 0;
  int y, m, d;
  if (!readNumber(s, pos, 4, 4, y) || pos >= s.size() || s[pos] != '-') return false;
  ++pos;
  if (!readNumber(s, pos, 1, 2, m) || pos >= s.size() || s[pos] != '-') return false;
  ++pos;
  if (!readNumber(s, pos, 1, 2, d)) return false;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return false;
  double seconds = 0;
  if (pos < s.size() && (s[pos] == 'T' || s[pos] == ' ')) {
    ++pos;
    if (!readTime(s, pos, seconds)) return false;
  }
  if (!readZone(s, pos) || pos != s.size()) return false;
  serial = makeDate(y, m, d, 0, 0, seconds).serial;
  return true;
}

bool parseTime(std::string_view text, double& serial) {
  const std::string_view s = trimBlanks(text);
  std::size_t pos = 0;
  double seconds;
  if (!readTime(s, pos, seconds) || !readZone(s, pos) || pos != s.size()) return false;
  serial = seconds / 86400.0;
  return true;
}

bool decodeHex(std::string_view text, char* out, std::size_t& written) {
  written = 0;
  int high = -1;
  for (char c : text) {
    if (isSpace(c)) continue;
    const signed char v = hexValue(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out[written++] = static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return high < 0;
}

bool decodeBase64(std::string_view text, char* out, std::size_t& written) {
  written = 0;
  std::uint32_t buffer = 0;
  int bits = 0, padding = 0, symbols = 0;
  for (char c : text) {
    if (isSpace(c)) continue;
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') {
      ++padding;
      ++symbols;
      continue;
    } else {
      return false;
    }
    if (padding) return false;  // data after padding
    ++symbols;
    buffer = buffer << 6 | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out[written++] = static_cast<char>(buffer >> bits & 0xFF);
    }
  }
  return symbols % 4 == 0 && padding <= 2;
}

void appendInt64(std::string& out, std::int64_t v) { appendChars(out, v); }
void appendUInt64(std::string& out, std::uint64_t v) { appendChars(out, v); }

void appendDouble(std::string& out, double v) {
  if (v == 0) {
    out.push_back('0');
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
  out.append(buf, r.ptr);
}

void appendSingle(std::string& out, float v) {
  if (v == 0) {
    out.push_back('0');
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 9);
  out.append(buf, r.ptr);
}

void appendCurrency(std::string& out, std::int64_t scaled) {
  std::uint64_t magnitude = scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  if (scaled < 0) out.push_back('-');
  appendChars(out, magnitude / 10000);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", fraction);
    std::string_view f(buf);
    while (f.back() == '0') f.remove_suffix(1);
    out.append(f);
  }
}

bool appendDecimal(std::string& out, double v) {
  if (!std::isfinite(v)) return false;
  if (v == 0) {
    out.push_back('0');
    return true;
  }
  // The longest shortest fixed form is that of the smallest subnormal: "0.", 323 zeros, "5".
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (r.ec != std::errc()) return false;
  out.append(buf, r.ptr);
  return true;
}

bool appendNumeric(std::string& out, double v, int scale) {
  if (!std::isfinite(v) || scale < 0 || scale > 255) return false;
  if (v == 0) {
    if (scale <= 0) {
      out.push_back('0');
    } else {
      out.push_back('.');
      out.append(static_cast<std::size_t>(scale), '0');
    }
    return true;
  }
  // Sign, up to 309 integer digits, the point and up to 255 decimals.
  char buf[600];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, scale);
  if (r.ec != std::errc()) return false;
  out.append(buf, r.ptr);
  return true;
}

bool roundToScale(double& v, int scale) {
  std::string text;
  if (!appendNumeric(text, v, scale)) return false;
  return parseDouble(text, v);
}

bool appendDateTime(std::string& out, double serial) {
  if (!(serial > kFirstSerial - 1 && serial < kLastSerial)) return false;
  double day;
  long long ms;
  splitSerial(serial, day, ms);
  appendCalendar(out, day);
  out.push_back('T');
  appendClock(out, ms);
  return true;
}

bool appendDate(std::string& out, double serial) {
  if (!(serial > kFirstSerial - 1 && serial < kLastSerial)) return false;
  appendCalendar(out, std::trunc(serial));
  return true;
}

void appendTime(std::string& out, double serial) {
  double day;
  long long ms;
  splitSerial(serial, day, ms);
  appendClock(out, ms);
}

void appendBoolean(std::string& out, bool v) { out.append(v ? "True" : "False"); }

}  // namespace veltrano::ado::value_text
