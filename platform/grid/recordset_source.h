#pragma once
// The Recordset of platform/ado as a data source of the grid. The grid and the caller share
// the recordset; it must stay open while the grid is bound to it (a closed one raises ADO's
// 3704 from the binding).

#include <memory>

#include "platform/ado/recordset.h"
#include "platform/grid/data_source.h"

namespace veltrano::grid {

class RecordsetSource : public DataSource {
 public:
  explicit RecordsetSource(ado::RecordsetPtr recordset) : rs_(std::move(recordset)) {}
  const ado::RecordsetPtr& recordset() const { return rs_; }

  int fieldCount() const override;
  std::string fieldName(int field) const override;
  int fieldType(int field) const override;
  int fieldScale(int field) const override;  // the numeric scale of decimal and numeric fields
  long long recordCount() const override;
  Variant value(long long record, int field) const override;

 private:
  const ado::FieldDef& def(int field) const;
  ado::RecordsetPtr rs_;
};

// A data source over `recordset` (nullptr for none).
std::shared_ptr<const DataSource> sourceOf(const ado::RecordsetPtr& recordset);

}  // namespace veltrano::grid
