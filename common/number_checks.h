#pragma once
// Korean business and resident registration number checks and the dashed form of telephone
// numbers, shared by Lumagrid's VBF and the updater's BASE_FUNC.
//
// The numeric test used below is the run-time's IsNumeric with the invariant locale made
// explicit (veltrano::text::IsNumeric): blanks and tabs around the number, a sign, digits
// with "," grouping, a "." fraction and an exponent pass; the Korean locale's currency sign
// and parenthesised negatives, which the run-time of a Korean desktop also takes, do not.
// Telephone numbers and registration numbers never contain those, so the two agree on every
// text these checks meet except such oddities (which fail here).

#include <string>
#include <string_view>

namespace veltrano::common {

// How the Seoul area code is written: "02 -" (the libraries; a blank keeps the width of a
// three-digit prefix) or "02-" (the updater's copy).
enum class SeoulPrefix { Padded, Plain };

// The formatting core (g_fn_FormatPhoneDetails): blanks and dashes removed, the rest must be
// numeric and 7 to 11 characters long; an area prefix from a leading "0", then the subscriber
// part (7 or 8 characters) split before its last four. Returns the literal "FALSE" for every
// number that cannot be formatted; never raises.
std::string formatPhoneNumber(std::string_view number, SeoulPrefix seoul);

// DF_FormatPhoneDetails: the number before a "~" is formatted and the remark after it kept
// ("031...~home"); pieces after a second "~" are dropped. "" when the number cannot be
// formatted.
std::string formatPhoneDetails(std::string_view txt, SeoulPrefix seoul);

// ComNo_Check: `idNo` is replaced by its trimmed form; true when it is a 10-digit business
// registration number with the right check digit. Never raises.
bool checkBusinessNumber(std::string& idNo);

// IDNo_Check: `idNo` is replaced by its digits alone; true when they are 13 and the last is the
// check digit of the resident registration number. Never raises.
bool checkResidentNumber(std::string& idNo);

}  // namespace veltrano::common
