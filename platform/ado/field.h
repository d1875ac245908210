#pragma once
// One field of a recordset, as ADO's Field object: its definition, and its value in the
// current record. A Field is a small handle (the recordset and the field's position), cheap to
// copy; it stays usable for as long as the recordset it came from exists, and always refers
// to the record that is current when it is used.
//
// Errors (veltrano::RuntimeError, source "ADODB.Field"): reading or writing a value while the
// recordset is closed raises 3704; while it is at BOF or EOF (no current record) 3021; a value
// that does not convert to the field's type raises the run-time's 13 (type mismatch) or 6
// (overflow); changing the definition of a field of an open recordset raises 3219.

#include <cstdint>
#include <string>

#include "platform/ado/data_type.h"
#include "platform/runtime/variant.h"

namespace veltrano::ado {

class Recordset;

class Field {
 public:
  const std::string& Name() const;
  DataTypeEnum Type() const;
  // The declared size: characters for text, bytes for binary, the type's size for numbers
  // and dates; 0 for adVariant.
  std::int64_t DefinedSize() const;
  // The size of the current value: bytes for binary, CP949 bytes for ANSI text, two bytes a
  // character for Unicode text, DefinedSize for the other types; -1 (adUnknown) for NULL.
  std::int64_t ActualSize() const;
  int Attributes() const;  // FieldAttributeEnum bits
  std::uint8_t Precision() const;
  std::uint8_t NumericScale() const;
  // Precision and scale of adNumeric/adDecimal fields, set before the recordset is opened.
  void setPrecision(std::uint8_t precision);
  void setNumericScale(std::uint8_t scale);

  // The value in the current record (Null for NULL). Text types give String, binary types a
  // byte array, numbers their VB type (adInteger Long, adSmallInt and adTinyInt Integer,
  // adUnsignedTinyInt Byte, adBigInt and the larger unsigned types LongLong, adCurrency
  // Currency, adNumeric/adDecimal Decimal), dates Date, adBoolean Boolean, adGUID its text;
  // adVariant whatever it holds (text, once loaded from XML).
  Variant Value() const;
  // Assigns a value, converted to the field's type (data_type.h's coerce). Starts editing the
  // current record if no edit is in progress; Update saves it, CancelUpdate undoes it.
  void setValue(const Variant& value);
  // The value the record had before its pending update (the current value when there is none).
  Variant OriginalValue() const;
  // Appends a chunk to the value in the current record: bytes to binary values, text to text
  // values; for adVariant, a byte array chunk appended to a byte array (or to NULL) stays a
  // byte array, anything else is appended as text. Null and Empty chunks change nothing.
  void AppendChunk(const Variant& data);

  int index() const { return index_; }

 private:
  friend class Recordset;
  friend class Fields;
  Field(Recordset* recordset, int index) : recordset_(recordset), index_(index) {}

  Recordset* recordset_;
  int index_;
};

}  // namespace veltrano::ado
