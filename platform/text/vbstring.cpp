#include "platform/text/vbstring.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"

namespace veltrano::text {
namespace {

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Byte offset of the character with 0-based index `n` (or s.size() when past the end).
std::size_t byteOffset(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  while (i < s.size() && n > 0) {
    ++i;
    while (i < s.size() && isContinuation(static_cast<unsigned char>(s[i]))) ++i;
    --n;
  }
  return i;
}

char32_t upperOf(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;  // full-width Latin
  return c;
}

char32_t lowerOf(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  return c;
}

template <typename F>
std::string mapChars(std::string_view s, F f) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(f(b)));
      ++i;
      continue;
    }
    std::size_t start = i;
    ++i;
    while (i < s.size() && isContinuation(static_cast<unsigned char>(s[i]))) ++i;
    std::u32string one = toU32(s.substr(start, i - start));
    for (char32_t c : one) appendUtf8(out, f(c));
  }
  return out;
}

// Scans the numeric form IsNumeric accepts; returns the cleaned text for strtod or nothing.
std::optional<std::string> numericForm(std::string_view s) {
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  skipBlanks();
  std::string out;
  if (i + 1 < s.size() && s[i] == '&' && (s[i + 1] == 'H' || s[i + 1] == 'h')) {
    i += 2;
    std::string hex;
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) hex.push_back(s[i++]);
    skipBlanks();
    if (hex.empty() || hex.size() > 8 || i != s.size()) return std::nullopt;
    auto v = static_cast<std::int32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    return std::to_string(v);
  }
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
  bool digits = false;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ',')) {
    if (s[i] != ',') {
      out.push_back(s[i]);
      digits = true;
    }
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    out.push_back(s[i++]);
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      out.push_back(s[i++]);
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    out.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
    bool expDigits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      out.push_back(s[i++]);
      expDigits = true;
    }
    if (!expDigits) return std::nullopt;
  }
  skipBlanks();
  if (i != s.size()) return std::nullopt;
  return out;
}

}  // namespace

