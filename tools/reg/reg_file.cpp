#include "tools/reg/reg_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "platform/text/ansi.h"
#include "platform/text/ascii.h"
#include "platform/text/vbstring.h"

namespace veltrano::regtool {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// regedit breaks a hex line once it reaches this many characters (25 bytes on a continuation line).
constexpr std::size_t kHexLineLimit = 77;

// ---- reading ---------------------------------------------------------------------------

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// The script as UTF-8 text: UTF-16LE after its byte-order mark, UTF-8, else CP949.
std::optional<std::string> decodeScript(std::string_view bytes) {
  auto u8 = [](std::string_view s) { return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); };
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return fromUtf16le(u8(bytes.substr(2)));
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (isUtf8(bytes)) return std::string(bytes);
  return text::fromAnsi(bytes);
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines;
}

class ScriptReader {
 public:
  explicit ScriptReader(std::string_view text) : lines_(splitLines(text)) {}

  ScriptParse read() {
    // The header is the first line that is not blank.
    while (next_ < lines_.size() && trimmed(lines_[next_]).empty()) ++next_;
    if (next_ == lines_.size()) {
      fail(0, "the file is empty");
      return std::move(result_);
    }
    const std::string_view header = trimmed(lines_[next_]);
    if (header == kHeader5) {
      unicode_ = true;
    } else if (header == kHeader4) {
      unicode_ = false;
    } else {
      fail(static_cast<int>(next_) + 1, "not a registry script: the first line must be \"" + std::string(kHeader5) +
                                            "\" or \"" + std::string(kHeader4) + "\"");
      return std::move(result_);
    }
    ++next_;
    while (next_ < lines_.size()) {
      lineNo_ = static_cast<int>(next_) + 1;
      line_ = lines_[next_++];
      pos_ = 0;
      skipBlanks();
      if (atEnd() || line_[pos_] == ';') continue;
      bool good;
      if (line_[pos_] == '[')
        good = readKey();
      else if (line_[pos_] == '"' || line_[pos_] == '@')
        good = result_.keys.empty() ? failHere("a value stands before the first [key] line") : readValue();
      else
        good = failHere("unrecognised line (expected [key], \"name\"=data, @=data or a ; comment)");
      if (!good) return std::move(result_);
    }
    result_.ok = true;
    return std::move(result_);
  }

