#pragma once
// Value data of the registry editor: type names, the text `reg query` shows for a value, the
// bytes `reg add /d` stores, and the UTF-16LE form .reg files carry.
//
// The store holds text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) as CP949 bytes, each
// string with its terminating zero, as the Win32 "A" calls write them; the tool speaks UTF-8.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::regtool {

using Bytes = std::vector<std::uint8_t>;

// "REG_SZ", "REG_DWORD", ...; an unknown type as "0x..." of its number.
std::string typeName(std::uint32_t type);
// The type named (case-insensitive), as /t takes it.
std::optional<std::uint32_t> typeByName(std::string_view name);

// Text of CP949 data up to the first zero, as UTF-8.
std::string textOf(std::span<const std::uint8_t> data);
// The strings of REG_MULTI_SZ data, up to the empty string that ends the list.
std::vector<std::string> multiStringsOf(std::span<const std::uint8_t> data);

// What `reg query` shows as the data of a value: text for the string types (the strings of a
// REG_MULTI_SZ joined by `multiSeparator`), 0x... for numbers, hex digits for everything else.
std::string displayData(std::uint32_t type, std::span<const std::uint8_t> data, std::string_view multiSeparator = "\\0");

// UTF-8 text as CP949 bytes with the terminating zero.
Bytes ansiString(std::string_view utf8);
// Strings as REG_MULTI_SZ data: each string and its zero, then the zero that ends the list.
Bytes ansiMultiString(const std::vector<std::string>& strings);

// The data `reg add /t TYPE /d TEXT` stores. REG_MULTI_SZ text separates strings by
// `separator`; numbers are decimal or 0x hex; binary data is hex digits.
struct DataParse {
  bool ok = false;
  Bytes data;
  std::string error;  // what is wrong, worded for the user, when !ok
};
DataParse parseData(std::uint32_t type, std::string_view text, std::string_view separator = "\\0");

// UTF-8 text as UTF-16LE bytes, and back (nullopt: odd length). Unpaired surrogates become U+FFFD.
Bytes utf16le(std::string_view utf8);
std::optional<std::string> fromUtf16le(std::span<const std::uint8_t> bytes);

// CP949 string data (any number of zero-separated strings) as UTF-16LE with every zero kept,
// and the reverse; the two are how string values cross into and out of a Unicode .reg file.
// Every byte survives the pair: a byte that is not valid CP949 travels as the lone surrogate
// U+DC00 + byte (U+DC80..U+DCFF), which the reverse turns back into that byte.
Bytes ansiToUtf16le(std::span<const std::uint8_t> ansi);
std::optional<Bytes> utf16leToAnsi(std::span<const std::uint8_t> utf16);

// True when the bytes are valid UTF-8.
bool isUtf8(std::string_view bytes);

}  // namespace veltrano::regtool
