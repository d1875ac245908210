#include "platform/ado/rowset_writer.h"

#include <array>
#include <bit>
#include <set>

#include "platform/ado/data_type.h"
#include "platform/ado/value_text.h"
#include "platform/runtime/error.h"

namespace veltrano::ado {

namespace {

constexpr std::size_t kBreakColumn = 108;
constexpr std::size_t kHexPiece = 10;  // hex digits written between two checks for a line break

// Characters written as references in values.
constexpr std::array<std::uint8_t, 256> kEscape = [] {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 0x20; ++i) t[i] = 1;
  t['\t'] = t['\r'] = t['\n'] = 0;
  t['\''] = t['"'] = t['<'] = t['>'] = t['&'] = 1;
  return t;
}();

std::size_t characters(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void raw(std::string_view s) {
    out_.append(s);
    column_ += characters(s);
  }
  void ascii(std::string_view s) {
    out_.append(s);
    column_ += s.size();
  }
  void newline() {
    out_.append("\r\n");
    column_ = 0;
  }
  void tabs(int n) {
    out_.append(static_cast<std::size_t>(n), '\t');
    column_ += static_cast<std::size_t>(n);
  }

  // The separator before an attribute, breaking the line first when it is long enough.
  void separator(bool first, int continuationTabs) {
    if (!first && column_ >= kBreakColumn) {
      newline();
      tabs(continuationTabs);
    }
    out_.push_back(' ');
    ++column_;
  }

  // Text with ' " < > & and control characters (but TAB, CR, LF) as references, in one pass
  // that also counts the characters written.
  void escaped(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t run = 0, chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      chars += (c & 0xC0) != 0x80;
      if (!kEscape[c]) continue;
      out_.append(s.data() + run, i - run);
      char ref[8] = {'&', '#', 'x'};
      std::size_t n = 3;
      if (c >= 0x10) ref[n++] = kHex[c >> 4];
      ref[n++] = kHex[c & 0xF];
      ref[n++] = ';';
      out_.append(ref, n);
      chars += n - 1;
      run = i + 1;
    }
    out_.append(s.data() + run, s.size() - run);
    column_ += chars;
  }

  // An attribute whose value is text to escape.
  void attribute(std::string_view name, std::string_view value, bool first, int continuationTabs) {
    separator(first, continuationTabs);
    raw(name);
    ascii("='");
    escaped(value);
    out_.push_back('\'');
    ++column_;
  }

  // bin.hex, broken inside the value when the line grows long.
  void hex(std::string_view bytes, int continuationTabs) {
    static constexpr char kHex[] = "0123456789abcdef";
    char piece[kHexPiece];
    std::size_t filled = 0;
    auto flush = [&] {
      if (column_ >= kBreakColumn) {
        newline();
        tabs(continuationTabs);
      }
      out_.append(piece, filled);
      column_ += filled;
      filled = 0;
    };
    for (char b : bytes) {
      const auto c = static_cast<unsigned char>(b);
      piece[filled++] = kHex[c >> 4];
      piece[filled++] = kHex[c & 0xF];
      if (filled == kHexPiece) flush();
    }
    if (filled) flush();
  }

  void hexAttribute(std::string_view name, std::string_view bytes, bool first, int continuationTabs, int valueTabs) {
    separator(first, continuationTabs);
    raw(name);
    ascii("='");
    hex(bytes, valueTabs);
    out_.push_back('\'');
    ++column_;
  }

 private:
  std::string& out_;
  std::size_t column_ = 0;
};

bool needsAlias(std::string_view name) {
  if (name.empty()) return true;
  const char first = name[0];
  if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first == '_')) return true;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return true;
  if (name.size() >= 3) {
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
    if (lower(name[0]) == 'x' && lower(name[1]) == 'm' && lower(name[2]) == 'l') return true;
  }
  return false;
}

struct XdrForm {
  std::string_view type;
  std::string_view dbtype;
};

