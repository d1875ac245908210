#include "platform/xml/xml_encoding.h"

#include <string_view>

#include "platform/text/ansi.h"

namespace veltrano::xml {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of encoding="..." in a declaration at the start of `head`, or "" when there is
// no declaration or it names no encoding.
std::string declaredEncoding(std::string_view head) {
  if (head.size() < 6 || head.substr(0, 5) != "<?xml" || !isXmlSpace(head[5])) return {};
  const std::size_t end = head.find("?>");
  const std::string_view decl = head.substr(0, end == std::string_view::npos ? head.size() : end);
  std::size_t pos = decl.find("encoding");
  while (pos != std::string_view::npos) {
    std::size_t p = pos + 8;
    if (pos > 0 && isXmlSpace(decl[pos - 1])) {
      while (p < decl.size() && isXmlSpace(decl[p])) ++p;
      if (p < decl.size() && decl[p] == '=') {
        ++p;
        while (p < decl.size() && isXmlSpace(decl[p])) ++p;
        if (p < decl.size() && (decl[p] == '"' || decl[p] == '\'')) {
          const char quote = decl[p];
          const std::size_t close = decl.find(quote, p + 1);
          if (close != std::string_view::npos) return std::string(decl.substr(p + 1, close - p - 1));
        }
      }
    }
    pos = decl.find("encoding", pos + 1);
  }
  return {};
}

DecodedDocument fail(std::string description, std::size_t offset) {
  DecodedDocument d;
  d.description = std::move(description);
  d.offset = offset;
  return d;
}

DecodedDocument fromUtf16(std::span<const std::uint8_t> bytes, bool bigEndian, std::size_t skip) {
  DecodedDocument d;
  d.encoding = bigEndian ? "UTF-16BE" : "UTF-16LE";
  d.text.reserve(bytes.size());
  std::size_t i = skip;
  auto unit = [&](std::size_t at) -> std::uint32_t {
    return bigEndian ? (std::uint32_t{bytes[at]} << 8 | bytes[at + 1]) : (std::uint32_t{bytes[at + 1]} << 8 | bytes[at]);
  };
  for (; i + 1 < bytes.size(); i += 2) {
    std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return fail("unpaired UTF-16 surrogate", i);
      const std::uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return fail("unpaired UTF-16 surrogate", i);
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return fail("unpaired UTF-16 surrogate", i);
    }
    text::appendUtf8(d.text, static_cast<char32_t>(u));
  }
  if (i != bytes.size()) return fail("odd number of bytes in a UTF-16 document", i);
  d.ok = true;
  return d;
}

}  // namespace

std::size_t firstInvalidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      cp = c & 0x07;
    } else {
      return i;
    }
    if (i + length > n) return i;
    for (std::size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return i;
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return i;
    i += length;
  }
  return n;
}

DecodedDocument decodeDocument(std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return fromUtf16(bytes, false, 2);
  if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return fromUtf16(bytes, true, 2);
  if (n >= 4 && bytes[0] == 0x3C && bytes[1] == 0 && bytes[2] == 0x3F && bytes[3] == 0) return fromUtf16(bytes, false, 0);
  if (n >= 4 && bytes[0] == 0 && bytes[1] == 0x3C && bytes[2] == 0 && bytes[3] == 0x3F) return fromUtf16(bytes, true, 0);

  std::size_t skip = 0;
  bool bom = false;
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    skip = 3;
    bom = true;
  }
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()) + skip, n - skip);
  const std::string declared = bom ? std::string() : lower(declaredEncoding(raw.substr(0, 512)));

  DecodedDocument d;
  if (declared.empty() || declared == "utf-8" || declared == "utf8" || declared == "us-ascii" || declared == "ascii") {
    const std::size_t bad = firstInvalidUtf8(raw);
    if (bad != raw.size()) return fail("bytes that are not valid UTF-8", skip + bad);
    d.text.assign(raw);
    d.encoding = "UTF-8";
  } else if (declared == "euc-kr" || declared == "ks_c_5601-1987" || declared == "cp949" || declared == "windows-949" ||
             declared == "x-windows-949" || declared == "korean" || declared == "ks_c_5601" || declared == "uhc") {
    d.text = text::fromAnsi(raw);
    d.encoding = "CP949";
  } else if (declared == "iso-8859-1" || declared == "latin1" || declared == "iso_8859-1" || declared == "l1") {
    d.text.reserve(raw.size());
    for (char c : raw) text::appendUtf8(d.text, static_cast<char32_t>(static_cast<unsigned char>(c)));
    d.encoding = "ISO-8859-1";
  } else if (declared == "utf-16" || declared == "utf-16le" || declared == "utf-16be") {
    return fail("UTF-16 declared in a document written in single bytes", 0);
  } else {
    return fail("unsupported encoding \"" + declared + "\"", 0);
  }
  d.ok = true;
  return d;
}

}  // namespace veltrano::xml
