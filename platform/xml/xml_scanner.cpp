#include "platform/xml/xml_scanner.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace veltrano::xml {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Name characters, as pugixml reads them: 1 may start a name, 2 may follow.
constexpr std::array<std::uint8_t, 256> kNameChar = [] {
  std::array<std::uint8_t, 256> t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = 3;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = 3;
  for (int c = 0x80; c < 0x100; ++c) t[c] = 3;
  t['_'] = t[':'] = 3;
  for (int c = '0'; c <= '9'; ++c) t[c] = 2;
  t['-'] = t['.'] = 2;
  return t;
}();

// Byte classes inside attribute values and text.
enum : std::uint8_t { kPlain = 0, kAmp, kLess, kControl, kHigh };
constexpr std::array<std::uint8_t, 256> kByteClass = [] {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 0x20; ++i) t[i] = kControl;
  t['\t'] = t['\r'] = t['\n'] = kPlain;
  t['&'] = kAmp;
  t['<'] = kLess;
  for (int i = 0x80; i < 0x100; ++i) t[i] = kHigh;
  return t;
}();

// The reference starting at s[i] ('&'): its length and code point, or 0 when malformed.
std::size_t reference(std::string_view s, std::size_t i, char32_t& cp, const char*& why) {
  const std::size_t limit = std::min(s.size(), i + 12);
  std::size_t semi = i + 1;
  while (semi < limit && s[semi] != ';') ++semi;
  if (semi >= limit) {
    why = "an '&' that starts no reference";
    return 0;
  }
  const std::string_view name = s.substr(i + 1, semi - i - 1);
  if (name == "lt") cp = '<';
  else if (name == "gt") cp = '>';
  else if (name == "amp") cp = '&';
  else if (name == "apos") cp = '\'';
  else if (name == "quot") cp = '"';
  else if (name.size() >= 2 && name[0] == '#') {
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) {
      why = "an empty character reference";
      return 0;
    }
    std::uint32_t v = 0;
    for (char d : digits) {
      int x;
      if (d >= '0' && d <= '9') x = d - '0';
      else if (hex && d >= 'a' && d <= 'f') x = d - 'a' + 10;
      else if (hex && d >= 'A' && d <= 'F') x = d - 'A' + 10;
      else {
        why = "a malformed character reference";
        return 0;
      }
      v = v * (hex ? 16u : 10u) + static_cast<std::uint32_t>(x);
      if (v > 0x10FFFF) break;
    }
    if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
      why = "a character reference to no character";
      return 0;
    }
    cp = v;
  } else {
    why = "an unknown entity (only the five predefined ones and character references exist here)";
    return 0;
  }
  return semi + 1 - i;
}

std::size_t encodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | cp >> 6);
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | cp >> 12);
    out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | cp >> 18);
  out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// Length of the UTF-8 sequence at p[0..n), or 0 when it is not valid UTF-8.
std::size_t utf8Length(const unsigned char* p, std::size_t n) {
  const unsigned char c = p[0];
  std::size_t length;
  std::uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) length = 2, cp = c & 0x1Fu;
  else if (c >= 0xE0 && c <= 0xEF) length = 3, cp = c & 0x0Fu;
  else if (c >= 0xF0 && c <= 0xF4) length = 4, cp = c & 0x07u;
  else return 0;
  if (length > n) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (p[k] & 0x3Fu);
  }
  if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return length;
}

}  // namespace

std::size_t decodeAttributeValue(std::string_view in, char* out, std::size_t& written, const char*& why) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  std::size_t i = 0, w = 0;
  while (i < n) {
    const unsigned char c = p[i];
    switch (kByteClass[c]) {
      case kPlain:
        out[w++] = static_cast<char>(c);
        ++i;
        continue;
      case kLess:
        why = "a '<' inside an attribute value";
        return i;
      case kControl:
        why = "a control character inside an attribute value";
        return i;
      case kHigh: {
        const std::size_t length = utf8Length(p + i, n - i);
        if (!length) {
          why = "bytes that are not valid UTF-8";
          return i;
        }
        std::memcpy(out + w, p + i, length);
        w += length;
        i += length;
        continue;
      }
      default: {  // kAmp
        char32_t cp = 0;
        const std::size_t length = reference(in, i, cp, why);
        if (!length) return i;
        w += encodeUtf8(cp, out + w);
        i += length;
        continue;
      }
    }
  }
  written = w;
  return std::string_view::npos;
}