XdrForm xdrForm(DataTypeEnum type) {
  switch (type) {
    case adSmallInt: return {"i2", {}};
    case adInteger: return {"int", {}};
    case adSingle: return {"r4", {}};
    case adDouble: return {"float", {}};
    case adCurrency: return {"number", "currency"};
    case adDate: return {"dateTime", "variantdate"};
    case adBoolean: return {"boolean", {}};
    case adDecimal: return {"number", "decimal"};
    case adTinyInt: return {"i1", {}};
    case adUnsignedTinyInt: return {"ui1", {}};
    case adUnsignedSmallInt: return {"ui2", {}};
    case adUnsignedInt: return {"ui4", {}};
    case adBigInt: return {"i8", {}};
    case adUnsignedBigInt: return {"ui8", {}};
    case adFileTime: return {"dateTime", "filetime"};
    case adGUID: return {"uuid", {}};
    case adBinary: case adVarBinary: case adLongVarBinary: return {"bin.hex", {}};
    case adChar: case adVarChar: case adLongVarChar: return {"string", "str"};
    case adNumeric: return {"number", "numeric"};
    case adVarNumeric: return {"number", "varnumeric"};
    case adDBDate: return {"date", {}};
    case adDBTime: return {"time", {}};
    case adDBTimeStamp: return {"dateTime", "timestamp"};
    default: return {"string", {}};
  }
}

class DocumentWriter {
 public:
  DocumentWriter(const std::vector<FieldDef>& fields, const RowStore& store, std::string& out)
      : fields_(fields), store_(&store), w_(out), names_(RowsetWriter::xmlNames(fields)) {}
  DocumentWriter(const std::vector<FieldDef>& fields, std::span<const std::vector<Variant>> rows, std::string& out)
      : fields_(fields), values_(rows), w_(out), names_(RowsetWriter::xmlNames(fields)) {}

  void run() {
    w_.ascii("<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'");
    w_.newline();
    w_.ascii("\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'");
    w_.newline();
    w_.ascii("\txmlns:rs='urn:schemas-microsoft-com:rowset'");
    w_.newline();
    w_.ascii("\txmlns:z='#RowsetSchema'>");
    w_.newline();
    schema();
    data();
    w_.ascii("</xml>");
  }

 private:
  void schema() {
    w_.ascii("<s:Schema id='RowsetSchema'>");
    w_.newline();
    w_.ascii("\t<s:ElementType name='row' content='eltOnly' rs:updatable='true'>");
    w_.newline();
    for (std::size_t i = 0; i < fields_.size(); ++i) field(i);
    w_.ascii("\t\t<s:extends type='rs:rowbase'/>");
    w_.newline();
    w_.ascii("\t</s:ElementType>");
    w_.newline();
    w_.ascii("</s:Schema>");
    w_.newline();
  }

  void field(std::size_t i) {
    const FieldDef& f = fields_[i];
    const int a = f.attributes;
    w_.ascii("\t\t<s:AttributeType");
    w_.attribute("name", names_[i], true, 2);
    if (names_[i] != f.name) w_.attribute("rs:name", f.name, false, 2);
    w_.attribute("rs:number", std::to_string(i + 1), false, 2);
    if (a & adFldIsNullable) w_.attribute("rs:nullable", "true", false, 2);
    if (a & adFldMayDefer) w_.attribute("rs:maydefer", "true", false, 2);
    if (a & adFldUpdatable) w_.attribute("rs:write", "true", false, 2);
    else if (a & adFldUnknownUpdatable) w_.attribute("rs:writeunknown", "true", false, 2);
    if (!f.baseCatalog.empty()) w_.attribute("rs:basecatalog", f.baseCatalog, false, 2);
    if (!f.baseSchema.empty()) w_.attribute("rs:baseschema", f.baseSchema, false, 2);
    if (!f.baseTable.empty()) w_.attribute("rs:basetable", f.baseTable, false, 2);
    if (!f.baseColumn.empty()) w_.attribute("rs:basecolumn", f.baseColumn, false, 2);
    if (a & adFldKeyColumn) w_.attribute("rs:keycolumn", "true", false, 2);
    if (f.hidden) w_.attribute("rs:hidden", "true", false, 2);
    if (f.autoIncrement) w_.attribute("rs:autoincrement", "true", false, 2);
    if (a & adFldRowID) w_.attribute("rs:rowid", "true", false, 2);
    w_.ascii(">");
    w_.newline();

    const XdrForm x = xdrForm(f.type);
    w_.ascii("\t\t\t<s:datatype");
    w_.attribute("dt:type", x.type, true, 3);
    if (f.type != adVariant) {
      if (!x.dbtype.empty()) w_.attribute("rs:dbtype", x.dbtype, false, 3);
      if (f.definedSize >= 0) w_.attribute("dt:maxLength", std::to_string(f.definedSize), false, 3);
      if (f.writeScale) w_.attribute("rs:scale", std::to_string(f.numericScale), false, 3);
      if (f.writePrecision) w_.attribute("rs:precision", std::to_string(f.precision), false, 3);
      if (a & adFldFixed) w_.attribute("rs:fixedlength", "true", false, 3);
      if (a & adFldLong) w_.attribute("rs:long", "true", false, 3);
    }
    if (!(a & adFldMayBeNull)) w_.attribute("rs:maybenull", "false", false, 3);
    w_.ascii("/>");
    w_.newline();
    w_.ascii("\t\t</s:AttributeType>");
    w_.newline();
  }