std::size_t Len(std::string_view s) {
  std::size_t n = 0;
  for (char c : s)
    if (!isContinuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

std::string Left(std::string_view s, std::size_t n) { return std::string(s.substr(0, byteOffset(s, n))); }

std::string Right(std::string_view s, std::size_t n) {
  std::size_t len = Len(s);
  if (n >= len) return std::string(s);
  return std::string(s.substr(byteOffset(s, len - n)));
}

std::string Mid(std::string_view s, long long start) {
  if (start < 1) throw RuntimeError(err::kInvalidProcedureCall, "Mid");
  return std::string(s.substr(byteOffset(s, static_cast<std::size_t>(start - 1))));
}

std::string Mid(std::string_view s, long long start, long long length) {
  if (start < 1 || length < 0) throw RuntimeError(err::kInvalidProcedureCall, "Mid");
  std::size_t from = byteOffset(s, static_cast<std::size_t>(start - 1));
  std::string_view rest = s.substr(from);
  return std::string(rest.substr(0, byteOffset(rest, static_cast<std::size_t>(length))));
}

std::string LTrim(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return std::string(s.substr(i));
}

std::string RTrim(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

std::string UCase(std::string_view s) { return mapChars(s, upperOf); }
std::string LCase(std::string_view s) { return mapChars(s, lowerOf); }

std::size_t InStr(std::size_t start, std::string_view s, std::string_view find) {
  if (start < 1) throw RuntimeError(err::kInvalidProcedureCall, "InStr");
  std::size_t from = byteOffset(s, start - 1);
  if (from > s.size() || (from == s.size() && start - 1 > Len(s))) return 0;
  std::size_t pos = s.find(find, from);
  if (pos == std::string_view::npos) return 0;
  return Len(s.substr(0, pos)) + 1;
}

std::string Replace(std::string_view s, std::string_view find, std::string_view replacement) {
  if (find.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = s.find(find, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(replacement);
    pos = hit + find.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter) {
  std::vector<std::string> parts;
  if (s.empty()) return parts;
  if (delimiter.empty()) {
    parts.emplace_back(s);
    return parts;
  }
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = s.find(delimiter, pos);
    if (hit == std::string_view::npos) {
      parts.emplace_back(s.substr(pos));
      break;
    }
    parts.emplace_back(s.substr(pos, hit - pos));
    pos = hit + delimiter.size();
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::string_view delimiter) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out.append(delimiter);
    out.append(parts[i]);
  }
  return out;
}

std::string Space(std::size_t n) { return std::string(n, ' '); }

std::string String(std::size_t n, char32_t ch) {
  std::string one;
  appendUtf8(one, ch);
  std::string out;
  out.reserve(one.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += one;
  return out;
}

std::string UpToNul(std::string_view s) {
  std::size_t nul = s.find('\0');
  return std::string(nul == std::string_view::npos ? s : s.substr(0, nul));
}

std::string RemoveNuls(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\0') out.push_back(c);
  return out;
}

double Val(std::string_view s) {
  std::string clean;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') clean.push_back(c);
  if (clean.size() >= 2 && clean[0] == '&') {
    int base = (clean[1] == 'H' || clean[1] == 'h') ? 16 : (clean[1] == 'O' || clean[1] == 'o') ? 8 : 0;
    if (base) {
      std::size_t i = 2;
      std::string digits;
      while (i < clean.size() && std::isxdigit(static_cast<unsigned char>(clean[i])) &&
             (base == 16 || (clean[i] >= '0' && clean[i] <= '7')))
        digits.push_back(clean[i++]);
      if (digits.empty()) return 0;
      unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
      if (v <= 0xFFFF) return static_cast<std::int16_t>(v);
      return static_cast<std::int32_t>(v);
    }
  }
  // The longest prefix that reads as a decimal number: sign, digits, point, exponent.
  std::size_t i = 0;
  std::string num;
  if (i < clean.size() && (clean[i] == '+' || clean[i] == '-')) num.push_back(clean[i++]);
  bool digits = false;
  while (i < clean.size() && std::isdigit(static_cast<unsigned char>(clean[i]))) {
    num.push_back(clean[i++]);
    digits = true;
  }
  if (i < clean.size() && clean[i] == '.') {
    num.push_back(clean[i++]);
    while (i < clean.size() && std::isdigit(static_cast<unsigned char>(clean[i]))) {
      num.push_back(clean[i++]);
      digits = true;
    }
  }
  if (!digits) return 0;
  if (i < clean.size() && (clean[i] == 'e' || clean[i] == 'E' || clean[i] == 'd' || clean[i] == 'D')) {
    std::string exp = "e";
    std::size_t j = i + 1;
    if (j < clean.size() && (clean[j] == '+' || clean[j] == '-')) exp.push_back(clean[j++]);
    bool expDigits = false;
    while (j < clean.size() && std::isdigit(static_cast<unsigned char>(clean[j]))) {
      exp.push_back(clean[j++]);
      expDigits = true;
    }
    if (expDigits) num += exp;
  }
  return std::strtod(num.c_str(), nullptr);
}

bool IsNumeric(std::string_view s) { return numericForm(s).has_value(); }

double ParseNumber(std::string_view s) {
  auto form = numericForm(s);
  if (!form) throw RuntimeError(err::kTypeMismatch, "");
  return std::strtod(form->c_str(), nullptr);
}

double RoundHalfEven(double v) { return std::nearbyint(v); }

double RoundHalfEven(double v, int digits) {
  if (digits <= 0) return std::nearbyint(v);
  // Decide the tie on the decimal text of the value (as VB does on its decimal form) so that
  // 1.005 style binary noise does not flip halves.
  double scale = std::pow(10.0, digits);
  double scaled = v * scale;
  double r = std::nearbyint(scaled);
  if (std::fabs(std::fabs(scaled - std::trunc(scaled)) - 0.5) < 1e-9) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits + 3, v);
    std::string t(buf);
    std::size_t dot = t.find('.');
    std::string tail = t.substr(dot + 1 + static_cast<std::size_t>(digits));
    if (tail == "500") {
      double down = std::trunc(scaled);
      r = std::fmod(down, 2.0) == 0 ? down : down + (v < 0 ? -1 : 1);
    }
  }
  return r / scale;
}

std::int16_t CInt(double v) {
  double r = RoundHalfEven(v);
  if (!(r >= -32768.0 && r <= 32767.0)) throw RuntimeError(err::kOverflow, "");
  return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double v) {
  double r = RoundHalfEven(v);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw RuntimeError(err::kOverflow, "");
  return static_cast<std::int32_t>(r);
}

std::int16_t CInt(std::string_view s) { return CInt(ParseNumber(s)); }
std::int32_t CLng(std::string_view s) { return CLng(ParseNumber(s)); }

std::string NumberToText(long long v) { return std::to_string(v); }

std::string NumberToText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  std::string s(buf);
  std::size_t e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string exp = e == std::string::npos ? "" : s.substr(e);
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  if (exp.empty()) return mant;
  // "E+16" / "E-05": VB writes the exponent without leading zeros beyond two digits.
  char sign = exp[1];
  std::string digits = exp.substr(2);
  while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
  return mant + "E" + sign + digits;
}

std::string FormatNumber(double v, std::string_view pattern) {
  std::size_t dot = pattern.find('.');
  std::string_view intPart = pattern.substr(0, dot);
  std::string_view fracPart = dot == std::string_view::npos ? std::string_view{} : pattern.substr(dot + 1);
  bool grouping = intPart.find(',') != std::string_view::npos;
  std::size_t minInt = 0;
  for (char c : intPart)
    if (c == '0') ++minInt;
  std::size_t fracRequired = 0, fracOptional = 0;
  for (char c : fracPart) {
    if (c == '0') ++fracRequired;
    else if (c == '#') ++fracOptional;
  }
  const int decimals = static_cast<int>(fracRequired + fracOptional);
  double rounded = RoundHalfEven(v, decimals);
  bool negative = rounded < 0;
  double mag = std::fabs(rounded);
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, mag);
  std::string digits(buf);
  std::string ip = digits.substr(0, digits.find('.'));
  std::string fp = decimals ? digits.substr(digits.find('.') + 1) : "";
  while (fp.size() > fracRequired && !fp.empty() && fp.back() == '0') fp.pop_back();
  if (ip == "0" && minInt == 0) ip.clear();
  while (ip.size() < minInt) ip.insert(ip.begin(), '0');
  if (grouping && ip.size() > 3) {
    std::string g;
    std::size_t lead = ip.size() % 3;
    for (std::size_t i = 0; i < ip.size(); ++i) {
      if (i > 0 && i >= lead && (i - lead) % 3 == 0) g.push_back(',');
      g.push_back(ip[i]);
    }
    ip = g;
  }
  std::string out = ip;
  if (!fp.empty() || fracRequired > 0) out += "." + fp;
  else if (dot != std::string_view::npos && fracPart.empty()) out += ".";
  bool allZero = out.find_first_not_of("0.,") == std::string::npos;
  if (negative && !allZero) out.insert(out.begin(), '-');
  return out;
}

}  // namespace veltrano::text
