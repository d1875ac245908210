#include "platform/ado/field.h"

#include "platform/ado/recordset.h"
#include "platform/runtime/error.h"

namespace veltrano::ado {

const std::string& Field::Name() const { return recordset_->fields_[static_cast<std::size_t>(index_)].name; }
DataTypeEnum Field::Type() const { return recordset_->fields_[static_cast<std::size_t>(index_)].type; }
std::int64_t Field::DefinedSize() const {
  const FieldDef& f = recordset_->fields_[static_cast<std::size_t>(index_)];
  return f.definedSize >= 0 ? f.definedSize : naturalSize(f.type);
}
std::int64_t Field::ActualSize() const { return recordset_->fieldActualSize(index_); }
int Field::Attributes() const { return recordset_->fields_[static_cast<std::size_t>(index_)].attributes; }
std::uint8_t Field::Precision() const { return recordset_->fields_[static_cast<std::size_t>(index_)].precision; }
std::uint8_t Field::NumericScale() const { return recordset_->fields_[static_cast<std::size_t>(index_)].numericScale; }

void Field::setPrecision(std::uint8_t precision) {
  if (recordset_->state_ == adStateOpen) throw RuntimeError(err::kAdoOperationNotAllowed, "ADODB.Field");
  FieldDef& f = recordset_->fields_[static_cast<std::size_t>(index_)];
  f.precision = precision;
  f.writePrecision = f.type != adVariant;
}

void Field::setNumericScale(std::uint8_t scale) {
  if (recordset_->state_ == adStateOpen) throw RuntimeError(err::kAdoOperationNotAllowed, "ADODB.Field");
  FieldDef& f = recordset_->fields_[static_cast<std::size_t>(index_)];
  f.numericScale = scale;
  f.writeScale = true;
}

Variant Field::Value() const { return recordset_->fieldValue(index_); }
void Field::setValue(const Variant& value) { recordset_->setFieldValue(index_, value); }
Variant Field::OriginalValue() const { return recordset_->fieldOriginalValue(index_); }
void Field::AppendChunk(const Variant& data) { recordset_->appendChunk(index_, data); }

}  // namespace veltrano::ado