  void data() {
    w_.ascii("<rs:data>");
    w_.newline();
    if (!store_) {
      valueRows();
    } else {
      storeRows();
    }
    w_.ascii("</rs:data>");
    w_.newline();
  }

  // Rows of values held elsewhere: each value seen as a cell in place, coerced first only when
  // its type is not already its field's.
  void valueRows() {
    std::vector<Cell> cells(fields_.size());
    std::vector<Variant> coerced(fields_.size());
    for (const std::vector<Variant>& values : values_) {
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        const Variant& v = values[i];
        if (keptAsIs(fields_[i].type, v)) {
          cells[i] = RowStore::view(v);
        } else {
          coerced[i] = coerce(fields_[i].type, fields_[i].definedSize, v);
          cells[i] = RowStore::view(coerced[i]);
        }
      }
      row(cells.data(), 1, Cells::All);
    }
  }

  // Whether coerce() would give `v` back unchanged (text, bytes and NULL, which it would copy).
  static bool keptAsIs(DataTypeEnum type, const Variant& v) {
    if (v.isNull() || v.isEmpty()) return true;
    switch (type) {
      case adBSTR: case adVarChar: case adLongVarChar: case adVarWChar: case adLongVarWChar: case adGUID:
        return v.isString();
      case adBinary: case adVarBinary: case adLongVarBinary: return v.isBytes();
      default: return false;
    }
  }

  void storeRows() {
    const RowStore& store = *store_;
    bool anyNew = false;
    for (const RowRef& r : store.rows()) {
      if (r.status == adRecNew) {
        anyNew = true;
      } else if (r.status == adRecModified && r.original != RowRef::kNoSlot) {
        w_.ascii("\t<rs:update>");
        w_.newline();
        w_.ascii("\t\t<rs:original>");
        w_.newline();
        row(r.original, 3, Cells::All);
        w_.ascii("\t\t</rs:original>");
        w_.newline();
        row(r.slot, 2, Cells::Changed);
        w_.ascii("\t</rs:update>");
        w_.newline();
      } else {
        row(r.slot, 1, Cells::All);
      }
    }
    if (anyNew) {
      w_.ascii("\t<rs:insert>");
      w_.newline();
      for (const RowRef& r : store.rows())
        if (r.status == adRecNew) row(r.slot, 2, Cells::AllForceNull);
      w_.ascii("\t</rs:insert>");
      w_.newline();
    }
    if (!store.deleted().empty()) {
      w_.ascii("\t<rs:delete>");
      w_.newline();
      for (const RowRef& r : store.deleted()) row(r.original != RowRef::kNoSlot ? r.original : r.slot, 2, Cells::All);
      w_.ascii("\t</rs:delete>");
      w_.newline();
    }
  }

  enum class Cells {
    All,           // every non-NULL value; NULL left out
    AllForceNull,  // every value; NULL named in rs:forcenull (a pending insert)
    Changed,       // the changed values; changed to NULL named in rs:forcenull (a pending update)
  };

  void row(std::uint32_t slot, int depth, Cells which) { row(store_->cells(slot), depth, which); }

  void row(const Cell* cells, int depth, Cells which) {
    w_.tabs(depth);
    w_.ascii("<z:row");
    bool first = true;
    std::string forceNull;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const Cell& c = cells[i];
      if (which == Cells::Changed && !(c.flags & Cell::kChanged)) continue;
      if (c.isNull()) {
        if (which != Cells::All) {
          if (!forceNull.empty()) forceNull.push_back(' ');
          forceNull += names_[i];
        }
        continue;
      }
      value(i, c, first, depth);
      first = false;
    }
    if (!forceNull.empty()) w_.attribute("rs:forcenull", forceNull, first, depth + 1);
    w_.ascii("/>");
    w_.newline();
  }

  void value(std::size_t i, const Cell& c, bool first, int depth) {
    const FieldDef& f = fields_[i];
    const std::string_view name = names_[i];
    if (c.vt == static_cast<std::uint16_t>(VarType::ByteArray)) {
      w_.hexAttribute(name, RowStore::bytesOf(c), first, depth + 1, depth + 1);
      return;
    }
    if (c.vt == static_cast<std::uint16_t>(VarType::String)) {
      w_.attribute(name, RowStore::bytesOf(c), first, depth + 1);
      return;
    }
    text_.clear();
    const double d = std::bit_cast<double>(c.bits);
    switch (static_cast<VarType>(c.vt)) {
      case VarType::Boolean: value_text::appendBoolean(text_, c.bits != 0); break;
      case VarType::Integer: case VarType::Long: case VarType::Byte: case VarType::LongLong:
        value_text::appendInt64(text_, static_cast<std::int64_t>(c.bits));
        break;
      case VarType::Currency: value_text::appendCurrency(text_, static_cast<std::int64_t>(c.bits)); break;
      case VarType::Single: value_text::appendSingle(text_, static_cast<float>(d)); break;
      case VarType::Double:
        if (f.type == adVariant) text_ = RowStore::get(c).toString();
        else value_text::appendDouble(text_, d);
        break;
      case VarType::Decimal:
        if (f.type == adVariant) text_ = RowStore::get(c).toString();
        else if (!(f.type == adNumeric && f.writeScale ? value_text::appendNumeric(text_, d, f.numericScale)
                                                        : value_text::appendDecimal(text_, d)))
          unwritable(f, "a number that is not finite");
        break;
      case VarType::Date:
        if (f.type == adVariant) text_ = RowStore::get(c).toString();
        else if (!(f.type == adDBDate   ? value_text::appendDate(text_, d)
                   : f.type == adDBTime ? (value_text::appendTime(text_, d), true)
                                        : value_text::appendDateTime(text_, d)))
          unwritable(f, "a date outside the years 1 to 9999");
        break;
      default:
        if (c.vt == Cell::kUInt64) value_text::appendUInt64(text_, c.bits);
        else text_ = RowStore::get(c).toText();
        break;
    }
    w_.attribute(name, text_, first, depth + 1);
  }

  [[noreturn]] static void unwritable(const FieldDef& f, const char* what) {
    throw RuntimeError(err::kOverflow, "ADODB.Recordset",
                       "Field '" + f.name + "' holds " + what + ", which the XML form cannot carry");
  }

  const std::vector<FieldDef>& fields_;
  const RowStore* store_ = nullptr;                 // the rows of a store, or
  std::span<const std::vector<Variant>> values_;  // rows of values
  Writer w_;
  std::vector<std::string> names_;
  std::string text_;
};

}  // namespace

