#pragma once
// The Fields collection of a recordset: count, items by position or by name (names compared
// without regard to ASCII case, as ADO does), and Append to define the fields of a recordset
// made by the caller before it is opened with no source. A small handle, like Field.
//
// Errors (source "ADODB.Fields"): an unknown name or a position outside 0..Count-1 raises
// 3265; Append on an open recordset raises 3219; Append of a name already present raises 3367;
// an unknown type raises 3001.

#include <cstdint>
#include <string_view>

#include "platform/ado/data_type.h"
#include "platform/ado/field.h"

namespace veltrano::ado {

class Fields {
 public:
  int Count() const;
  Field Item(int index) const;
  Field Item(std::string_view name) const;
  Field operator[](int index) const { return Item(index); }
  Field operator[](std::string_view name) const { return Item(name); }
  Field operator()(int index) const { return Item(index); }
  Field operator()(std::string_view name) const { return Item(name); }

  // Fields.Append name, type, definedSize, attributes. A size of 0 for a fixed-size type
  // takes the type's own size (adInteger 4 ...). The field gets ADO's attributes for a
  // fabricated field: adFldUpdatable, plus adFldFixed or adFldLong by type, plus those asked.
  void Append(std::string_view name, DataTypeEnum type, std::int64_t definedSize = 0,
              int attributes = adFldUnspecified);

 private:
  friend class Recordset;
  explicit Fields(Recordset* recordset) : recordset_(recordset) {}
  Recordset* recordset_;
};

}  // namespace veltrano::ado
