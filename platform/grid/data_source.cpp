#include "platform/grid/data_source.h"

namespace veltrano::grid {

bool isIntegerType(int t) {
  using namespace adtype;
  switch (t) {
    case adTinyInt: case adSmallInt: case adInteger: case adBigInt:
    case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adUnsignedBigInt:
      return true;
    default:
      return false;
  }
}

bool isNumericType(int t) {
  using namespace adtype;
  if (isIntegerType(t)) return true;
  switch (t) {
    case adSingle: case adDouble: case adCurrency: case adDecimal: case adNumeric: case adVarNumeric:
      return true;
    default:
      return false;
  }
}

int autoDecPlaces(int t, int scale) {
  using namespace adtype;
  if (isIntegerType(t)) return 0;
  if ((t == adDecimal || t == adNumeric || t == adVarNumeric) && scale >= 0 && scale <= 15) return scale;
  return 2;
}

void MemoryDataSource::addRecord(std::vector<Variant> values) {
  values.resize(fields_.size());
  rows_.push_back(std::move(values));
}

Variant MemoryDataSource::value(long long record, int field) const {
  return rows_.at(static_cast<std::size_t>(record)).at(static_cast<std::size_t>(field));
}

}  // namespace veltrano::grid
