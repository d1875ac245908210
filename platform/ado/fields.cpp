#include "platform/ado/fields.h"

#include "platform/ado/recordset.h"
#include "platform/runtime/error.h"

namespace veltrano::ado {

int Fields::Count() const { return static_cast<int>(recordset_->fields_.size()); }

Field Fields::Item(int index) const {
  if (index < 0 || index >= Count()) throw RuntimeError(err::kAdoItemNotFound, "ADODB.Fields");
  return Field(recordset_, index);
}

Field Fields::Item(std::string_view name) const {
  const int index = recordset_->fieldIndex(name);
  if (index < 0) throw RuntimeError(err::kAdoItemNotFound, "ADODB.Fields");
  return Field(recordset_, index);
}

void Fields::Append(std::string_view name, DataTypeEnum type, std::int64_t definedSize, int attributes) {
  recordset_->appendField(name, type, definedSize, attributes);
}

}  // namespace veltrano::ado
