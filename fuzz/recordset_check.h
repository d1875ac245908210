#pragma once
// The invariant of every loaded recordset: it saves (a loaded value always fits its field's
// type), what it saves loads again, and that saves to the very same document; every value
// reads without crashing.

#include <string>

#include "fuzz_check.h"
#include "platform/ado/recordset.h"
#include "platform/runtime/error.h"

namespace veltrano::fuzz {

inline void checkLoadedRecordset(ado::Recordset& rs) {
  const std::int32_t rows = rs.RecordCount();
  const int fields = static_cast<int>(rs.fieldDefs().size());
  for (std::int32_t r = 0; r < rows && r < 64; ++r)
    for (int f = 0; f < fields && f < 64; ++f) {
      try {
        (void)rs.valueAt(r, f).toString();
      } catch (const RuntimeError&) {
        // A value with no text form (a byte array, say) may refuse CStr, as VB does.
      }
    }
  std::string saved;
  try {
    saved = rs.SaveXml();
  } catch (const RuntimeError& e) {
    fail("a loaded recordset saves", e.description());
  }
  auto again = ado::Recordset::create();
  const ado::LoadResult r = again->loadXml(saved);
  require(static_cast<bool>(r), "what is saved loads", r.description + "\n" + saved);
  require(again->SaveXml() == saved, "save, load, save gives the same document", saved);
}

}  // namespace veltrano::fuzz