 private:
  static std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
  }

  // Records the fault; the caller stops reading.
  bool fail(int line, std::string description) {
    result_.ok = false;
    result_.line = line;
    result_.description = std::move(description);
    result_.keys.clear();
    return false;
  }
  bool failHere(std::string description) { return fail(lineNo_, std::move(description)); }

  bool atEnd() const { return pos_ >= line_.size(); }
  void skipBlanks() {
    while (!atEnd() && isBlank(line_[pos_])) ++pos_;
  }
  // Nothing but blanks or a comment is left on the line.
  bool restIsEmpty() {
    skipBlanks();
    return atEnd() || line_[pos_] == ';';
  }

  bool readKey() {
    const std::size_t close = line_.rfind(']');
    if (close == std::string_view::npos || close < pos_) return failHere("the key name lacks its closing ]");
    std::string_view name = line_.substr(pos_ + 1, close - pos_ - 1);
    pos_ = close + 1;
    if (!restIsEmpty()) return failHere("unexpected text after the key name");
    ScriptKey key;
    key.line = lineNo_;
    if (!name.empty() && name.front() == '-') {
      key.remove = true;
      name.remove_prefix(1);
    }
    // The store takes any name, but a NUL ends a name in every call that reads keys: such a
    // key would be made and then never found again.
    if (name.find('\0') != std::string_view::npos) return failHere("the key name holds a NUL character");
    const std::size_t sep = name.find('\\');
    const std::string_view rootName = name.substr(0, sep);
    const auto root = reg::rootByName(rootName);
    if (!root) return failHere("unknown root key \"" + std::string(rootName) + "\"");
    key.root = *root;
    if (sep != std::string_view::npos) {
      for (const auto& part : text::Split(name.substr(sep + 1), "\\")) {
        if (part.empty()) continue;
        if (!key.path.empty()) key.path += '\\';
        key.path += part;
      }
    }
    if (key.remove && key.path.empty()) return failHere("a root key cannot be deleted");
    result_.keys.push_back(std::move(key));
    return true;
  }

  // A quoted string at pos_ with \\ and \" escapes (any other backslash stands for itself).
  std::optional<std::string> readQuoted() {
    std::string out;
    ++pos_;  // the opening quote
    while (!atEnd()) {
      const char c = line_[pos_++];
      if (c == '"') return out;
      if (c == '\\' && !atEnd() && (line_[pos_] == '\\' || line_[pos_] == '"')) {
        out.push_back(line_[pos_++]);
        continue;
      }
      out.push_back(c);
    }
    return std::nullopt;
  }

  bool readValue() {
    ScriptValue v;
    v.line = lineNo_;
    if (line_[pos_] == '@') {
      ++pos_;
    } else {
      auto name = readQuoted();
      if (!name) return failHere("the value name lacks its closing quote");
      if (name->find('\0') != std::string::npos) return failHere("the value name holds a NUL character");
      v.name = std::move(*name);
    }
    skipBlanks();
    if (atEnd() || line_[pos_] != '=') return failHere("expected = after the value name");
    ++pos_;
    skipBlanks();
    if (atEnd()) return failHere("the value has no data");
    const std::string_view rest = line_.substr(pos_);
    if (rest.front() == '-') {
      ++pos_;
      v.remove = true;
      if (!restIsEmpty()) return failHere("unexpected text after =-");
    } else if (rest.front() == '"') {
      auto s = readQuoted();
      if (!s) return failHere("the string lacks its closing quote");
      if (!restIsEmpty()) return failHere("unexpected text after the string");
      v.type = reg::REG_SZ;
      v.data = ansiString(*s);
    } else if (startsWithNoCase(rest, "dword:")) {
      pos_ += 6;
      std::uint32_t n = 0;
      int digits = 0;
      for (int d; !atEnd() && (d = text::HexDigitValue(line_[pos_])) >= 0; ++pos_, ++digits) n = n << 4 | static_cast<std::uint32_t>(d);
      if (digits == 0 || digits > 8) return failHere("dword: takes 1 to 8 hex digits");
      if (!restIsEmpty()) return failHere("unexpected text after the dword");
      v.type = reg::REG_DWORD;
      for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    } else if (startsWithNoCase(rest, "hex")) {
      pos_ += 3;
      v.type = reg::REG_BINARY;
      if (!atEnd() && line_[pos_] == '(') {
        ++pos_;
        std::uint64_t t = 0;
        int digits = 0;
        for (int d; !atEnd() && (d = text::HexDigitValue(line_[pos_])) >= 0; ++pos_, ++digits) t = t << 4 | static_cast<unsigned>(d);
        if (digits == 0 || digits > 8 || atEnd() || line_[pos_] != ')') return failHere("hex( takes a type number in hex and )");
        ++pos_;
        v.type = static_cast<std::uint32_t>(t);
      }
      if (atEnd() || line_[pos_] != ':') return failHere("expected : after hex");
      ++pos_;
      if (!readHexList(v.data)) return false;
      if (unicode_ && (v.type == reg::REG_SZ || v.type == reg::REG_EXPAND_SZ || v.type == reg::REG_MULTI_SZ)) {
        auto ansi = utf16leToAnsi(v.data);
        if (!ansi) return fail(v.line, "string data in UTF-16 must have an even number of bytes");
        v.data = std::move(*ansi);
      }
    } else {
      return failHere("unrecognised data (expected \"text\", dword:, hex: or -)");
    }
    result_.keys.back().values.push_back(std::move(v));
    return true;
  }

  // Comma-separated hex bytes; a "\" at the end of a line continues the list on the next one.
  bool readHexList(Bytes& out) {
    for (;;) {
      skipBlanks();
      if (atEnd() || line_[pos_] == ';') return true;
      if (line_[pos_] == '\\') {
        ++pos_;
        if (!restIsEmpty()) return failHere("unexpected text after the line continuation \\");
        if (next_ >= lines_.size()) return failHere("the hex data continues past the end of the file");
        lineNo_ = static_cast<int>(next_) + 1;
        line_ = lines_[next_++];
        pos_ = 0;
        continue;
      }
      int hi = text::HexDigitValue(line_[pos_]);
      if (hi < 0) return failHere("bad hex byte in the data");
      ++pos_;
      int value = hi;
      if (!atEnd() && text::HexDigitValue(line_[pos_]) >= 0) value = value << 4 | text::HexDigitValue(line_[pos_++]);
      out.push_back(static_cast<std::uint8_t>(value));
      skipBlanks();
      if (atEnd() || line_[pos_] == ';' || line_[pos_] == '\\') continue;
      if (line_[pos_] != ',') return failHere("expected , between hex bytes");
      ++pos_;
    }
  }

  std::vector<std::string_view> lines_;
  std::size_t next_ = 0;
  std::string_view line_;
  std::size_t pos_ = 0;
  int lineNo_ = 0;
  bool unicode_ = true;
  ScriptParse result_;
};

