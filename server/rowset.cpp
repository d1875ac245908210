#include "server/rowset.h"

#include <stdexcept>

#include "platform/ado/data_type.h"
#include "platform/ado/field_def.h"
#include "platform/ado/recordset.h"
#include "platform/ado/rowset_writer.h"
#include "platform/ado/value_text.h"
#include "platform/text/ascii.h"

namespace veltrano::server {

namespace {

// Text longer than this is a long text field, as SQL Server's ntext comes to ADO.
constexpr std::size_t kLongestVarText = 4000;

ado::FieldDef fieldFor(const ResultColumn& column) {
  ado::FieldDef def;
  def.name = column.name;
  switch (column.kind) {
    case ColumnKind::Integer: def.type = ado::adInteger; break;
    case ColumnKind::BigInt: def.type = ado::adBigInt; break;
    case ColumnKind::Double: def.type = ado::adDouble; break;
    case ColumnKind::Text:
      def.type = column.definedSize > kLongestVarText ? ado::adLongVarWChar : ado::adVarWChar;
      break;
    case ColumnKind::Blob: def.type = ado::adLongVarBinary; break;
  }
  if (column.kind == ColumnKind::Text && def.type == ado::adVarWChar)
    def.definedSize = static_cast<std::int64_t>(column.definedSize);
  else if (ado::isLongType(def.type))
    def.definedSize = def.type == ado::adLongVarBinary ? 2147483647 : 1073741823;
  else
    def.definedSize = ado::naturalSize(def.type);
  def.attributes = ado::appendedAttributes(def.type, ado::adFldIsNullable | ado::adFldMayBeNull);
  return def;
}

}  // namespace

const Variant* RecordsetFields::find(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (text::EqualsNoCaseAscii(n, name)) return &v;
  return nullptr;
}

std::string rowsetXml(const ResultSet& result) {
  std::vector<ado::FieldDef> fields;
  fields.reserve(result.columns.size());
  for (const ResultColumn& c : result.columns) fields.push_back(fieldFor(c));

  // The rows are written as records the recordset holds unchanged (as a query's result comes
  // to ADO), so the document carries plain z:row elements, not pending inserts.
  std::string xml;
  ado::RowsetWriter::write(fields, result.rows, xml);
  return xml;
}

std::optional<RecordsetFields> readRecordset(std::string_view xml, std::string& error) {
  ado::Recordset rs;
  const ado::LoadResult loaded = rs.loadXml(xml);
  if (!loaded) {
    error = loaded.description + " (at byte " + std::to_string(loaded.offset) + ")";
    return std::nullopt;
  }
  if (rs.Eof()) {
    error = "the recordset holds no row";
    return std::nullopt;
  }
  RecordsetFields request;
  const int count = rs.Fields().Count();
  for (int i = 0; i < count; ++i) {
    ado::Field f = rs.Fields(i);
    request.fields.emplace_back(f.Name(), f.Value());
  }
  return request;
}

}  // namespace veltrano::server
