#include "tools/reg/reg_value.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/registry/registry.h"
#include "platform/text/ansi.h"
#include "platform/text/ascii.h"
#include "platform/text/vbstring.h"

namespace veltrano::regtool {
namespace {

struct TypeEntry {
  std::uint32_t type;
  const char* name;
};
constexpr TypeEntry kTypes[] = {
    {reg::REG_NONE, "REG_NONE"},
    {reg::REG_SZ, "REG_SZ"},
    {reg::REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {reg::REG_BINARY, "REG_BINARY"},
    {reg::REG_DWORD, "REG_DWORD"},
    {reg::REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {reg::REG_LINK, "REG_LINK"},
    {reg::REG_MULTI_SZ, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {reg::REG_QWORD, "REG_QWORD"},
};

std::string hexDigits(std::span<const std::uint8_t> data) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (std::uint8_t b : data) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

std::uint64_t littleEndian(std::span<const std::uint8_t> data) {
  std::uint64_t v = 0;
  for (std::size_t i = data.size(); i-- > 0;) v = v << 8 | data[i];
  return v;
}

std::string hexNumber(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// Decimal, or hex after "0x"; the whole text, no sign, within `max`.
std::optional<std::uint64_t> parseNumber(std::string_view t, std::uint64_t max) {
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return std::nullopt;
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size() || v > max) return std::nullopt;
  return v;
}

void appendUnit(Bytes& out, char16_t u) {
  out.push_back(static_cast<std::uint8_t>(u & 0xFF));
  out.push_back(static_cast<std::uint8_t>(u >> 8));
}

}  // namespace

std::string typeName(std::uint32_t type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  return hexNumber(type);
}

std::optional<std::uint32_t> typeByName(std::string_view name) {
  const std::string upper = text::UCase(name);
  if (upper == "REG_DWORD_LITTLE_ENDIAN") return reg::REG_DWORD;
  for (const auto& t : kTypes)
    if (upper == t.name) return t.type;
  return std::nullopt;
}

std::string textOf(std::span<const std::uint8_t> data) {
  std::size_t end = 0;
  while (end < data.size() && data[end] != 0) ++end;
  return text::fromAnsi(data.first(end));
}

std::vector<std::string> multiStringsOf(std::span<const std::uint8_t> data) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = start;
    while (end < data.size() && data[end] != 0) ++end;
    if (end == start) break;  // the empty string ends the list
    out.push_back(text::fromAnsi(data.subspan(start, end - start)));
    start = end + 1;
  }
  return out;
}

std::string displayData(std::uint32_t type, std::span<const std::uint8_t> data, std::string_view multiSeparator) {
  switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
      return textOf(data);
    case reg::REG_MULTI_SZ:
      return text::Join(multiStringsOf(data), multiSeparator);
    case reg::REG_DWORD:
      if (data.size() == 4) return hexNumber(littleEndian(data));
      break;
    case reg::REG_DWORD_BIG_ENDIAN:
      if (data.size() == 4)
        return hexNumber(std::uint64_t{data[0]} << 24 | std::uint64_t{data[1]} << 16 | std::uint64_t{data[2]} << 8 |
                         data[3]);
      break;
    case reg::REG_QWORD:
      if (data.size() == 8) return hexNumber(littleEndian(data));
      break;
    default:
      break;
  }
  return hexDigits(data);
}

Bytes ansiString(std::string_view utf8) {
  Bytes out = text::toAnsi(utf8);
  out.push_back(0);
  return out;
}

Bytes ansiMultiString(const std::vector<std::string>& strings) {
  Bytes out;
  for (const auto& s : strings) {
    const Bytes one = text::toAnsi(s);
    out.insert(out.end(), one.begin(), one.end());
    out.push_back(0);
  }
  out.push_back(0);
  return out;
}

DataParse parseData(std::uint32_t type, std::string_view t, std::string_view separator) {
  DataParse r;
  auto fail = [&](std::string message) {
    r.ok = false;
    r.error = std::move(message);
    return r;
  };
  switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
      r.data = ansiString(t);
      break;
    case reg::REG_MULTI_SZ: {
      std::vector<std::string> parts;
      if (!t.empty()) parts = separator.empty() ? std::vector<std::string>{std::string(t)} : text::Split(t, separator);
      // A separator at the very end closes the last string rather than adding an empty one.
      if (!parts.empty() && parts.back().empty()) parts.pop_back();
      for (const auto& p : parts)
        if (p.empty()) return fail("An empty string cannot stand inside a REG_MULTI_SZ value.");
      r.data = ansiMultiString(parts);
      break;
    }
    case reg::REG_DWORD:
    case reg::REG_DWORD_BIG_ENDIAN: {
      const auto v = t.empty() ? std::optional<std::uint64_t>(0) : parseNumber(t, 0xFFFFFFFFu);
      if (!v) return fail("Specify valid numeric value for '/d'.");
      for (int i = 0; i < 4; ++i) {
        const int shift = type == reg::REG_DWORD ? 8 * i : 8 * (3 - i);
        r.data.push_back(static_cast<std::uint8_t>(*v >> shift));
      }
      break;
    }
    case reg::REG_QWORD: {
      const auto v = t.empty() ? std::optional<std::uint64_t>(0) : parseNumber(t, ~std::uint64_t{0});
      if (!v) return fail("Specify valid numeric value for '/d'.");
      for (int i = 0; i < 8; ++i) r.data.push_back(static_cast<std::uint8_t>(*v >> (8 * i)));
      break;
    }
    default: {
      // Hex digits; an odd count makes the first digit a byte of its own.
      std::size_t i = 0;
      if (t.size() % 2 == 1) {
        const int v = text::HexDigitValue(t[0]);
        if (v < 0) return fail("Specify valid hexadecimal value for '/d'.");
        r.data.push_back(static_cast<std::uint8_t>(v));
        i = 1;
      }
      for (; i < t.size(); i += 2) {
        const int hi = text::HexDigitValue(t[i]), lo = text::HexDigitValue(t[i + 1]);
        if (hi < 0 || lo < 0) return fail("Specify valid hexadecimal value for '/d'.");
        r.data.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
      }
      break;
    }
  }
  r.ok = true;
  return r;
}

