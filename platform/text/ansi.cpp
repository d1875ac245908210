#include "platform/text/ansi.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/text/cp949_decoder.h"

namespace veltrano::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Both directions of CP949 as tables, filled once from the system's converter. Tables make
// the per-character work of the hot paths (query encoding, cell text) a lookup.
struct Cp949Tables {
  std::array<char16_t, 65536> toUnicode{};   // index: single byte, or lead << 8 | trail
  std::array<std::uint16_t, 65536> fromUnicode{};  // 0: not representable
};

const Cp949Tables& tables() {
  static std::unique_ptr<Cp949Tables> t;
  static std::once_flag once;
  std::call_once(once, [] {
    t = std::make_unique<Cp949Tables>();
    for (unsigned c = 0; c < 0x80; ++c) {
      t->toUnicode[c] = static_cast<char16_t>(c);
      t->fromUnicode[c] = static_cast<std::uint16_t>(c);
    }
    Cp949Decoder decoder;
    if (!decoder.ok()) return;  // only ASCII then
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      unsigned char one = static_cast<unsigned char>(b);
      char32_t u = decoder.decode(&one, 1);
      if (u != 0 && u <= 0xFFFF) {
        t->toUnicode[b] = static_cast<char16_t>(u);
        if (t->fromUnicode[u] == 0) t->fromUnicode[u] = static_cast<std::uint16_t>(b);
      }
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x41; trail <= 0xFE; ++trail) {
        unsigned char two[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        char32_t u = decoder.decode(two, 2);
        if (u == 0 || u > 0xFFFF) continue;
        std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
        t->toUnicode[code] = static_cast<char16_t>(u);
        if (t->fromUnicode[u] == 0) t->fromUnicode[u] = code;
      }
    }
  });
  return *t;
}

// Decodes one UTF-8 sequence at `i`; invalid input yields kReplacement and advances one byte.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {  // truncated sequence
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

// The end of the run of ASCII bytes that starts at `i`, eight bytes at a time.
std::size_t asciiRunEnd(std::string_view s, std::size_t i) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (i + 8 <= s.size()) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    if (word & kHighBits) break;
    i += 8;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

template <typename Out>
void encodeAnsi(std::string_view utf8, Out& out) {
  const Cp949Tables* t = nullptr;  // built on the first character outside ASCII
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {  // an ASCII run is copied as it is
      const std::size_t end = asciiRunEnd(utf8, i);
      const auto* run = reinterpret_cast<const typename Out::value_type*>(utf8.data() + i);
      out.insert(out.end(), run, run + (end - i));
      i = end;
      continue;
    }
    if (!t) t = &tables();
    char32_t cp = decodeUtf8(utf8, i);
    std::uint16_t code = cp <= 0xFFFF ? t->fromUnicode[cp] : 0;
    if (code == 0) {
      out.push_back(static_cast<typename Out::value_type>('?'));
    } else if (code > 0xFF) {
      out.push_back(static_cast<typename Out::value_type>(code >> 8));
      out.push_back(static_cast<typename Out::value_type>(code & 0xFF));
    } else {
      out.push_back(static_cast<typename Out::value_type>(code));
    }
  }
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t start = i;
    // decodeUtf8 replaces a bad sequence by U+FFFD and moves one byte; a real U+FFFD takes three.
    if (decodeUtf8(bytes, i) == kReplacement && i - start == 1) return false;
  }
  return true;
}

std::u32string toU32(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) out.push_back(decodeUtf8(utf8, i));
  return out;
}

std::string toUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) appendUtf8(out, c);
  return out;
}

Bytes toAnsi(std::string_view utf8) {
  Bytes out;
  out.reserve(utf8.size());
  encodeAnsi(utf8, out);
  return out;
}

std::string toAnsiString(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  encodeAnsi(utf8, out);
  return out;
}

std::string fromAnsi(std::span<const std::uint8_t> ansi) {
  const Cp949Tables* t = nullptr;  // built on the first byte outside ASCII
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 2);
  std::size_t i = 0;
  while (i < ansi.size()) {
    const std::uint8_t b = ansi[i];
    if (b < 0x80) {
      const std::string_view bytes(reinterpret_cast<const char*>(ansi.data()), ansi.size());
      const std::size_t end = asciiRunEnd(bytes, i);
      out.append(bytes.data() + i, end - i);
      i = end;
      continue;
    }
    if (!t) t = &tables();
    if (b >= 0x81 && b <= 0xFE && i + 1 < ansi.size()) {
      char16_t u = t->toUnicode[static_cast<std::uint16_t>(b << 8 | ansi[i + 1])];
      if (u != 0) {
        appendUtf8(out, u);
        i += 2;
        continue;
      }
    }
    char16_t single = t->toUnicode[b];
    appendUtf8(out, single != 0 ? char32_t{single} : kReplacement);
    ++i;
  }
  return out;
}

std::string fromAnsi(std::string_view ansiBytes) {
  return fromAnsi(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(ansiBytes.data()), ansiBytes.size()));
}

std::size_t ansiByteLength(std::string_view utf8) {
  const Cp949Tables* t = nullptr;  // built on the first character outside ASCII
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++n;
      ++i;
      continue;
    }
    if (!t) t = &tables();
    char32_t cp = decodeUtf8(utf8, i);
    std::uint16_t code = cp <= 0xFFFF ? t->fromUnicode[cp] : 0;
    n += code > 0xFF ? 2 : 1;
  }
  return n;
}

std::int16_t ansiCode(char32_t ch) {
  if (ch < 0x80) return static_cast<std::int16_t>(ch);
  std::uint16_t code = ch <= 0xFFFF ? tables().fromUnicode[ch] : 0;
  if (code == 0) return '?';
  return static_cast<std::int16_t>(code);
}

std::string ansiChar(int code) {
  std::string out;
  if (code >= 0 && code < 0x80) {
    out.push_back(static_cast<char>(code));
    return out;
  }
  const std::uint16_t index = static_cast<std::uint16_t>(code & 0xFFFF);
  char16_t u = (code >= -32768 && code <= 65535) ? tables().toUnicode[index] : 0;
  appendUtf8(out, u != 0 ? char32_t{u} : kReplacement);
  return out;
}

}  // namespace veltrano::text
