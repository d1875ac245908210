#include "platform/grid/recordset_source.h"

#include "platform/runtime/error.h"

namespace veltrano::grid {

const ado::FieldDef& RecordsetSource::def(int field) const {
  const auto& defs = rs_->fieldDefs();
  if (field < 0 || static_cast<std::size_t>(field) >= defs.size())
    throw RuntimeError(err::kAdoItemNotFound, "ADODB.Fields");
  return defs[static_cast<std::size_t>(field)];
}

int RecordsetSource::fieldCount() const { return static_cast<int>(rs_->fieldDefs().size()); }
std::string RecordsetSource::fieldName(int field) const { return def(field).name; }
int RecordsetSource::fieldType(int field) const { return def(field).type; }

int RecordsetSource::fieldScale(int field) const {
  const ado::FieldDef& d = def(field);
  const bool scaled = d.type == ado::adDecimal || d.type == ado::adNumeric || d.type == ado::adVarNumeric;
  return scaled ? d.numericScale : 255;
}

long long RecordsetSource::recordCount() const { return rs_->RecordCount(); }

Variant RecordsetSource::value(long long record, int field) const {
  return rs_->valueAt(static_cast<std::int32_t>(record), field);
}

std::shared_ptr<const DataSource> sourceOf(const ado::RecordsetPtr& recordset) {
  if (!recordset) return nullptr;
  return std::make_shared<RecordsetSource>(recordset);
}

}  // namespace veltrano::grid
