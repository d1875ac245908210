#pragma once
// The ANSI code page of the system (CP949, Korean "Unified Hangul Code") at the boundaries.
//
// Inside the program every text is UTF-8 in a std::string. Text becomes CP949 bytes where it
// leaves the program (files, registry data, HTTP bodies, window messages) and is read back
// from CP949 where it enters. What cannot be converted never fails the conversion:
//  - a character that CP949 cannot represent, and bytes that are not valid UTF-8, become "?"
//    (the default character Windows substitutes);
//  - bytes that are not valid CP949 (a stray trail byte, a lead byte at the end of the data)
//    become U+FFFD, one per offending byte.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::text {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 text to CP949 bytes.
Bytes toAnsi(std::string_view utf8);
// The same, as a std::string of raw bytes (for APIs that carry bytes in strings).
std::string toAnsiString(std::string_view utf8);
// CP949 bytes to UTF-8 text.
std::string fromAnsi(std::span<const std::uint8_t> ansi);
std::string fromAnsi(std::string_view ansiBytes);

// Number of bytes the text takes in CP949 (a Hangul syllable 2, ASCII 1).
std::size_t ansiByteLength(std::string_view utf8);

// The character code of one character in the ANSI code page as a signed 16-bit number (VB's
// Asc): 0-127 for ASCII, the two bytes of a double-byte character read big-endian (negative
// for Hangul), 63 ("?") for a character CP949 lacks.
std::int16_t ansiCode(char32_t ch);
// The character of an ANSI code (VB's Chr): the inverse of ansiCode for codes it produces.
// Codes that name no character give U+FFFD.
std::string ansiChar(int code);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or truncation).
bool IsValidUtf8(std::string_view bytes);

// UTF-8 helpers shared by the text functions.
std::u32string toU32(std::string_view utf8);
std::string toUtf8(std::u32string_view text);
void appendUtf8(std::string& out, char32_t ch);

}  // namespace veltrano::text
