#pragma once
// String and number helpers with the semantics of the VB run-time the system was written in.
//
// Texts are UTF-8; lengths and positions count characters (Unicode code points; every
// character the system handles lies in the Basic Multilingual Plane, where that is VB's count),
// positions start at 1. Trim removes blanks (U+0020) only, not tabs or line breaks.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::text {

std::size_t Len(std::string_view s);
std::string Left(std::string_view s, std::size_t n);
std::string Right(std::string_view s, std::size_t n);
// Mid(s, start) and Mid(s, start, length); start is 1-based; start 0 or below raises error 5.
std::string Mid(std::string_view s, long long start);
std::string Mid(std::string_view s, long long start, long long length);

std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
// Upper and lower case of letters (ASCII, Latin-1, full-width Latin); Hangul has no case.
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);

// 1-based position of `find` in `s` at or after `start`; 0 when absent. Binary comparison.
std::size_t InStr(std::size_t start, std::string_view s, std::string_view find);
inline std::size_t InStr(std::string_view s, std::string_view find) { return InStr(1, s, find); }
std::string Replace(std::string_view s, std::string_view find, std::string_view replacement);
// VB Split: an empty text gives an empty list (upper bound -1); otherwise pieces include
// empty ones, so "a;b;" gives "a", "b", "".
std::vector<std::string> Split(std::string_view s, std::string_view delimiter);
std::string Join(const std::vector<std::string>& parts, std::string_view delimiter);
std::string Space(std::size_t n);
std::string String(std::size_t n, char32_t ch);
// The characters before the first NUL, or the whole text.
std::string UpToNul(std::string_view s);
// Every NUL character removed.
std::string RemoveNuls(std::string_view s);

// VB Val: the number at the start of the text; blanks, tabs and line feeds are skipped
// anywhere; "&H" and "&O" prefixes are read as hexadecimal and octal; no number gives 0.
double Val(std::string_view s);

// The run-time's numeric test (IsNumeric) for text, with the invariant locale made explicit:
// optional blanks, an optional sign, digits with optional "," thousands separators, an
// optional "." fraction and an optional exponent (E or D); at least one digit. "&H" hexadecimal
// counts too. An empty or blank text is not numeric.
bool IsNumeric(std::string_view s);
// Converts text that IsNumeric accepts to a double; anything else raises error 13.
double ParseNumber(std::string_view s);

// Rounding to a whole number, halves to the even neighbour.
double RoundHalfEven(double v);
// VB Round(v, digits): half to even at the given number of decimals.
double RoundHalfEven(double v, int digits);
// CInt and CLng from a double: half-to-even rounding; out of range raises error 6 (overflow).
std::int16_t CInt(double v);
std::int32_t CLng(double v);
// The same from text (error 13 when not numeric).
std::int16_t CInt(std::string_view s);
std::int32_t CLng(std::string_view s);

// CStr of a number, the text a number becomes wherever text is expected: at most 15
// significant digits, no trailing zeros, a leading zero before the point ("0.05", "-0.25"), the
// exponent form ("1E+16") outside the range written plainly. (Only Str and Print drop the zero.)
std::string NumberToText(double v);
std::string NumberToText(long long v);

// Format(number, pattern) for the digit patterns the system uses: "0", "#0", "###,##0",
// "#,##0.00", "0.00" and alike. "#" is an optional digit, "0" a required one, "," in the
// integer part asks for thousands grouping, "." starts the decimals (rounded half to even).
std::string FormatNumber(double v, std::string_view pattern);

}  // namespace veltrano::text