// ---- writing ---------------------------------------------------------------------------

// Text in double quotes with \\ and \" escapes.
std::string quoted(std::string_view s) {
  std::string out(1, '"');
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// Width of text as regedit counts it (UTF-16 units).
std::size_t width(std::string_view s) { return utf16le(s).size() / 2; }

void appendHex(std::string& out, std::size_t lineLength, std::string_view tag, std::span<const std::uint8_t> data) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += tag;
  lineLength += tag.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(kHex[data[i] >> 4]);
    out.push_back(kHex[data[i] & 15]);
    if (i + 1 == data.size()) break;
    out.push_back(',');
    lineLength += 3;
    if (lineLength >= kHexLineLimit) {
      out += "\\\r\n  ";
      lineLength = 2;
    }
  }
}

// REG_SZ data that a quoted string carries unchanged: text ending in its one terminating zero
// (an import stores the zero, so data without one must go as hex), no line break, valid CP949.
bool quotable(std::span<const std::uint8_t> data) {
  std::size_t end = 0;
  while (end < data.size() && data[end] != 0) ++end;
  if (end + 1 != data.size()) return false;
  const auto textBytes = data.first(end);
  for (std::uint8_t b : textBytes)
    if (b == '\r' || b == '\n') return false;
  const text::Bytes again = text::toAnsi(text::fromAnsi(textBytes));
  return std::equal(again.begin(), again.end(), textBytes.begin(), textBytes.end());
}

void appendValue(std::string& out, const reg::ValueEntry& v) {
  std::string head = v.name.empty() ? std::string("@") : quoted(v.name);
  head.push_back('=');
  out += head;
  const std::size_t len = width(head);
  switch (v.type) {
    case reg::REG_SZ:
      if (quotable(v.data)) {
        out += quoted(textOf(v.data));
        break;
      }
      appendHex(out, len, "hex(1):", ansiToUtf16le(v.data));
      break;
    case reg::REG_EXPAND_SZ:
      appendHex(out, len, "hex(2):", ansiToUtf16le(v.data));
      break;
    case reg::REG_MULTI_SZ:
      appendHex(out, len, "hex(7):", ansiToUtf16le(v.data));
      break;
    case reg::REG_BINARY:
      appendHex(out, len, "hex:", v.data);
      break;
    case reg::REG_DWORD:
      if (v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x",
                      static_cast<unsigned>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 | v.data[3] << 24));
        out += buf;
        break;
      }
      [[fallthrough]];
    default: {
      char tag[24];
      std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(v.type));
      appendHex(out, len, tag, v.data);
      break;
    }
  }
  out += "\r\n";
}

}  // namespace

ScriptParse parseRegScript(std::string_view fileBytes) {
  const auto decoded = decodeScript(fileBytes);
  if (!decoded) {
    ScriptParse r;
    r.description = "the file is not valid UTF-16 text";
    return r;
  }
  return ScriptReader(*decoded).read();
}

std::string regScriptText(const std::vector<ExportKey>& keys) {
  std::string out(kHeader5);
  out += "\r\n\r\n";
  for (const auto& key : keys) {
    out.push_back('[');
    out += key.fullPath;
    out += "]\r\n";
    for (const auto& v : key.values) appendValue(out, v);
    out += "\r\n";
  }
  return out;
}

std::string regFileBytes(std::string_view scriptText) {
  const Bytes body = utf16le(scriptText);
  std::string out("\xFF\xFE");
  out.append(reinterpret_cast<const char*>(body.data()), body.size());
  return out;
}

}  // namespace veltrano::regtool
