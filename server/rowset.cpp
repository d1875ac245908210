#include "server/rowset.h"

#include <stdexcept>

namespace veltrano::server {

namespace {

bool sameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const Variant* RecordsetFields::find(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (sameNameNoCase(n, name)) return &v;
  return nullptr;
}

// UNFINISHED: the platform Recordset (platform/ado) has not landed yet; these two wait for its
// XML Save and loader. Until then rowset replies fail with a clear error text.
std::string rowsetXml(const ResultSet&) {
  throw std::runtime_error("rowset replies need the platform Recordset, which this build lacks");
}

std::optional<RecordsetFields> readRecordset(std::string_view, std::string& error) {
  error = "reading recordsets needs the platform Recordset, which this build lacks";
  return std::nullopt;
}

}  // namespace veltrano::server
