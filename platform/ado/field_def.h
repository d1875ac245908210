#pragma once
// The definition of one field of a recordset: what Fields.Append gives, or what the schema of
// a persisted rowset declares, kept so that a save writes it back the same way.

#include <cstdint>
#include <string>

#include "platform/ado/data_type.h"

namespace veltrano::ado {

struct FieldDef {
  std::string name;  // Field.Name (a loaded rowset's rs:name, else its name)
  DataTypeEnum type = adVarWChar;
  std::int64_t definedSize = 0;  // -1 when a loaded schema gives no dt:maxLength
  int attributes = 0;            // FieldAttributeEnum bits
  std::uint8_t precision = 0;
  std::uint8_t numericScale = 0;
  // Whether rs:precision and rs:scale are written: a fabricated field writes precision (0 when
  // unset) and the scale of the types that have one; a loaded field writes what it carried.
  bool writePrecision = true;
  bool writeScale = false;
  // Base-table metadata of provider-made rowsets, carried through a load and a save.
  std::string baseCatalog, baseSchema, baseTable, baseColumn;
  bool autoIncrement = false;
  bool hidden = false;

  bool operator==(const FieldDef&) const = default;
};

}  // namespace veltrano::ado
