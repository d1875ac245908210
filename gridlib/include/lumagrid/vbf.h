#pragma once
// VBF: Korean business and resident registration number checks and the dashed form of
// telephone numbers, for the product programs' screens and grids. Holds no state.
//
// The formatting core (g_fn_FormatPhoneDetails, internal to this class) is
// veltrano::common::formatPhoneNumber; Seoul numbers get "02 -" here, the blank keeping the
// width of three-digit prefixes.
//
// Booleans are COM booleans (VARIANT_TRUE -1, VARIANT_FALSE 0). The numeric test inside is the
// run-time's IsNumeric in the invariant locale (see common/number_checks.h for how it differs
// from a Korean desktop's: no currency sign, no parenthesised negatives).

#include <cstdint>
#include <string>

#include "lumagrid/export.h"

#ifndef LUMAGRID_VARIANT_BOOL_DEFINED
#define LUMAGRID_VARIANT_BOOL_DEFINED
namespace lumagrid {
// The COM boolean: true is -1.
using VARIANT_BOOL = std::int16_t;
// windows.h makes VARIANT_TRUE and VARIANT_FALSE macros (of the same values): the constants
// are defined with those set aside.
#pragma push_macro("VARIANT_TRUE")
#pragma push_macro("VARIANT_FALSE")
#undef VARIANT_TRUE
#undef VARIANT_FALSE
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
#pragma pop_macro("VARIANT_TRUE")
#pragma pop_macro("VARIANT_FALSE")
}  // namespace lumagrid
#endif

namespace lumagrid {

class LUMAGRID_API VBF {
 public:
  // The telephone number in `txt` in its dashed form, a remark after "~" kept
  // ("0312345678~home" gives "031-234-5678~home"); "" when the number cannot be formatted.
  // `txt` is taken by reference and not changed.
  std::string DF_FormatPhoneDetails(std::string& txt);
  // True when `IDno` is a valid 10-digit business registration number. The caller's `IDno` is
  // replaced by its trimmed form.
  VARIANT_BOOL ComNo_Check(std::string& IDno);
  // True when `IDno` holds a valid 13-digit resident registration number. The caller's `IDno`
  // is replaced by its digits alone.
  VARIANT_BOOL IDNo_Check(std::string& IDno);
};

}  // namespace lumagrid
