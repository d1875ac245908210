#include "platform/ado/rowset_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "platform/ado/value_text.h"
#include "platform/text/ascii.h"
#include "platform/xml/xml_encoding.h"
#include "platform/xml/xml_scanner.h"

namespace veltrano::ado {

namespace {

constexpr std::string_view kNsSchema = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
constexpr std::string_view kNsDatatypes = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
constexpr std::string_view kNsRowset = "urn:schemas-microsoft-com:rowset";
constexpr std::string_view kNsRows = "#RowsetSchema";

constexpr std::size_t kBaseCellBudget = 8u << 20;  // cells allowed whatever the document's size
constexpr std::size_t kCellsPerByte = 2;
constexpr std::size_t kMaxBindings = 256;  // namespace declarations in force at once

enum class Ns : std::uint8_t { None, S, Dt, Rs, Z, Other };

struct ReadFailure {
  LoadStatus status;
  std::size_t offset;
  std::string description;
};

using Attributes = std::vector<xml::ScannedAttribute>;

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

Ns classifyUri(std::string_view uri) {
  if (uri.empty()) return Ns::None;
  if (text::EqualsNoCaseAscii(uri, kNsSchema)) return Ns::S;
  if (text::EqualsNoCaseAscii(uri, kNsDatatypes)) return Ns::Dt;
  if (uri == kNsRowset) return Ns::Rs;
  if (uri == kNsRows) return Ns::Z;
  return Ns::Other;
}

struct QName {
  std::string_view prefix;
  std::string_view local;
};

QName split(std::string_view s) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos) return {{}, s};
  return {s.substr(0, colon), s.substr(colon + 1)};
}

bool isNamespaceDeclaration(std::string_view name) {
  return name.starts_with("xmlns") && (name.size() == 5 || name[5] == ':');
}

// Namespace bindings in force, innermost last.
class Scope {
 public:
  std::size_t mark() const { return bindings_.size(); }
  void restore(std::size_t m) { bindings_.resize(m); }
  void add(std::string_view prefix, Ns ns) { bindings_.push_back({prefix, ns}); }
  // The namespace of a prefix; "" is the default namespace (for elements).
  Ns lookup(std::string_view prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
      if (it->prefix == prefix) return it->ns;
    return prefix.empty() ? Ns::None : Ns::Other;
  }
  // The prefix rows are written with ("" for the default namespace); false when none.
  bool rowPrefix(std::string_view& prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
      if (it->ns == Ns::Z && lookup(it->prefix) == Ns::Z) {
        prefix = it->prefix;
        return true;
      }
    }
    return false;
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
  int scale = -1;  // decimals a numeric value is rounded to as it is read; -1 keeps them all
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

// An element of the schema, kept whole (the schema is small and may refer backwards).
struct Node {
  std::string_view name;
  std::size_t offset = 0;
  Attributes attributes;
  std::vector<std::uint32_t> children;
};

class Reader {
 public:
  Reader(std::string_view text, std::vector<FieldDef>& fields, RowStore& store)
      : text_(text), scanner_(text), fields_(fields), store_(store) {}