XmlScanner::XmlScanner(std::string_view text) : text_(text) {}

ScanEvent XmlScanner::fail(ScanError error, std::size_t offset, std::string description) {
  if (error_ == ScanError::None) {
    error_ = error;
    errorOffset_ = offset;
    description_ = std::move(description);
  }
  pos_ = text_.size();
  return ScanEvent::EndOfDocument;
}

// Checks character data from pos_ up to `end` (exclusive): references well-formed, no raw
// control characters.
bool XmlScanner::skipText(std::size_t end) {
  for (std::size_t i = pos_; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text_[i]);
    const std::uint8_t k = kByteClass[c];
    if (k == kPlain || k == kHigh) continue;
    if (k == kControl) {
      fail(ScanError::Malformed, i, "a control character in the text");
      return false;
    }
    char32_t cp;
    const char* why = nullptr;
    const std::size_t length = reference(text_.substr(0, end), i, cp, why);
    if (!length) {
      fail(ScanError::Malformed, i, why);
      return false;
    }
    i += length - 1;
  }
  pos_ = end;
  return true;
}

bool XmlScanner::readName(std::string_view& name) {
  const std::size_t start = pos_;
  const std::size_t n = text_.size();
  if (pos_ >= n || !(kNameChar[static_cast<unsigned char>(text_[pos_])] & 1)) return false;
  ++pos_;
  while (pos_ < n && kNameChar[static_cast<unsigned char>(text_[pos_])]) ++pos_;
  name = text_.substr(start, pos_ - start);
  return true;
}

ScanEvent XmlScanner::next() {
  if (pendingEnd_) {
    pendingEnd_ = false;
    name_ = open_.back();
    depth_ = open_.size();
    open_.pop_back();
    return ScanEvent::EndElement;
  }
  const std::size_t n = text_.size();
  while (!failed()) {
    if (!open_.empty()) {
      const void* lt = std::memchr(text_.data() + pos_, '<', n - pos_);
      if (!lt) return fail(ScanError::Malformed, n, "the document ends inside element '" + std::string(open_.back()) + "'");
      if (!skipText(static_cast<std::size_t>(static_cast<const char*>(lt) - text_.data()))) break;
    } else {
      while (pos_ < n && isSpace(text_[pos_])) ++pos_;
      if (pos_ == n) {
        if (rootSeen_) return ScanEvent::EndOfDocument;
        return fail(ScanError::NoDocumentElement, n, "no document element");
      }
      if (text_[pos_] != '<')
        return fail(ScanError::Malformed, pos_,
                    rootSeen_ ? "text after the document element" : "text before the document element");
    }
    // At a '<'.
    const std::string_view rest = text_.substr(pos_);
    if (rest.starts_with("<?")) {
      const std::size_t end = text_.find("?>", pos_ + 2);
      if (end == std::string_view::npos) return fail(ScanError::Malformed, pos_, "an unterminated processing instruction");
      pos_ = end + 2;
    } else if (rest.starts_with("<!--")) {
      const std::size_t end = text_.find("-->", pos_ + 4);
      if (end == std::string_view::npos) return fail(ScanError::Malformed, pos_, "an unterminated comment");
      pos_ = end + 3;
    } else if (rest.starts_with("<![CDATA[")) {
      if (open_.empty()) return fail(ScanError::Malformed, pos_, "a CDATA section outside the document element");
      const std::size_t end = text_.find("]]>", pos_ + 9);
      if (end == std::string_view::npos) return fail(ScanError::Malformed, pos_, "an unterminated CDATA section");
      pos_ = end + 3;
    } else if (rest.starts_with("<!DOCTYPE")) {
      return fail(ScanError::Doctype, pos_, "a DOCTYPE declaration (DTDs are not accepted)");
    } else if (rest.starts_with("<!")) {
      return fail(ScanError::Malformed, pos_, "a markup declaration that is not a comment");
    } else if (rest.starts_with("</")) {
      return endTag();
    } else {
      return startTag();
    }
  }
  return ScanEvent::EndOfDocument;
}

