#pragma once
// What the grid needs of a recordset to bind to it: fields with names, ADO data types and
// numeric scales, a row count and the values by row and field. The Recordset of platform/ado
// is bound through an adapter to this interface; tests and benchmarks use MemoryDataSource.

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/variant.h"

namespace veltrano::grid {

// ADO DataTypeEnum numbers of the field types the grid tells apart.
namespace adtype {
inline constexpr int adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5,
                     adCurrency = 6, adDate = 7, adBSTR = 8, adBoolean = 11, adVariant = 12,
                     adDecimal = 14, adTinyInt = 16, adUnsignedTinyInt = 17, adUnsignedSmallInt = 18,
                     adUnsignedInt = 19, adBigInt = 20, adUnsignedBigInt = 21, adBinary = 128,
                     adChar = 129, adWChar = 130, adNumeric = 131, adDBDate = 133, adDBTime = 134,
                     adDBTimeStamp = 135, adVarNumeric = 139, adVarChar = 200, adLongVarChar = 201,
                     adVarWChar = 202, adLongVarWChar = 203, adVarBinary = 204, adLongVarBinary = 205;
}  // namespace adtype

bool isIntegerType(int adoType);
// Integer types and the other number types (single, double, currency, decimal, numeric).
bool isNumericType(int adoType);
// Decimal places an automatic number cell type shows for a field: 0 for integer fields, the
// field's scale for decimal and numeric fields whose scale is 0 to 15, else 2.
int autoDecPlaces(int adoType, int numericScale);

class DataSource {
 public:
  virtual ~DataSource() = default;
  virtual int fieldCount() const = 0;
  virtual std::string fieldName(int field) const = 0;  // fields count from 0
  virtual int fieldType(int field) const = 0;          // ADO DataTypeEnum
  virtual int fieldScale(int field) const = 0;         // NumericScale; 255 when it has none
  virtual long long recordCount() const = 0;
  virtual Variant value(long long record, int field) const = 0;  // records count from 0
};

// A table held in memory.
class MemoryDataSource : public DataSource {
 public:
  struct Field {
    std::string name;
    int type = adtype::adVarWChar;
    int scale = 255;
  };
  explicit MemoryDataSource(std::vector<Field> fields) : fields_(std::move(fields)) {}
  void addRecord(std::vector<Variant> values);
  void reserve(std::size_t records) { rows_.reserve(records); }

  int fieldCount() const override { return static_cast<int>(fields_.size()); }
  std::string fieldName(int field) const override { return fields_.at(static_cast<std::size_t>(field)).name; }
  int fieldType(int field) const override { return fields_.at(static_cast<std::size_t>(field)).type; }
  int fieldScale(int field) const override { return fields_.at(static_cast<std::size_t>(field)).scale; }
  long long recordCount() const override { return static_cast<long long>(rows_.size()); }
  Variant value(long long record, int field) const override;

 private:
  std::vector<Field> fields_;
  std::vector<std::vector<Variant>> rows_;
};

}  // namespace veltrano::grid
