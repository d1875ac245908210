#include "platform/ado/rowset_reader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "platform/ado/value_text.h"
#include "platform/text/ansi.h"
#include "platform/xml/xml_encoding.h"

namespace veltrano::ado {

namespace {

constexpr std::string_view kNsSchema = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
constexpr std::string_view kNsDatatypes = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
constexpr std::string_view kNsRowset = "urn:schemas-microsoft-com:rowset";
constexpr std::string_view kNsRows = "#RowsetSchema";

constexpr std::size_t kBaseCellBudget = 8u << 20;  // cells allowed whatever the document's size
constexpr std::size_t kCellsPerByte = 2;

enum class Ns : std::uint8_t { None, S, Dt, Rs, Z, Other };

struct ReadFailure {
  LoadStatus status;
  std::size_t offset;
  std::string description;
};

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

Ns classifyUri(std::string_view uri) {
  if (uri.empty()) return Ns::None;
  if (equalsNoCase(uri, kNsSchema)) return Ns::S;
  if (equalsNoCase(uri, kNsDatatypes)) return Ns::Dt;
  if (uri == kNsRowset) return Ns::Rs;
  if (uri == kNsRows) return Ns::Z;
  return Ns::Other;
}

struct QName {
  std::string_view prefix;
  std::string_view local;
};

QName split(const char* name) {
  const std::string_view s(name);
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos) return {{}, s};
  return {s.substr(0, colon), s.substr(colon + 1)};
}

bool isNamespaceDeclaration(const char* name) {
  return std::strncmp(name, "xmlns", 5) == 0 && (name[5] == 0 || name[5] == ':');
}

// Byte classes for attribute values.
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

// Decodes an attribute value as pugixml left it (no entity handling, no whitespace
// normalisation) into `out`, which has room for in.size() bytes (a decoded value is never
// longer). Returns npos, or the offset in `in` of the first fault, with `why` set.
std::size_t decodeValue(std::string_view in, char* out, std::size_t& written, const char*& why) {
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
        std::size_t length;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) length = 2, cp = c & 0x1Fu;
        else if (c >= 0xE0 && c <= 0xEF) length = 3, cp = c & 0x0Fu;
        else if (c >= 0xF0 && c <= 0xF4) length = 4, cp = c & 0x07u;
        else {
          why = "bytes that are not valid UTF-8";
          return i;
        }
        if (i + length > n) {
          why = "bytes that are not valid UTF-8";
          return i;
        }
        for (std::size_t k = 1; k < length; ++k) {
          if ((p[i + k] & 0xC0) != 0x80) {
            why = "bytes that are not valid UTF-8";
            return i;
          }
          cp = cp << 6 | (p[i + k] & 0x3Fu);
        }
        if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
          why = "bytes that are not valid UTF-8";
          return i;
        }
        std::memcpy(out + w, p + i, length);
        w += length;
        i += length;
        continue;
      }
      case kAmp: {
        const std::size_t limit = std::min(n, i + 12);
        std::size_t semi = i + 1;
        while (semi < limit && p[semi] != ';') ++semi;
        if (semi >= limit) {
          why = "an '&' that starts no entity";
          return i;
        }
        const std::string_view name = in.substr(i + 1, semi - i - 1);
        char32_t cp;
        if (name == "lt") cp = '<';
        else if (name == "gt") cp = '>';
        else if (name == "amp") cp = '&';
        else if (name == "apos") cp = '\'';
        else if (name == "quot") cp = '"';
        else if (name.size() >= 2 && name[0] == '#') {
          const bool hex = name[1] == 'x';
          std::string_view digits = name.substr(hex ? 2 : 1);
          if (digits.empty()) {
            why = "an empty character reference";
            return i;
          }
          std::uint32_t v = 0;
          for (char d : digits) {
            int x;
            if (d >= '0' && d <= '9') x = d - '0';
            else if (hex && d >= 'a' && d <= 'f') x = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F') x = d - 'A' + 10;
            else {
              why = "a malformed character reference";
              return i;
            }
            v = v * (hex ? 16u : 10u) + static_cast<std::uint32_t>(x);
            if (v > 0x10FFFF) break;
          }
          if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
            why = "a character reference to no character";
            return i;
          }
          cp = v;
        } else {
          why = "an unknown entity (only the five predefined ones and character references exist here)";
          return i;
        }
        w += encodeUtf8(cp, out + w);
        i = semi + 1;
        continue;
      }
    }
  }
  written = w;
  return std::string_view::npos;
}

class Scope {
 public:
  std::size_t mark() const { return bindings_.size(); }
  void restore(std::size_t m) { bindings_.resize(m); }
  void add(std::string_view prefix, Ns ns) { bindings_.push_back({prefix, ns}); }
  // The namespace of a prefix; "" is the default namespace for elements.
  Ns lookup(std::string_view prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
      if (it->prefix == prefix) return it->ns;
    return prefix.empty() ? Ns::None : Ns::Other;
  }