Bytes utf16le(std::string_view utf8) {
  Bytes out;
  for (char32_t c : text::toU32(utf8)) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      appendUnit(out, static_cast<char16_t>(0xD800 + (c >> 10)));
      appendUnit(out, static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      appendUnit(out, static_cast<char16_t>(c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c));
    }
  }
  return out;
}

std::optional<std::string> fromUtf16le(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2) return std::nullopt;
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size() / 2;
  auto unit = [&](std::size_t i) { return static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8); };
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = unit(i);
    char32_t c = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      c = 0xFFFD;
    }
    text::appendUtf8(out, c);
  }
  return out;
}

namespace {

// Bytes that are not valid CP949 travel as the lone surrogates U+DC80..U+DCFF, one per byte
// (the "surrogateescape" of other tools): no character of CP949 maps there, so they come
// back as exactly those bytes.
constexpr char16_t kByteEscape = 0xDC00;

bool sameBytes(std::span<const std::uint8_t> a, const Bytes& b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

// One zero-free run of CP949 bytes as UTF-16LE, every byte kept.
void appendAnsiRun(Bytes& out, std::span<const std::uint8_t> run) {
  const std::string whole = text::fromAnsi(run);
  if (sameBytes(run, text::toAnsi(whole))) {
    const Bytes part = utf16le(whole);
    out.insert(out.end(), part.begin(), part.end());
    return;
  }
  for (std::size_t i = 0; i < run.size();) {
    if (run[i] < 0x80) {
      appendUnit(out, run[i++]);
      continue;
    }
    if (i + 1 < run.size()) {
      const auto pair = run.subspan(i, 2);
      const std::string ch = text::fromAnsi(pair);
      if (text::toU32(ch).size() == 1 && sameBytes(pair, text::toAnsi(ch))) {
        const Bytes part = utf16le(ch);
        out.insert(out.end(), part.begin(), part.end());
        i += 2;
        continue;
      }
    }
    appendUnit(out, static_cast<char16_t>(kByteEscape + run[i++]));
  }
}

// One zero-free run of UTF-16LE units as CP949 bytes, escaped bytes restored.
void appendUtf16Run(Bytes& out, std::span<const std::uint8_t> run) {
  auto unit = [&](std::size_t i) { return static_cast<char16_t>(run[2 * i] | run[2 * i + 1] << 8); };
  const std::size_t n = run.size() / 2;
  std::size_t start = 0;
  auto flush = [&](std::size_t end) {
    const Bytes part = text::toAnsi(*fromUtf16le(run.subspan(2 * start, 2 * (end - start))));
    out.insert(out.end(), part.begin(), part.end());
  };
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      ++i;  // a surrogate pair: one character beyond the BMP
      continue;
    }
    if (u >= kByteEscape + 0x80 && u <= kByteEscape + 0xFF) {
      flush(i);
      out.push_back(static_cast<std::uint8_t>(u - kByteEscape));
      start = i + 1;
    }
  }
  flush(n);
}

}  // namespace

Bytes ansiToUtf16le(std::span<const std::uint8_t> ansi) {
  Bytes out;
  std::size_t start = 0;
  while (start <= ansi.size()) {
    std::size_t end = start;
    while (end < ansi.size() && ansi[end] != 0) ++end;
    appendAnsiRun(out, ansi.subspan(start, end - start));
    if (end == ansi.size()) break;
    appendUnit(out, 0);
    start = end + 1;
  }
  return out;
}

std::optional<Bytes> utf16leToAnsi(std::span<const std::uint8_t> utf16) {
  if (utf16.size() % 2) return std::nullopt;
  Bytes out;
  std::size_t start = 0;
  while (start <= utf16.size()) {
    std::size_t end = start;
    while (end < utf16.size() && (utf16[end] | utf16[end + 1]) != 0) end += 2;
    appendUtf16Run(out, utf16.subspan(start, end - start));
    if (end == utf16.size()) break;
    out.push_back(0);
    start = end + 2;
  }
  return out;
}

bool isUtf8(std::string_view s) { return text::IsValidUtf8(s); }

}  // namespace veltrano::regtool
