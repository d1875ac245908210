#pragma once
// The text forms of field values in ADO's XML rowsets, both ways: integers in plain decimal,
// Boolean as True/False, adDouble with 17 significant digits (3.1415899999999999), adSingle
// with 9, currency with up to four decimals and no trailing zeros, dates as
// yyyy-mm-ddThh:mm:ss, adDBDate as yyyy-mm-dd, adDBTime as hh:mm:ss, binary as lower-case
// bin.hex. The parsers accept a little more than ADO writes (see each one) and report failure
// by returning false; they never throw. The writers that can meet a value their form cannot
// carry (not finite, a date outside the years 1 to 9999) write nothing and return false.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ado/data_type.h"

namespace veltrano::ado::value_text {

// Integers: optional blanks around, an optional sign, decimal digits.
bool parseInt64(std::string_view text, std::int64_t& out);
bool parseUInt64(std::string_view text, std::uint64_t& out);
// Decimal or exponent notation ("1.5", ".0000000000", "-1E+20"); also INF and NAN.
bool parseDouble(std::string_view text, double& out);
// Currency: [sign] digits [. digits]; more than four decimals are rounded half to even.
bool parseCurrency(std::string_view text, std::int64_t& scaled);
// True/False/1/0/-1, case-insensitive.
bool parseBoolean(std::string_view text, bool& out);
// yyyy-mm-dd, optionally followed by T (or a blank) and hh:mm[:ss[.fraction]], optionally
// ending in Z or a zone offset, which is ignored. Gives the date serial.
bool parseDateTime(std::string_view text, double& serial);
// Seconds are kept to the millisecond: further digits of a fraction are dropped.
// hh:mm[:ss[.fraction]], as the fraction of a day.
bool parseTime(std::string_view text, double& serial);
// bin.hex: pairs of hexadecimal digits in either case; blanks, tabs, CR and LF anywhere are
// skipped (ADO wraps long values). Writes at most text.size() / 2 bytes to `out`.
bool decodeHex(std::string_view text, char* out, std::size_t& written);
// bin.base64, blanks and line breaks skipped. Writes at most text.size() * 3 / 4 bytes.
bool decodeBase64(std::string_view text, char* out, std::size_t& written);

void appendInt64(std::string& out, std::int64_t v);
void appendUInt64(std::string& out, std::uint64_t v);
void appendDouble(std::string& out, double v);  // 17 significant digits, as ADO writes adDouble
void appendSingle(std::string& out, float v);   // 9 significant digits
void appendCurrency(std::string& out, std::int64_t scaled);
bool appendDecimal(std::string& out, double v);  // shortest exact decimal form, no exponent
// adNumeric: fixed with `scale` (0 to 255) decimals, rounded half to even; zero with decimals
// is written as ADO writes it, without the leading zero (".0000000000").
bool appendNumeric(std::string& out, double v, int scale);
// `v` rounded to `scale` decimals exactly as appendNumeric writes it, so that a value so
// rounded is written, read and written again unchanged. False when it is not finite.
bool roundToScale(double& v, int scale);
// Date serial as yyyy-mm-ddThh:mm:ss, with milliseconds (".125") only when there are some;
// rounded to the millisecond, but never onto the next day.
bool appendDateTime(std::string& out, double serial);
bool appendDate(std::string& out, double serial);  // yyyy-mm-dd
void appendTime(std::string& out, double serial);  // hh:mm:ss of the day fraction
void appendBoolean(std::string& out, bool v);

}  // namespace veltrano::ado::value_text