 private:
  struct Binding {
    std::string_view prefix;
    Ns ns;
  };
  std::vector<Binding> bindings_;
};

struct Local {
  Ns ns;
  std::string_view local;
};

enum class ReadKind : std::uint8_t {
  Text, Hex, Base64, Int, UInt64, Double, Single, Currency, Decimal, Boolean, DateTime, Date, Time
};

struct Column {
  std::string xmlName;
  ReadKind kind = ReadKind::Text;
  std::uint16_t vt = static_cast<std::uint16_t>(VarType::String);
  std::int64_t low = 0, high = 0;
};

// Everything a schema says about one field, from s:AttributeType and s:datatype.
struct SchemaAttributes {
  bool hasXmlName = false, hasRsName = false, hasType = false;
  std::string xmlName, rsName, dtType, dbType;
  std::int64_t maxLength = -1;
  int precision = -1, scale = -1;
  bool fixed = false, isLong = false, maybeNullGiven = false, maybeNull = false, nullable = false, mayDefer = false,
       write = false, writeUnknown = false, keyColumn = false, autoIncrement = false, hidden = false, rowId = false;
  std::string baseCatalog, baseSchema, baseTable, baseColumn;
};

class Reader {
 public:
  Reader(std::string_view text, std::vector<FieldDef>& fields, RowStore& store)
      : text_(text), fields_(fields), store_(store) {}