std::vector<std::string> RowsetWriter::xmlNames(const std::vector<FieldDef>& fields) {
  std::vector<std::string> names(fields.size());
  std::set<std::string, std::less<>> taken;
  std::vector<bool> alias(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    alias[i] = needsAlias(fields[i].name) || taken.count(fields[i].name) != 0;
    if (!alias[i]) {
      names[i] = fields[i].name;
      taken.insert(names[i]);
    }
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!alias[i]) continue;
    const std::string plain = std::string(1, 'c').append(std::to_string(i));
    std::string candidate = plain;
    for (int k = 1; taken.count(candidate); ++k) candidate = std::string(plain).append("_").append(std::to_string(k));
    names[i] = candidate;
    taken.insert(candidate);
  }
  return names;
}

void RowsetWriter::write(const std::vector<FieldDef>& fields, const RowStore& store, std::string& out) {
  out.reserve(out.size() + 1024 + fields.size() * 256 + store.slotCount() * (16 + fields.size() * 12));
  DocumentWriter(fields, store, out).run();
}

void RowsetWriter::write(const std::vector<FieldDef>& fields, std::span<const std::vector<Variant>> rows,
                         std::string& out) {
  std::size_t bytes = 0;
  for (const auto& values : rows)
    for (const Variant& v : values) bytes += v.isString() ? v.str().size() : v.isBytes() ? 2 * v.bytes().size() : 0;
  out.reserve(out.size() + 1024 + fields.size() * 256 + rows.size() * (16 + fields.size() * 12) + bytes);
  DocumentWriter(fields, rows, out).run();
}

}  // namespace veltrano::ado