  void run() {
    if (next() != xml::ScanEvent::StartElement) fail(LoadStatus::NoDocument, text_.size(), "no document element");
    const std::size_t rootOffset = scanner_.offset();
    checkDuplicates(scanner_.attributes(), rootOffset);
    declare(scanner_.attributes());
    bool schema = false, data = false;
    for (;;) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::EndElement && scanner_.depth() == 1) break;
      if (e != xml::ScanEvent::StartElement) continue;
      const std::size_t m = scope_.mark();
      declare(scanner_.attributes());
      const Local l = resolve(scanner_.name());
      if (l.ns == Ns::S && l.local == "Schema" && !schema) {
        readSchema();
        schema = true;
      } else if (l.ns == Ns::Rs && l.local == "data" && !data) {
        if (!schema) fail(LoadStatus::NotARowset, scanner_.offset(), "rs:data before the s:Schema it needs");
        readData();
        data = true;
      } else {
        skip();
      }
      scope_.restore(m);
    }
    if (next() != xml::ScanEvent::EndOfDocument) fail(LoadStatus::Malformed, scanner_.offset(), "a second document element");
    if (!schema) fail(LoadStatus::NotARowset, rootOffset, "no s:Schema element in the XML-Data namespace");
    if (!data) fail(LoadStatus::NotARowset, rootOffset, "no rs:data element in the rowset namespace");
  }

 private:
  [[noreturn]] void fail(LoadStatus status, std::size_t offset, std::string description) {
    throw ReadFailure{status, offset, std::move(description)};
  }

  void scanFailed() {
    const LoadStatus status = scanner_.error() == xml::ScanError::NoDocumentElement ? LoadStatus::NoDocument
                              : scanner_.error() == xml::ScanError::Doctype         ? LoadStatus::DtdForbidden
                                                                                    : LoadStatus::Malformed;
    fail(status, scanner_.errorOffset(), scanner_.description());
  }

  xml::ScanEvent next() {
    const xml::ScanEvent e = scanner_.next();
    if (scanner_.failed()) scanFailed();
    return e;
  }

  void skip() {
    if (!scanner_.skipElement()) scanFailed();
  }

  std::size_t offsetOf(std::string_view piece) const { return scanner_.offsetOf(piece); }

  // XML forbids repeated attributes; the scanner leaves that to its callers.
  void checkDuplicates(const Attributes& attributes, std::size_t offset) {
    names_.clear();
    for (const auto& a : attributes) names_.push_back(a.name);
    checkNames(offset);
  }
  void checkNames(std::size_t offset) {
    if (names_.size() < 2) return;
    if (names_.size() <= 8) {
      for (std::size_t i = 0; i < names_.size(); ++i)
        for (std::size_t j = i + 1; j < names_.size(); ++j)
          if (names_[i] == names_[j])
            fail(LoadStatus::Malformed, offsetOf(names_[j]), "duplicate attribute '" + std::string(names_[j]) + "'");
      return;
    }
    std::sort(names_.begin(), names_.end());
    for (std::size_t i = 1; i < names_.size(); ++i)
      if (names_[i - 1] == names_[i]) fail(LoadStatus::Malformed, offset, "duplicate attribute '" + std::string(names_[i]) + "'");
  }

  // The decoded value of a (short) attribute of the schema or a declaration.
  std::string decodeSmall(std::string_view value) {
    std::string out(value.size(), '\0');
    std::size_t written = 0;
    const char* why = nullptr;
    const std::size_t bad = xml::decodeAttributeValue(value, out.data(), written, why);
    if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(value) + bad, why);
    out.resize(written);
    return out;
  }

  // Adds the namespace declarations among `attributes` to the scope; whether there were any.
  bool declare(const Attributes& attributes) {
    bool any = false;
    for (const auto& a : attributes) {
      if (!isNamespaceDeclaration(a.name)) continue;
      any = true;
      const std::string uri = decodeSmall(a.value);
      const std::string_view prefix = a.name.size() > 5 ? a.name.substr(6) : std::string_view();
      if (prefix == "xmlns" || prefix == "xml") continue;
      // Every lookup walks the bindings: a document may not make that walk long.
      if (scope_.mark() >= kMaxBindings)
        fail(LoadStatus::TooLarge, offsetOf(a.name), "more namespace declarations in force than a rowset needs");
      scope_.add(prefix, classifyUri(uri));
    }
    return any;
  }

  Local resolve(std::string_view name) const {
    const QName q = split(name);
    return {scope_.lookup(q.prefix), q.local};
  }

  Ns attributeNs(std::string_view prefix) const { return prefix.empty() ? Ns::None : scope_.lookup(prefix); }

  // ---- schema ----

  // Reads the element just started, and everything in it, into nodes_; its index.
  std::uint32_t buildTree() {
    auto add = [&] {
      nodes_.push_back(Node{scanner_.name(), scanner_.offset(), scanner_.attributes(), {}});
      return static_cast<std::uint32_t>(nodes_.size() - 1);
    };
    const std::uint32_t root = add();
    std::vector<std::uint32_t> open{root};
    while (!open.empty()) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::StartElement) {
        const std::uint32_t child = add();
        nodes_[open.back()].children.push_back(child);
        open.push_back(child);
      } else if (e == xml::ScanEvent::EndElement) {
        open.pop_back();
      } else {
        fail(LoadStatus::Malformed, text_.size(), "the document ends inside the schema");
      }
    }
    return root;
  }

  bool schemaFlag(std::string_view value) {
    const std::string v = decodeSmall(value);
    if (v == "true" || v == "1") return true;
    if (v == "false" || v == "0") return false;
    fail(LoadStatus::BadSchema, offsetOf(value), "'" + v + "' is not true or false");
  }

  int schemaByte(std::string_view value) {
    std::int64_t v;
    if (!value_text::parseInt64(decodeSmall(value), v) || v < 0 || v > 255)
      fail(LoadStatus::BadSchema, offsetOf(value), "precision and scale lie between 0 and 255");
    return static_cast<int>(v);
  }

  void collect(const Node& node, bool attributeType, SchemaAttributes& a) {
    for (const auto& attr : node.attributes) {
      if (isNamespaceDeclaration(attr.name)) continue;
      const QName q = split(attr.name);
      const Ns ns = attributeNs(q.prefix);
      const std::string_view l = q.local;
      const std::string_view v = attr.value;
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
    auto is = [&](std::string_view name) { return text::EqualsNoCaseAscii(t, name); };
    if (!a.hasType) return adLongVarWChar;
    if (is("string")) return textType(a);
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
    return textType(a);  // an unknown type: its values are read as text
  }

  // The text types, told apart as ADO writes them. Without a length (and not ANSI, fixed or
  // long) it is ADO's form of adVariant; reading it so keeps a re-saved document stable.
  static DataTypeEnum textType(const SchemaAttributes& a) {
    if (a.dbType == "str") return a.fixed ? adChar : a.isLong ? adLongVarChar : adVarChar;
    if (a.fixed) return adWChar;
    if (a.isLong) return a.maxLength == 4294967295LL ? adBSTR : adLongVarWChar;
    return a.maxLength < 0 ? adVariant : adVarWChar;
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


  void addField(std::uint32_t index) {
    const Node& node = nodes_[index];
    const std::size_t m = scope_.mark();
    declare(node.attributes);
    checkDuplicates(node.attributes, node.offset);
    SchemaAttributes a;
    collect(node, true, a);
    for (std::uint32_t child : node.children) {
      const Node& c = nodes_[child];
      const std::size_t m2 = scope_.mark();
      declare(c.attributes);
      const Local l = resolve(c.name);
      if (l.ns == Ns::S && l.local == "datatype") {
        checkDuplicates(c.attributes, c.offset);
        collect(c, false, a);
        scope_.restore(m2);
        break;
      }
      scope_.restore(m2);
    }
    scope_.restore(m);
    if (!a.hasXmlName || a.xmlName.empty()) fail(LoadStatus::BadSchema, node.offset, "an s:AttributeType without a name");
    if (!xmlNames_.insert(a.xmlName).second)
      fail(LoadStatus::BadSchema, node.offset, "two fields named '" + a.xmlName + "'");

    if (a.hasType && text::EqualsNoCaseAscii(a.dtType, "char")) {  // XDR's single character
      a.dtType = "string";
      a.fixed = true;
      if (a.maxLength < 0) a.maxLength = 1;
    }
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
    if (f.type == adNumeric && f.writeScale) c.scale = f.numericScale;
    c.xmlName = std::move(a.xmlName);
    columns_.push_back(std::move(c));
    fields_.push_back(std::move(f));
  }

  std::string attributeValue(const Node& node, std::string_view name) {
    for (const auto& a : node.attributes)
      if (a.name == name) return decodeSmall(a.value);
    return {};
  }

  // The s:Schema element has just started; its declarations are in scope.
  void readSchema() {
    const std::uint32_t schema = buildTree();
    checkDuplicates(nodes_[schema].attributes, nodes_[schema].offset);
    if (attributeValue(nodes_[schema], "id") != "RowsetSchema")
      fail(LoadStatus::NotARowset, nodes_[schema].offset, "the s:Schema id is not 'RowsetSchema'");

    std::unordered_map<std::string, std::uint32_t> declared;
    std::uint32_t rowType = 0;
    bool found = false;
    for (std::uint32_t child : nodes_[schema].children) {
      const std::size_t m = scope_.mark();
      declare(nodes_[child].attributes);
      const Local l = resolve(nodes_[child].name);
      if (l.ns == Ns::S && l.local == "AttributeType") {
        declared.emplace(attributeValue(nodes_[child], "name"), child);
      } else if (l.ns == Ns::S && l.local == "ElementType" && !found && attributeValue(nodes_[child], "name") == "row") {
        rowType = child;
        found = true;
      }
      scope_.restore(m);
    }
    if (!found) fail(LoadStatus::NotARowset, nodes_[schema].offset, "no s:ElementType named 'row'");

    const std::size_t m = scope_.mark();
    declare(nodes_[rowType].attributes);
    checkDuplicates(nodes_[rowType].attributes, nodes_[rowType].offset);
    for (std::uint32_t child : nodes_[rowType].children) {
      const std::size_t m2 = scope_.mark();
      declare(nodes_[child].attributes);
      const Local l = resolve(nodes_[child].name);
      if (l.ns == Ns::S && l.local == "AttributeType") {
        addField(child);
      } else if (l.ns == Ns::S && l.local == "attribute") {
        checkDuplicates(nodes_[child].attributes, nodes_[child].offset);
        const std::string type = attributeValue(nodes_[child], "type");
        const auto it = declared.find(type);
        if (it == declared.end())
          fail(LoadStatus::BadSchema, nodes_[child].offset, "s:attribute refers to no AttributeType named '" + type + "'");
        addField(it->second);
      }
      scope_.restore(m2);
    }
    scope_.restore(m);
    if (columns_.empty()) fail(LoadStatus::BadSchema, nodes_[rowType].offset, "the rowset has no fields");
    if (columns_.size() > 16) {
      lookup_.reserve(columns_.size() * 2);
      for (std::size_t i = 0; i < columns_.size(); ++i) lookup_.emplace(columns_[i].xmlName, static_cast<int>(i));
    }
    seen_.assign(columns_.size(), 0);
    nodes_.clear();
    nodes_.shrink_to_fit();
  }

  // ---- data ----

  enum class Kind { Row, Insert, Update, Delete, Original, Other };

  Kind kindOf(std::string_view name) const {
    const Local l = resolve(name);
    if (l.ns == Ns::Z && l.local == "row") return Kind::Row;
    if (l.ns == Ns::Rs) {
      if (l.local == "insert") return Kind::Insert;
      if (l.local == "update") return Kind::Update;
      if (l.local == "delete") return Kind::Delete;
      if (l.local == "original") return Kind::Original;
    }
    return Kind::Other;
  }

  // The kind of the element just started, applying its own namespace declarations when it is
  // not otherwise recognised. The caller restores the scope.
  Kind classify() {
    Kind k = kindOf(scanner_.name());
    if (k == Kind::Other && declare(scanner_.attributes())) k = kindOf(scanner_.name());
    return k;
  }

  int columnOf(std::string_view name, int expected) const {
    const int n = static_cast<int>(columns_.size());
    if (expected < n && columns_[static_cast<std::size_t>(expected)].xmlName == name) return expected;
    if (n <= 16) {
      for (int i = 0; i < n; ++i)
        if (columns_[static_cast<std::size_t>(i)].xmlName == name) return i;
      return -1;
    }
    const auto it = lookup_.find(name);
    return it == lookup_.end() ? -1 : it->second;
  }

  // The value with its references decoded (only when it has any).
  std::string_view plainValue(std::string_view value) {
    if (value.find('&') == std::string_view::npos) return value;
    scratch_.resize(value.size());
    std::size_t written = 0;
    const char* why = nullptr;
    const std::size_t bad = xml::decodeAttributeValue(value, scratch_.data(), written, why);
    if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(value) + bad, why);
    return {scratch_.data(), written};
  }

  [[noreturn]] void badValue(std::size_t column, std::string_view raw, std::string_view text) {
    const FieldDef& f = fields_[column];
    const std::string shown(text.substr(0, 64));
    fail(LoadStatus::BadValue, offsetOf(raw),
         "'" + shown + "' is not a value of field '" + f.name + "' (" + std::string(typeName(f.type)) + ")");
  }

  void readValue(std::size_t column, std::string_view raw, Cell& cell) {
    const Column& col = columns_[column];
    switch (col.kind) {
      case ReadKind::Text: {
        char* out = store_.beginWrite(raw.size());
        std::size_t written = 0;
        const char* why = nullptr;
        const std::size_t bad = xml::decodeAttributeValue(raw, out, written, why);
        if (bad != std::string_view::npos) fail(LoadStatus::Malformed, offsetOf(raw) + bad, why);
        store_.commitWrite(cell, written, col.vt);
        return;
      }
      case ReadKind::Hex: case ReadKind::Base64: {
        const std::string_view t = plainValue(raw);
        char* out = store_.beginWrite(t.size());
        std::size_t written = 0;
        const bool ok = col.kind == ReadKind::Hex ? value_text::decodeHex(t, out, written)
                                                 : value_text::decodeBase64(t, out, written);
        if (!ok) badValue(column, raw, t);
        store_.commitWrite(cell, written, col.vt);
        return;
      }
      default: break;
    }
    const std::string_view t = plainValue(raw);
    std::uint64_t bits = 0;
    bool ok = false;
    switch (col.kind) {
      case ReadKind::Int: {
        std::int64_t v = 0;
        ok = value_text::parseInt64(t, v) && v >= col.low && v <= col.high;
        bits = static_cast<std::uint64_t>(v);
        break;
      }
      case ReadKind::UInt64: ok = value_text::parseUInt64(t, bits); break;
      case ReadKind::Double: {
        double d = 0;
        ok = value_text::parseDouble(t, d);
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      case ReadKind::Decimal: {
        // A numeric of a given scale holds that many decimals: rounded here, as the writer
        // would write it, so that what is read is what a save writes.
        double d = 0;
        ok = value_text::parseDouble(t, d) && std::isfinite(d) && (col.scale < 0 || value_text::roundToScale(d, col.scale));
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      case ReadKind::Single: {
        double d = 0;
        ok = value_text::parseDouble(t, d);
        bits = std::bit_cast<std::uint64_t>(static_cast<double>(static_cast<float>(d)));
        break;
      }
      case ReadKind::Currency: {
        std::int64_t v = 0;
        ok = value_text::parseCurrency(t, v);
        bits = static_cast<std::uint64_t>(v);
        break;
      }
      case ReadKind::Boolean: {
        bool b = false;
        ok = value_text::parseBoolean(t, b);
        bits = b ? 1 : 0;
        break;
      }
      case ReadKind::DateTime: case ReadKind::Date: {
        double d = 0;
        ok = value_text::parseDateTime(t, d);
        if (col.kind == ReadKind::Date) d = std::trunc(d);  // a date holds no time of day
        bits = std::bit_cast<std::uint64_t>(d);
        break;
      }
      case ReadKind::Time: {
        double d = 0;
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
    if (!ok) badValue(column, raw, t);
    cell.bits = bits;
    cell.size = 0;
    cell.vt = col.vt;
  }

  // Reads the attributes of the z:row just started into the cells of `slot`. Returns false
  // when the row declares namespaces of its own: the caller declares them and reads again.
  bool readRowAttributes(std::uint32_t slot, bool markChanged, bool declared) {
    ++generation_;
    unknown_.clear();
    std::string_view forceNull;
    bool hasForceNull = false;
    int expected = 0;
    for (const auto& a : scanner_.attributes()) {
      const int col = columnOf(a.name, expected);
      if (col < 0) {
        if (isNamespaceDeclaration(a.name) && !declared) return false;
        unknown_.push_back(a.name);
        const QName q = split(a.name);
        if (!q.prefix.empty() && q.local == "forcenull" && attributeNs(q.prefix) == Ns::Rs) {
          forceNull = a.value;
          hasForceNull = true;
        }
        continue;
      }
      const auto c = static_cast<std::size_t>(col);
      if (seen_[c] == generation_)
        fail(LoadStatus::Malformed, offsetOf(a.name), "duplicate attribute '" + std::string(a.name) + "'");
      seen_[c] = generation_;
      Cell& cell = store_.cells(slot)[c];
      readValue(c, a.value, cell);
      if (markChanged) cell.flags |= Cell::kChanged;
      expected = col + 1;
    }
    if (unknown_.size() >= 2) {
      names_.assign(unknown_.begin(), unknown_.end());
      checkNames(scanner_.offset());
    }
    if (hasForceNull) {
      const std::string list = decodeSmall(forceNull);
      std::size_t pos = 0;
      while (pos < list.size()) {
        while (pos < list.size() && isXmlSpace(list[pos])) ++pos;
        std::size_t end = pos;
        while (end < list.size() && !isXmlSpace(list[end])) ++end;
        if (end > pos) {
          const int col = columnOf(std::string_view(list).substr(pos, end - pos), 0);
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

  void checkBudget() {
    if ((store_.slotCount() + 1) * columns_.size() > cellBudget_)
      fail(LoadStatus::TooLarge, scanner_.offset(),
           "the rows would take more memory than a document of this size may ask for");
  }

  // Reads the z:row just started into a new slot, which starts as a copy of `from` (the
  // original values of a pending update) or as Nulls. Consumes the row's element. Returns
  // kNoSlot when the element turns out not to be a row once its own declarations apply.
  std::uint32_t readRow(std::uint32_t from, bool markChanged) {
    checkBudget();
    const std::uint32_t slot = from == RowRef::kNoSlot ? store_.addSlot() : store_.copySlot(from);
    bool isRow = true;
    if (!readRowAttributes(slot, markChanged, false)) {
      // The row declares namespaces: start again with them in scope.
      Cell* cells = store_.cells(slot);
      for (std::size_t i = 0; i < columns_.size(); ++i) {
        cells[i] = from == RowRef::kNoSlot ? Cell{} : store_.cells(from)[i];
        cells[i].flags = 0;
      }
      const std::size_t m = scope_.mark();
      declare(scanner_.attributes());
      isRow = kindOf(scanner_.name()) == Kind::Row;
      if (isRow) readRowAttributes(slot, markChanged, true);
      scope_.restore(m);
    }
    skip();
    return isRow ? slot : RowRef::kNoSlot;
  }

  // The rows of an rs:insert or rs:delete just started.
  void readRowsIn(RecordStatusEnum status) {
    const std::size_t depth = scanner_.depth();
    for (;;) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::EndElement && scanner_.depth() == depth) return;
      if (e != xml::ScanEvent::StartElement) continue;
      const std::size_t m = scope_.mark();
      if (classify() == Kind::Row) {
        const std::uint32_t slot = readRow(RowRef::kNoSlot, false);
        if (slot != RowRef::kNoSlot)
          (status == adRecDeleted ? store_.deleted() : store_.rows()).push_back({slot, RowRef::kNoSlot, status});
      } else {
        skip();
      }
      scope_.restore(m);
    }
  }

  // The original row of an rs:original just started.
  std::uint32_t readOriginal() {
    const std::size_t depth = scanner_.depth();
    const std::size_t offset = scanner_.offset();
    std::uint32_t original = RowRef::kNoSlot;
    for (;;) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::EndElement && scanner_.depth() == depth) break;
      if (e != xml::ScanEvent::StartElement) continue;
      const std::size_t m = scope_.mark();
      if (original == RowRef::kNoSlot && classify() == Kind::Row) original = readRow(RowRef::kNoSlot, false);
      else skip();
      scope_.restore(m);
    }
    if (original == RowRef::kNoSlot) fail(LoadStatus::NotARowset, offset, "rs:original without a row");
    return original;
  }

  // The pairs of original and changed rows of an rs:update just started.
  void readUpdate() {
    const std::size_t depth = scanner_.depth();
    std::uint32_t original = RowRef::kNoSlot;
    auto flush = [&] {
      if (original != RowRef::kNoSlot) {
        checkBudget();  // the copy is a slot like any other
        store_.rows().push_back({store_.copySlot(original), original, adRecModified});
      }
      original = RowRef::kNoSlot;
    };
    for (;;) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::EndElement && scanner_.depth() == depth) break;
      if (e != xml::ScanEvent::StartElement) continue;
      const std::size_t m = scope_.mark();
      const Kind k = classify();
      if (k == Kind::Original) {
        flush();
        original = readOriginal();
      } else if (k == Kind::Row) {
        if (original == RowRef::kNoSlot)
          fail(LoadStatus::NotARowset, scanner_.offset(), "a changed row in rs:update without its rs:original");
        const std::uint32_t slot = readRow(original, true);
        if (slot != RowRef::kNoSlot) {
          store_.rows().push_back({slot, original, adRecModified});
          original = RowRef::kNoSlot;
        }
      } else {
        skip();
      }
      scope_.restore(m);
    }
    flush();
  }

  // An upper bound of the slots still to come, to size the store once: the start tags of the
  // row element's name in the rest of the text, and the originals that may need a copy.
  std::size_t estimateRows() const {
    std::string_view prefix;
    if (!scope_.rowPrefix(prefix)) return 0;
    std::string needle = "<";
    if (!prefix.empty()) needle.append(prefix).append(":");
    needle.append("row");
    std::size_t count = 0;
    for (std::size_t pos = text_.find(needle, scanner_.offset()); pos != std::string_view::npos;
         pos = text_.find(needle, pos + needle.size()))
      ++count;
    // An rs:original without its changed row takes a second slot, its copy. Counting every
    // "original" over-counts a little; counting too few would move (and for a moment hold
    // twice) every cell once the reserve ran out.
    constexpr std::string_view kOriginal = "original";
    for (std::size_t pos = text_.find(kOriginal, scanner_.offset()); pos != std::string_view::npos;
         pos = text_.find(kOriginal, pos + kOriginal.size()))
      ++count;
    return count;
  }

  // The rs:data element has just started; its declarations are in scope.
  void readData() {
    checkDuplicates(scanner_.attributes(), scanner_.offset());
    cellBudget_ = kBaseCellBudget + kCellsPerByte * text_.size();
    store_.reset(columns_.size());
    const std::size_t rows = std::min(estimateRows(), cellBudget_ / columns_.size() + 1);
    store_.reserve(rows, std::min<std::size_t>(text_.size() - scanner_.offset(), rows * 64));
    const std::size_t depth = scanner_.depth();
    for (;;) {
      const xml::ScanEvent e = next();
      if (e == xml::ScanEvent::EndElement && scanner_.depth() == depth) return;
      if (e != xml::ScanEvent::StartElement) continue;
      const std::size_t m = scope_.mark();
      switch (classify()) {
        case Kind::Row: {
          const std::uint32_t slot = readRow(RowRef::kNoSlot, false);
          if (slot != RowRef::kNoSlot) store_.rows().push_back({slot, RowRef::kNoSlot, adRecUnmodified});
          break;
        }
        case Kind::Insert: readRowsIn(adRecNew); break;
        case Kind::Delete: readRowsIn(adRecDeleted); break;
        case Kind::Update: readUpdate(); break;
        default: skip(); break;
      }
      scope_.restore(m);
    }
  }

  std::string_view text_;
  xml::XmlScanner scanner_;
  std::vector<FieldDef>& fields_;
  RowStore& store_;
  Scope scope_;
  std::vector<Node> nodes_;
  std::vector<Column> columns_;
  std::unordered_map<std::string_view, int> lookup_;
  std::unordered_set<std::string> xmlNames_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t generation_ = 0;
  std::vector<std::string_view> names_;
  std::vector<std::string_view> unknown_;
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
