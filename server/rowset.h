#pragma once
// Results and requests as ADO XML rowsets, through the platform's Recordset.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/variant.h"
#include "server/database.h"

namespace veltrano::server {

// The result as the XML text (UTF-8) that ADO writes when it saves a recordset.
std::string rowsetXml(const ResultSet& result);

// The fields of the current (first) row of a posted recordset, by name in field order.
struct RecordsetFields {
  std::vector<std::pair<std::string, Variant>> fields;
  // The value of a field (names compared without regard to case), or nothing.
  const Variant* find(std::string_view name) const;
};

// Reads a recordset saved as ADO XML. Nothing, with the reason, when the text is not one or
// holds no row.
std::optional<RecordsetFields> readRecordset(std::string_view xml, std::string& error);

}  // namespace veltrano::server