  void run() {
    std::size_t rootStart = scanProlog();
    const std::string rootEnd = scanEpilogue();

    const std::size_t n = text_.size();
    buffer_.reset(new char[n + 1]);
    std::memcpy(buffer_.get(), text_.data(), n);
    buffer_[n] = 0;
    base_ = buffer_.get();
    const pugi::xml_parse_result parsed =
        document_.load_buffer_inplace(buffer_.get(), n, pugi::parse_minimal, pugi::encoding_utf8);
    if (!parsed) {
      if (parsed.status == pugi::status_no_document_element)
        fail(LoadStatus::NoDocument, static_cast<std::size_t>(parsed.offset), "no document element");
      if (parsed.status == pugi::status_out_of_memory)
        fail(LoadStatus::TooLarge, static_cast<std::size_t>(parsed.offset), "out of memory");
      fail(LoadStatus::Malformed, static_cast<std::size_t>(parsed.offset), parsed.description());
    }
    int elements = 0;
    for (pugi::xml_node child = document_.first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_element) ++elements;
    const pugi::xml_node root = document_.document_element();
    if (elements != 1) fail(LoadStatus::Malformed, offsetOf(root), "more than one document element");
    if (rootEnd != root.name()) fail(LoadStatus::Malformed, n, "text after the document element");
    (void)rootStart;

    checkDuplicates(root);
    declare(root);
    pugi::xml_node schema, data;
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m = scope_.mark();
      declare(child);
      const Local l = resolve(child);
      if (l.ns == Ns::S && l.local == "Schema" && !schema) schema = child;
      else if (l.ns == Ns::Rs && l.local == "data" && !data) data = child;
      scope_.restore(m);
    }
    if (!schema) fail(LoadStatus::NotARowset, offsetOf(root), "no s:Schema element in the XML-Data namespace");
    if (!data) fail(LoadStatus::NotARowset, offsetOf(root), "no rs:data element in the rowset namespace");
    readSchema(schema);
    readData(data);
  }

 private:
  [[noreturn]] void fail(LoadStatus status, std::size_t offset, std::string description) {
    throw ReadFailure{status, offset, std::move(description)};
  }

  std::size_t offsetOf(const char* p) const { return static_cast<std::size_t>(p - base_); }
  std::size_t offsetOf(pugi::xml_node node) const {
    const std::ptrdiff_t o = node.offset_debug();
    return o < 0 ? 0 : static_cast<std::size_t>(o);
  }

  // Before the document element: blanks, processing instructions (the declaration too) and
  // comments only. A DOCTYPE is refused here, before any parsing.
  std::size_t scanProlog() {
    const std::string_view s = text_;
    std::size_t pos = 0;
    for (;;) {
      while (pos < s.size() && isXmlSpace(s[pos])) ++pos;
      if (pos == s.size()) fail(LoadStatus::NoDocument, pos, "no document element");
      if (s.compare(pos, 2, "<?") == 0) {
        const std::size_t end = s.find("?>", pos + 2);
        if (end == std::string_view::npos) fail(LoadStatus::Malformed, pos, "unterminated processing instruction");
        pos = end + 2;
      } else if (s.compare(pos, 4, "<!--") == 0) {
        const std::size_t end = s.find("-->", pos + 4);
        if (end == std::string_view::npos) fail(LoadStatus::Malformed, pos, "unterminated comment");
        pos = end + 3;
      } else if (s.compare(pos, 9, "<!DOCTYPE") == 0) {
        fail(LoadStatus::DtdForbidden, pos, "a DOCTYPE declaration (DTDs are not accepted)");
      } else if (s[pos] == '<' && pos + 1 < s.size() && s[pos + 1] != '!' && s[pos + 1] != '/') {
        return pos;
      } else {
        fail(LoadStatus::Malformed, pos, "text before the document element");
      }
    }
  }

  // After the document element: blanks, comments and processing instructions only. Returns
  // the name in the document element's end tag (or of an empty document element).
  std::string scanEpilogue() {
    const std::string_view s = text_;
    std::size_t end = s.size();
    for (;;) {
      while (end > 0 && isXmlSpace(s[end - 1])) --end;
      const std::string_view head = s.substr(0, end);
      if (head.ends_with("-->")) {
        const std::size_t start = head.rfind("<!--", end - 3);
        if (start == std::string_view::npos) fail(LoadStatus::Malformed, end, "text after the document element");
        end = start;
      } else if (head.ends_with("?>")) {
        const std::size_t start = head.rfind("<?", end - 2);
        if (start == std::string_view::npos) fail(LoadStatus::Malformed, end, "text after the document element");
        end = start;
      } else {
        break;
      }
    }
    if (end == 0 || s[end - 1] != '>') fail(LoadStatus::Malformed, end, "the document ends inside the document element");
    const std::size_t open = s.rfind('<', end - 1);
    if (open == std::string_view::npos) fail(LoadStatus::Malformed, end, "the document ends inside the document element");
    std::string_view tag = s.substr(open, end - open);
    if (tag.starts_with("</")) {
      tag = tag.substr(2, tag.size() - 3);
      while (!tag.empty() && isXmlSpace(tag.back())) tag.remove_suffix(1);
      return std::string(tag);
    }
    if (tag.ends_with("/>")) {
      std::size_t k = 1;
      while (k < tag.size() && !isXmlSpace(tag[k]) && tag[k] != '/') ++k;
      return std::string(tag.substr(1, k - 1));
    }
    fail(LoadStatus::Malformed, open, "text after the document element");
  }

  // pugixml does not look for repeated attributes; XML forbids them.
  void checkDuplicates(pugi::xml_node node) {
    names_.clear();
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) names_.push_back(a.name());
    checkNames(node);
  }
  void checkNames(pugi::xml_node node) {
    if (names_.size() < 2) return;
    if (names_.size() <= 8) {
      for (std::size_t i = 0; i < names_.size(); ++i)
        for (std::size_t j = i + 1; j < names_.size(); ++j)
          if (std::strcmp(names_[i], names_[j]) == 0)
            fail(LoadStatus::Malformed, offsetOf(names_[j]), std::string("duplicate attribute '") + names_[j] + "'");
      return;
    }
    std::sort(names_.begin(), names_.end(), [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
    for (std::size_t i = 1; i < names_.size(); ++i)
      if (std::strcmp(names_[i - 1], names_[i]) == 0)
        fail(LoadStatus::Malformed, offsetOf(node), std::string("duplicate attribute '") + names_[i] + "'");
  }

  // Decoded value of a (short) attribute of the schema or a declaration.
  std::string decodeSmall(const char* value) {
    const std::size_t n = std::strlen(value);
    std::string out(n, '\0');
    std::size_t written = 0;
    const char* why = nullptr;
    const std::size_t bad = decodeValue({value, n}, out.data(), written, why);
    if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(value) + bad, why);
    out.resize(written);
    return out;
  }

  // Adds the namespace declarations of `node` to the scope; whether there were any.
  bool declare(pugi::xml_node node) {
    bool any = false;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      const char* name = a.name();
      if (!isNamespaceDeclaration(name)) continue;
      any = true;
      const std::string uri = decodeSmall(a.value());
      const std::string_view prefix = name[5] == ':' ? std::string_view(name + 6) : std::string_view();
      if (prefix == "xmlns" || prefix == "xml") continue;
      scope_.add(prefix, classifyUri(uri));
    }
    return any;
  }

  Local resolve(pugi::xml_node node) const {
    const QName q = split(node.name());
    return {scope_.lookup(q.prefix), q.local};
  }

  Ns attributeNs(std::string_view prefix) const { return prefix.empty() ? Ns::None : scope_.lookup(prefix); }

  // ---- schema ----

  bool schemaFlag(const char* value) {
    const std::string v = decodeSmall(value);
    if (v == "true" || v == "1") return true;
    if (v == "false" || v == "0") return false;
    fail(LoadStatus::BadSchema, offsetOf(value), "'" + v + "' is not true or false");
  }

  int schemaByte(const char* value) {
    std::int64_t v;
    if (!value_text::parseInt64(decodeSmall(value), v) || v < 0 || v > 255)
      fail(LoadStatus::BadSchema, offsetOf(value), "precision and scale lie between 0 and 255");
    return static_cast<int>(v);
  }

  void collect(pugi::xml_node node, bool attributeType, SchemaAttributes& a) {
    for (pugi::xml_attribute attr = node.first_attribute(); attr; attr = attr.next_attribute()) {
      const char* name = attr.name();
      if (isNamespaceDeclaration(name)) continue;
      const QName q = split(name);
      const Ns ns = attributeNs(q.prefix);
      const std::string_view l = q.local;
      const char* v = attr.value();
      if (ns == Ns::None) {
        if (attributeType && l == "name") {
          a.hasXmlName = true;
          a.xmlName = decodeSmall(v);
        }
      } else if (ns == Ns::Dt) {
        if (l == "type") {
          a.hasType = true;
          a.dtType = decodeSmall(v);
        } else if (l == "maxLength") {
          std::uint64_t m;
          if (!value_text::parseUInt64(decodeSmall(v), m) || m > static_cast<std::uint64_t>(INT64_MAX))
            fail(LoadStatus::BadSchema, offsetOf(v), "dt:maxLength is not a length");
          a.maxLength = static_cast<std::int64_t>(m);
        }
      } else if (ns == Ns::Rs) {
        if (l == "name") a.hasRsName = true, a.rsName = decodeSmall(v);
        else if (l == "dbtype") a.dbType = decodeSmall(v);
        else if (l == "precision") a.precision = schemaByte(v);
        else if (l == "scale") a.scale = schemaByte(v);
        else if (l == "fixedlength") a.fixed = schemaFlag(v);
        else if (l == "long") a.isLong = schemaFlag(v);
        else if (l == "maybenull") a.maybeNullGiven = true, a.maybeNull = schemaFlag(v);
        else if (l == "nullable") a.nullable = schemaFlag(v);
        else if (l == "maydefer") a.mayDefer = schemaFlag(v);
        else if (l == "write") a.write = schemaFlag(v);
        else if (l == "writeunknown") a.writeUnknown = schemaFlag(v);
        else if (l == "keycolumn") a.keyColumn = schemaFlag(v);
        else if (l == "autoincrement") a.autoIncrement = schemaFlag(v);
        else if (l == "hidden") a.hidden = schemaFlag(v);
        else if (l == "rowid") a.rowId = schemaFlag(v);
        else if (l == "basecatalog") a.baseCatalog = decodeSmall(v);
        else if (l == "baseschema") a.baseSchema = decodeSmall(v);
        else if (l == "basetable") a.baseTable = decodeSmall(v);
        else if (l == "basecolumn") a.baseColumn = decodeSmall(v);
      }
    }
  }

  static DataTypeEnum deriveType(const SchemaAttributes& a, bool& base64) {
    base64 = false;
    const std::string& t = a.dtType;
    const std::string& db = a.dbType;
    auto is = [&](std::string_view name) { return equalsNoCase(t, name); };
    if (!a.hasType) return adLongVarWChar;
    if (is("string")) {
      if (db == "str") return a.fixed ? adChar : a.isLong ? adLongVarChar : adVarChar;
      if (a.fixed) return adWChar;
      if (a.isLong) return a.maxLength == 4294967295LL ? adBSTR : adLongVarWChar;
      if (a.maxLength < 0 && db.empty()) return adVariant;
      return adVarWChar;
    }
    if (is("char")) return adWChar;
    if (is("number")) {
      if (db == "currency") return adCurrency;
      if (db == "decimal") return adDecimal;
      if (db == "varnumeric") return adVarNumeric;
      return adNumeric;
    }
    if (is("fixed.14.4")) return adCurrency;
    if (is("int") || is("i4")) return adInteger;
    if (is("i1")) return adTinyInt;
    if (is("i2")) return adSmallInt;
    if (is("i8")) return adBigInt;
    if (is("ui1")) return adUnsignedTinyInt;
    if (is("ui2")) return adUnsignedSmallInt;
    if (is("ui4")) return adUnsignedInt;
    if (is("ui8")) return adUnsignedBigInt;
    if (is("float") || is("r8")) return adDouble;
    if (is("r4")) return adSingle;
    if (is("boolean")) return adBoolean;
    if (is("dateTime") || is("dateTime.tz")) {
      if (db == "variantdate") return adDate;
      if (db == "filetime") return adFileTime;
      return adDBTimeStamp;
    }
    if (is("date")) return adDBDate;
    if (is("time") || is("time.tz")) return adDBTime;
    if (is("uuid")) return adGUID;
    if (is("bin.hex") || is("bin.base64")) {
      base64 = is("bin.base64");
      return a.fixed ? adBinary : a.isLong ? adLongVarBinary : adVarBinary;
    }
    return adVarWChar;
  }

  static Column columnFor(DataTypeEnum type, bool base64) {
    Column c;
    auto integer = [&](VarType vt, std::int64_t low, std::int64_t high) {
      c.kind = ReadKind::Int;
      c.vt = static_cast<std::uint16_t>(vt);
      c.low = low;
      c.high = high;
    };
    auto set = [&](ReadKind kind, VarType vt) {
      c.kind = kind;
      c.vt = static_cast<std::uint16_t>(vt);
    };
    switch (type) {
      case adTinyInt: integer(VarType::Integer, -128, 127); break;
      case adSmallInt: integer(VarType::Integer, INT16_MIN, INT16_MAX); break;
      case adInteger: integer(VarType::Long, INT32_MIN, INT32_MAX); break;
      case adUnsignedTinyInt: integer(VarType::Byte, 0, 255); break;
      case adUnsignedSmallInt: integer(VarType::Long, 0, 65535); break;
      case adUnsignedInt: integer(VarType::LongLong, 0, 4294967295LL); break;
      case adBigInt: integer(VarType::LongLong, INT64_MIN, INT64_MAX); break;
      case adUnsignedBigInt: c.kind = ReadKind::UInt64; c.vt = Cell::kUInt64; break;
      case adDouble: set(ReadKind::Double, VarType::Double); break;
      case adSingle: set(ReadKind::Single, VarType::Single); break;
      case adCurrency: set(ReadKind::Currency, VarType::Currency); break;
      case adDecimal: case adNumeric: case adVarNumeric: set(ReadKind::Decimal, VarType::Decimal); break;
      case adBoolean: set(ReadKind::Boolean, VarType::Boolean); break;
      case adDate: case adDBTimeStamp: case adFileTime: set(ReadKind::DateTime, VarType::Date); break;
      case adDBDate: set(ReadKind::Date, VarType::Date); break;
      case adDBTime: set(ReadKind::Time, VarType::Date); break;
      case adBinary: case adVarBinary: case adLongVarBinary:
        set(base64 ? ReadKind::Base64 : ReadKind::Hex, VarType::ByteArray);
        break;
      default: set(ReadKind::Text, VarType::String); break;
    }
    return c;
  }

  void addField(pugi::xml_node node) {
    const std::size_t m = scope_.mark();
    declare(node);
    checkDuplicates(node);
    SchemaAttributes a;
    collect(node, true, a);
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m2 = scope_.mark();
      declare(child);
      const Local l = resolve(child);
      if (l.ns == Ns::S && l.local == "datatype") {
        checkDuplicates(child);
        collect(child, false, a);
        scope_.restore(m2);
        break;
      }
      scope_.restore(m2);
    }
    scope_.restore(m);
    if (!a.hasXmlName || a.xmlName.empty()) fail(LoadStatus::BadSchema, offsetOf(node), "an s:AttributeType without a name");
    for (const Column& c : columns_)
      if (c.xmlName == a.xmlName) fail(LoadStatus::BadSchema, offsetOf(node), "two fields named '" + a.xmlName + "'");

    bool base64 = false;
    FieldDef f;
    f.name = a.hasRsName ? a.rsName : a.xmlName;
    f.type = deriveType(a, base64);
    f.definedSize = a.maxLength >= 0 ? a.maxLength : (a.hasType ? -1 : 4294967295LL);
    int bits = 0;
    if (a.mayDefer) bits |= adFldMayDefer;
    if (a.write) bits |= adFldUpdatable;
    if (a.writeUnknown) bits |= adFldUnknownUpdatable;
    if (a.fixed) bits |= adFldFixed;
    if (a.nullable) bits |= adFldIsNullable;
    if (!a.maybeNullGiven || a.maybeNull) bits |= adFldMayBeNull;
    if (a.isLong || !a.hasType) bits |= adFldLong;
    if (a.rowId) bits |= adFldRowID;
    if (a.keyColumn) bits |= adFldKeyColumn;
    f.attributes = bits;
    f.writePrecision = a.precision >= 0;
    f.precision = static_cast<std::uint8_t>(a.precision >= 0 ? a.precision : 0);
    f.writeScale = a.scale >= 0;
    f.numericScale = static_cast<std::uint8_t>(a.scale >= 0 ? a.scale : 0);
    f.baseCatalog = std::move(a.baseCatalog);
    f.baseSchema = std::move(a.baseSchema);
    f.baseTable = std::move(a.baseTable);
    f.baseColumn = std::move(a.baseColumn);
    f.autoIncrement = a.autoIncrement;
    f.hidden = a.hidden;

    Column c = columnFor(f.type, base64);
    c.xmlName = std::move(a.xmlName);
    columns_.push_back(std::move(c));
    fields_.push_back(std::move(f));
  }

  void readSchema(pugi::xml_node schema) {
    const std::size_t m = scope_.mark();
    declare(schema);
    checkDuplicates(schema);
    const char* id = nullptr;
    for (pugi::xml_attribute a = schema.first_attribute(); a; a = a.next_attribute())
      if (std::strcmp(a.name(), "id") == 0) id = a.value();
    if (!id || decodeSmall(id) != "RowsetSchema")
      fail(LoadStatus::NotARowset, offsetOf(schema), "the s:Schema id is not 'RowsetSchema'");

    std::unordered_map<std::string, pugi::xml_node> declared;
    pugi::xml_node rowType;
    for (pugi::xml_node child = schema.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m2 = scope_.mark();
      declare(child);
      const Local l = resolve(child);
      if (l.ns == Ns::S && l.local == "AttributeType") {
        for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute())
          if (std::strcmp(a.name(), "name") == 0) declared.emplace(decodeSmall(a.value()), child);
      } else if (l.ns == Ns::S && l.local == "ElementType" && !rowType) {
        for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute())
          if (std::strcmp(a.name(), "name") == 0 && decodeSmall(a.value()) == "row") rowType = child;
      }
      scope_.restore(m2);
    }
    if (!rowType) fail(LoadStatus::NotARowset, offsetOf(schema), "no s:ElementType named 'row'");

    const std::size_t m3 = scope_.mark();
    declare(rowType);
    checkDuplicates(rowType);
    for (pugi::xml_node child = rowType.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m4 = scope_.mark();
      declare(child);
      const Local l = resolve(child);
      if (l.ns == Ns::S && l.local == "AttributeType") {
        addField(child);
      } else if (l.ns == Ns::S && l.local == "attribute") {
        checkDuplicates(child);
        std::string type;
        for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute())
          if (std::strcmp(a.name(), "type") == 0) type = decodeSmall(a.value());
        const auto it = declared.find(type);
        if (it == declared.end())
          fail(LoadStatus::BadSchema, offsetOf(child), "s:attribute refers to no AttributeType named '" + type + "'");
        addField(it->second);
      }
      scope_.restore(m4);
    }
    scope_.restore(m3);
    scope_.restore(m);
    if (columns_.empty()) fail(LoadStatus::BadSchema, offsetOf(rowType), "the rowset has no fields");
    if (columns_.size() > 16) {
      lookup_.reserve(columns_.size() * 2);
      for (std::size_t i = 0; i < columns_.size(); ++i) lookup_.emplace(columns_[i].xmlName, static_cast<int>(i));
    }
    seen_.assign(columns_.size(), 0);
  }

  // ---- data ----

  enum class Kind { Row, Insert, Update, Delete, Original, Other };

  Kind kindOf(pugi::xml_node node) const {
    const Local l = resolve(node);
    if (l.ns == Ns::Z && l.local == "row") return Kind::Row;
    if (l.ns == Ns::Rs) {
      if (l.local == "insert") return Kind::Insert;
      if (l.local == "update") return Kind::Update;
      if (l.local == "delete") return Kind::Delete;
      if (l.local == "original") return Kind::Original;
    }
    return Kind::Other;
  }

  int columnOf(const char* name, int expected) const {
    const int n = static_cast<int>(columns_.size());
    if (expected < n && columns_[static_cast<std::size_t>(expected)].xmlName == name) return expected;
    if (n <= 16) {
      for (int i = 0; i < n; ++i)
        if (columns_[static_cast<std::size_t>(i)].xmlName == name) return i;
      return -1;
    }
    const auto it = lookup_.find(std::string_view(name));
    return it == lookup_.end() ? -1 : it->second;
  }

  // The value text with entities decoded (only when it has any).
  std::string_view plainValue(const char* value, std::size_t n) {
    if (!std::memchr(value, '&', n)) return {value, n};
    scratch_.resize(n);
    std::size_t written;
    const char* why = nullptr;
    const std::size_t bad = decodeValue({value, n}, scratch_.data(), written, why);
    if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(value) + bad, why);
    return {scratch_.data(), written};
  }

  [[noreturn]] void badValue(std::size_t column, const char* value, std::string_view text) {
    const FieldDef& f = fields_[column];
    std::string shown(text.substr(0, 64));
    fail(LoadStatus::BadValue, offsetOf(value),
         "'" + shown + "' is not a value of field '" + f.name + "' (" + std::string(typeName(f.type)) + ")");
  }

  void readValue(std::size_t column, const char* value, Cell& cell) {
    const Column& col = columns_[column];
    const std::size_t n = std::strlen(value);
    switch (col.kind) {
      case ReadKind::Text: {
        char* out = store_.beginWrite(n);
        std::size_t written;
        const char* why = nullptr;
        const std::size_t bad = decodeValue({value, n}, out, written, why);
        if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(value) + bad, why);
        store_.commitWrite(cell, written, col.vt);
        return;
      }
      case ReadKind::Hex: case ReadKind::Base64: {
        const std::string_view t = plainValue(value, n);
        char* out = store_.beginWrite(t.size());
        std::size_t written;
        const bool ok = col.kind == ReadKind::Hex ? value_text::decodeHex(t, out, written)
                                                 : value_text::decodeBase64(t, out, written);
        if (!ok) badValue(column, value, t);
        store_.commitWrite(cell, written, col.vt);
        return;
      }
      default: break;
    }
    const std::string_view t = plainValue(value, n);
    std::uint64_t bits = 0;
    bool ok = false;
    switch (col.kind) {
      case ReadKind::Int: {
        std::int64_t v;
        ok = value_text::parseInt64(t, v) && v >= col.low && v <= col.high;
        bits = static_cast<std::uint64_t>(v);
        break;
      }
      case ReadKind::UInt64: ok = value_text::parseUInt64(t, bits); break;
      case ReadKind::Double: case ReadKind::Decimal: {
        double d;
        ok = value_text::parseDouble(t, d);
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      case ReadKind::Single: {
        double d;
        ok = value_text::parseDouble(t, d);
        bits = std::bit_cast<std::uint64_t>(static_cast<double>(static_cast<float>(d)));
        break;
      }
      case ReadKind::Currency: {
        std::int64_t v;
        ok = value_text::parseCurrency(t, v);
        bits = static_cast<std::uint64_t>(v);
        break;
      }
      case ReadKind::Boolean: {
        bool b;
        ok = value_text::parseBoolean(t, b);
        bits = b ? 1 : 0;
        break;
      }
      case ReadKind::DateTime: case ReadKind::Date: {
        double d;
        ok = value_text::parseDateTime(t, d);
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      case ReadKind::Time: {
        double d;
        ok = value_text::parseTime(t, d);
        if (!ok && value_text::parseDateTime(t, d)) {
          ok = true;
          d = d - static_cast<double>(static_cast<long long>(d));
        }
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      default: break;
    }
    if (!ok) badValue(column, value, t);
    cell.bits = bits;
    cell.size = 0;
    cell.vt = col.vt;
  }

  // Reads the attributes of a z:row into the cells of `slot`. Returns false when the row
  // declares namespaces of its own: the caller declares them and reads it again.
  bool readRowAttributes(pugi::xml_node row, std::uint32_t slot, bool markChanged, bool declared) {
    ++generation_;
    unknown_.clear();
    const char* forceNull = nullptr;
    int expected = 0;
    for (pugi::xml_attribute a = row.first_attribute(); a; a = a.next_attribute()) {
      const char* name = a.name();
      const int col = columnOf(name, expected);
      if (col < 0) {
        if (isNamespaceDeclaration(name)) {
          if (!declared) return false;
          unknown_.push_back(name);
          continue;
        }
        unknown_.push_back(name);
        const QName q = split(name);
        if (!q.prefix.empty() && attributeNs(q.prefix) == Ns::Rs && q.local == "forcenull") forceNull = a.value();
        continue;
      }
      const auto c = static_cast<std::size_t>(col);
      if (seen_[c] == generation_)
        fail(LoadStatus::Malformed, offsetOf(name), std::string("duplicate attribute '") + name + "'");
      seen_[c] = generation_;
      Cell& cell = store_.cells(slot)[c];
      readValue(c, a.value(), cell);
      if (markChanged) cell.flags |= Cell::kChanged;
      expected = col + 1;
    }
    if (unknown_.size() >= 2) {
      names_.assign(unknown_.begin(), unknown_.end());
      checkNames(row);
    }
    if (forceNull) {
      const std::string list = decodeSmall(forceNull);
      std::size_t pos = 0;
      while (pos < list.size()) {
        while (pos < list.size() && isXmlSpace(list[pos])) ++pos;
        std::size_t end = pos;
        while (end < list.size() && !isXmlSpace(list[end])) ++end;
        if (end > pos) {
          const std::string token = list.substr(pos, end - pos);
          const int col = columnOf(token.c_str(), 0);
          if (col >= 0) {
            Cell& cell = store_.cells(slot)[static_cast<std::size_t>(col)];
            const std::uint16_t flags = cell.flags;
            cell = Cell{};
            cell.flags = markChanged ? static_cast<std::uint16_t>(flags | Cell::kChanged) : flags;
          }
        }
        pos = end;
      }
    }
    return true;
  }

  // Reads one z:row into a new slot; `from` is the slot it starts as a copy of (the original
  // values of a pending update), or kNoSlot for a row of Nulls. Returns kNoSlot when the
  // element turns out not to be a row once its own declarations are applied.
  std::uint32_t readRow(pugi::xml_node row, std::uint32_t from, bool markChanged) {
    checkBudget();
    const std::uint32_t slot = from == RowRef::kNoSlot ? store_.addSlot() : store_.copySlot(from);
    if (readRowAttributes(row, slot, markChanged, false)) return slot;
    // The row declares namespaces: start again with them in scope.
    Cell* cells = store_.cells(slot);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      cells[i] = from == RowRef::kNoSlot ? Cell{} : store_.cells(from)[i];
      cells[i].flags = 0;
    }
    const std::size_t m = scope_.mark();
    declare(row);
    const bool isRow = kindOf(row) == Kind::Row;
    if (isRow) readRowAttributes(row, slot, markChanged, true);
    scope_.restore(m);
    return isRow ? slot : RowRef::kNoSlot;
  }

  void checkBudget() {
    if ((store_.slotCount() + 1) * columns_.size() > cellBudget_)
      fail(LoadStatus::TooLarge, 0, "the rows would take more memory than a document of this size may ask for");
  }

  // Classifies an element, applying its own namespace declarations when it is not otherwise
  // recognised. The scope is restored by the caller through `mark`.
  Kind classify(pugi::xml_node node) {
    Kind k = kindOf(node);
    if (k == Kind::Other && declare(node)) k = kindOf(node);
    return k;
  }

  std::size_t countRows(pugi::xml_node data) const {
    std::size_t count = 0;
    for (pugi::xml_node a = data.first_child(); a; a = a.next_sibling()) {
      ++count;
      for (pugi::xml_node b = a.first_child(); b; b = b.next_sibling()) {
        ++count;
        for (pugi::xml_node c = b.first_child(); c; c = c.next_sibling()) ++count;
      }
    }
    return count;
  }

  void readRowsIn(pugi::xml_node container, RecordStatusEnum status) {
    for (pugi::xml_node child = container.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m = scope_.mark();
      if (classify(child) == Kind::Row) {
        const std::uint32_t slot = readRow(child, RowRef::kNoSlot, false);
        if (slot != RowRef::kNoSlot) {
          RowRef r{slot, RowRef::kNoSlot, status};
          (status == adRecDeleted ? store_.deleted() : store_.rows()).push_back(r);
        }
      }
      scope_.restore(m);
    }
  }

  void readUpdate(pugi::xml_node update) {
    std::uint32_t original = RowRef::kNoSlot;
    auto flush = [&] {
      if (original != RowRef::kNoSlot) store_.rows().push_back({store_.copySlot(original), original, adRecModified});
      original = RowRef::kNoSlot;
    };
    for (pugi::xml_node child = update.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m = scope_.mark();
      const Kind k = classify(child);
      if (k == Kind::Original) {
        flush();
        for (pugi::xml_node row = child.first_child(); row; row = row.next_sibling()) {
          if (row.type() != pugi::node_element) continue;
          const std::size_t m2 = scope_.mark();
          if (classify(row) == Kind::Row) original = readRow(row, RowRef::kNoSlot, false);
          scope_.restore(m2);
          if (original != RowRef::kNoSlot) break;
        }
        if (original == RowRef::kNoSlot)
          fail(LoadStatus::NotARowset, offsetOf(child), "rs:original without a row");
      } else if (k == Kind::Row) {
        if (original == RowRef::kNoSlot)
          fail(LoadStatus::NotARowset, offsetOf(child), "a changed row in rs:update without its rs:original");
        const std::uint32_t slot = readRow(child, original, true);
        if (slot != RowRef::kNoSlot) {
          store_.rows().push_back({slot, original, adRecModified});
          original = RowRef::kNoSlot;
        }
      }
      scope_.restore(m);
    }
    flush();
  }

  void readData(pugi::xml_node data) {
    const std::size_t slots = countRows(data);
    cellBudget_ = kBaseCellBudget + kCellsPerByte * text_.size();
    const std::size_t m = scope_.mark();
    declare(data);
    store_.reset(columns_.size());
    store_.reserve(std::min(slots, cellBudget_ / columns_.size() + 1), text_.size() / 4);
    for (pugi::xml_node child = data.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::size_t m2 = scope_.mark();
      switch (classify(child)) {
        case Kind::Row: {
          const std::uint32_t slot = readRow(child, RowRef::kNoSlot, false);
          if (slot != RowRef::kNoSlot) store_.rows().push_back({slot, RowRef::kNoSlot, adRecUnmodified});
          break;
        }
        case Kind::Insert: readRowsIn(child, adRecNew); break;
        case Kind::Delete: readRowsIn(child, adRecDeleted); break;
        case Kind::Update: readUpdate(child); break;
        default: break;
      }
      scope_.restore(m2);
    }
    scope_.restore(m);
  }

  std::string_view text_;
  std::vector<FieldDef>& fields_;
  RowStore& store_;
  std::unique_ptr<char[]> buffer_;
  const char* base_ = nullptr;
  pugi::xml_document document_;
  Scope scope_;
  std::vector<Column> columns_;
  std::unordered_map<std::string_view, int> lookup_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t generation_ = 0;
  std::vector<const char*> names_;
  std::vector<const char*> unknown_;
  std::string scratch_;
  std::size_t cellBudget_ = kBaseCellBudget;
};

}  // namespace

LoadResult RowsetReader::readText(std::string_view text) {
  fields_.clear();
  store_.reset(0);
  std::size_t skip = 0;
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
      static_cast<unsigned char>(text[2]) == 0xBF)
    skip = 3;
  LoadResult result;
  try {
    Reader reader(text.substr(skip), fields_, store_);
    reader.run();
    return result;
  } catch (const ReadFailure& f) {
    result = {f.status, f.offset + skip, f.description};
  } catch (const std::bad_alloc&) {
    result = {LoadStatus::TooLarge, 0, "out of memory"};
  } catch (const std::length_error&) {
    result = {LoadStatus::TooLarge, 0, "out of memory"};
  }
  fields_.clear();
  store_.reset(0);
  return result;
}

LoadResult RowsetReader::readBytes(std::span<const std::uint8_t> bytes) {
  const xml::DecodedDocument decoded = xml::decodeDocument(bytes);
  if (!decoded.ok) {
    fields_.clear();
    store_.reset(0);
    return {LoadStatus::BadEncoding, decoded.offset, decoded.description};
  }
  return readText(decoded.text);
}

}  // namespace veltrano::ado
