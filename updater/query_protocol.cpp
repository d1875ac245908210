#include "updater/query_protocol.h"

#include <random>

#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace meridox {

namespace text = veltrano::text;

std::string MakeDigitKey() {
  // Seeded afresh for every key; random_device rather than the clock, so two keys made within
  // the same clock tick still differ.
  std::random_device seed;
  std::mt19937 rng(seed());
  std::uniform_int_distribution<int> digit(1, 9);
  std::string key(128, '1');
  for (char& c : key) c = static_cast<char>('0' + digit(rng));
  return key;
}

bool KeyCodeSum(std::string_view key, int& sum) {
  sum = 0;
  for (char32_t c : text::toU32(text::Trim(key))) {
    sum += text::ansiCode(c);
    if (sum < -32768 || sum > 32767) return false;
  }
  return true;
}

namespace {

// What ansiChar gives for a code that names no character (U+FFFD).
constexpr std::string_view kNoCharacter = "\xEF\xBF\xBD";

void appendHex(std::string& out, unsigned value) {
  static const char* digits = "0123456789ABCDEF";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = digits[value & 0xF];
    value >>= 4;
  } while (value);
  while (n) out.push_back(buf[--n]);
}

std::string encode(std::string_view textValue, int sum) {
  const std::size_t n = text::Len(text::Trim(textValue));
  const std::u32string chars = text::toU32(textValue);
  std::string out;
  out.reserve(n * 6);
  for (std::size_t i = 0; i < n && i < chars.size(); ++i) {
    const int v = text::ansiCode(chars[i]) + sum;
    if (v < -32768 || v > 32767) return {};
    if (v < 0) {
      out.push_back('E');
      appendHex(out, static_cast<unsigned>(-v));
    } else {
      // A positive token must not begin with "E", or a decoder would read it as negative.
      const std::size_t start = out.size();
      appendHex(out, static_cast<unsigned>(v));
      if (out[start] == 'E') out.insert(start, 1, '0');
    }
    out.push_back('I');
  }
  return out;
}

std::string decode(std::string_view textValue, int sum) {
  const std::string t = text::Trim(textValue);
  std::string out;
  out.reserve(t.size() / 4);
  std::size_t pos = 0;
  while (true) {
    const std::size_t end = t.find('I', pos);
    if (end == std::string::npos) break;
    std::string_view token(t.data() + pos, end - pos);
    bool negative = false;
    if (!token.empty() && token.front() == 'E') {
      negative = true;
      token.remove_prefix(1);
    }
    if (token.empty() || token.size() > 5) return {};
    long value = 0;
    for (char c : token) {
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else return {};
      value = value * 16 + d;
    }
    const long code = (negative ? -value : value) - sum;
    if (code < -32768 || code > 65535) return {};
    if (code >= 0 && code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else {
      // A code that names no CP949 character fails the whole text rather than becoming "?".
      const std::string ch = text::ansiChar(static_cast<int>(code));
      if (ch == kNoCharacter) return {};
      out += ch;
    }
    pos = end + 1;
  }
  return out;
}

}  // namespace

std::string EncDecText(std::string_view textValue, std::string_view key, int mode) {
  if (mode != -1 && mode != 0) return {};
  int sum = 0;
  if (!KeyCodeSum(key, sum)) return {};
  return mode == -1 ? encode(textValue, sum) : decode(textValue, sum);
}

bool IsModifyingStatement(std::string_view sql) {
  const std::string head = text::UCase(text::Trim(text::Left(text::Trim(sql), 7)));
  return head == "INSERT" || head == "UPDATE" || head == "DELETE" || head == "REPLACE";
}

}  // namespace meridox
