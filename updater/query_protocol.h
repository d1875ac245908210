#pragma once
// The query service's field encoding: 128-digit keys and the keyed hex encoding of texts, and
// the classification of statements. Pure functions; the exchange itself is in query_client.h.

#include <string>
#include <string_view>

namespace meridox {

// A new key: 128 decimal digits "1" to "9", drawn uniformly, freshly seeded for each key.
std::string MakeDigitKey();

// Keyed hex encoding: mode -1 encodes, mode 0 decodes, any other mode gives "".
//  - S is the sum of the ANSI codes (signed 16-bit, CP949) of the trimmed key's characters.
//  - Encoding covers the first n characters of the text, n being the length of the trimmed
//    text; each character gives v = code + S written in upper-case hex ("E" + hex of -v when v
//    is negative; a positive v whose digits would begin with "E" gets one leading "0", so that
//    it is not read back as negative), followed by "I".
//  - Decoding reads the trimmed text token by token up to each "I" and subtracts S.
// Any failure (a sum or code outside the 16-bit range, a token that is not hex, a code that
// names no character) gives "".
std::string EncDecText(std::string_view text, std::string_view key, int mode);

// The sum S of a key as the encoding uses it; nothing when it leaves the 16-bit range.
bool KeyCodeSum(std::string_view key, int& sum);

// True for statements that change data: the text trimmed, its first 7 characters trimmed and
// upper-cased are "INSERT", "UPDATE", "DELETE" or "REPLACE".
bool IsModifyingStatement(std::string_view sql);

}  // namespace meridox