ScanEvent XmlScanner::startTag() {
  const std::size_t n = text_.size();
  tagOffset_ = pos_;
  if (open_.empty() && rootSeen_) return fail(ScanError::Malformed, pos_, "a second document element");
  ++pos_;
  if (!readName(name_)) return fail(ScanError::Malformed, pos_, "a start tag without a valid name");
  attributes_.clear();
  for (;;) {
    const std::size_t before = pos_;
    while (pos_ < n && isSpace(text_[pos_])) ++pos_;
    if (pos_ >= n) return fail(ScanError::Malformed, tagOffset_, "the document ends inside a start tag");
    const char c = text_[pos_];
    if (c == '>') {
      ++pos_;
      break;
    }
    if (c == '/') {
      if (pos_ + 1 >= n || text_[pos_ + 1] != '>') return fail(ScanError::Malformed, pos_, "a '/' not followed by '>'");
      pos_ += 2;
      pendingEnd_ = true;
      break;
    }
    if (pos_ == before) return fail(ScanError::Malformed, pos_, "attributes not separated by blanks");
    ScannedAttribute a;
    if (!readName(a.name)) return fail(ScanError::Malformed, pos_, "an attribute without a valid name");
    while (pos_ < n && isSpace(text_[pos_])) ++pos_;
    if (pos_ >= n || text_[pos_] != '=') return fail(ScanError::Malformed, pos_, "an attribute without '='");
    ++pos_;
    while (pos_ < n && isSpace(text_[pos_])) ++pos_;
    if (pos_ >= n || (text_[pos_] != '\'' && text_[pos_] != '"'))
      return fail(ScanError::Malformed, pos_, "an attribute value without quotes");
    const char quote = text_[pos_++];
    const std::size_t start = pos_;
    // The closing quote; a raw '<' on the way is an error.
    const char* p = text_.data() + pos_;
    const char* const end = text_.data() + n;
    while (p < end && *p != quote && *p != '<') ++p;
    if (p == end) return fail(ScanError::Malformed, start, "an attribute value that does not end");
    if (*p == '<') return fail(ScanError::Malformed, static_cast<std::size_t>(p - text_.data()), "a '<' inside an attribute value");
    pos_ = static_cast<std::size_t>(p - text_.data());
    a.value = text_.substr(start, pos_ - start);
    ++pos_;
    attributes_.push_back(a);
  }
  rootSeen_ = true;
  open_.push_back(name_);
  depth_ = open_.size();
  return ScanEvent::StartElement;
}

ScanEvent XmlScanner::endTag() {
  const std::size_t n = text_.size();
  tagOffset_ = pos_;
  pos_ += 2;
  std::string_view name;
  if (!readName(name)) return fail(ScanError::Malformed, pos_, "an end tag without a valid name");
  while (pos_ < n && isSpace(text_[pos_])) ++pos_;
  if (pos_ >= n || text_[pos_] != '>') return fail(ScanError::Malformed, pos_, "an end tag without '>'");
  ++pos_;
  if (open_.empty() || open_.back() != name)
    return fail(ScanError::Malformed, tagOffset_, "an end tag '" + std::string(name) + "' that closes no open element");
  name_ = name;
  depth_ = open_.size();
  open_.pop_back();
  attributes_.clear();
  return ScanEvent::EndElement;
}

bool XmlScanner::skipElement() {
  const std::size_t depth = depth_;
  for (;;) {
    const ScanEvent e = next();
    if (failed()) return false;
    if (e == ScanEvent::EndElement && depth_ == depth) return true;
    if (e == ScanEvent::EndOfDocument) return false;
  }
}

}  // namespace veltrano::xml
