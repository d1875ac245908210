#pragma once
// The encoding of an XML document that arrives as bytes (a reply stream, a file), worked out
// the way an XML parser does it, and the document turned into UTF-8 text.
//
// Rules, in order:
//  1. A byte-order mark decides: EF BB BF is UTF-8, FF FE UTF-16 little-endian, FE FF UTF-16
//     big-endian. The mark is dropped.
//  2. Without a mark, "<?" in UTF-16 (3C 00 3F 00 or 00 3C 00 3F) is UTF-16 of that order.
//  3. Otherwise an XML declaration at the very start may name the encoding: UTF-8 (also
//     "utf8"), US-ASCII, ISO-8859-1 (Latin-1), UTF-16, or the Korean code page under any of its
//     names (EUC-KR, KS_C_5601-1987, CP949, windows-949, x-windows-949, korean).
//  4. Anything else is UTF-8.
// CP949 is therefore used only when declared. UTF-8 input is checked; invalid UTF-8, an
// unknown declared encoding, a declaration that contradicts the bytes (UTF-16 declared in a
// single-byte document) or unpaired UTF-16 surrogates fail with a description. Bytes that are
// not valid CP949 become U+FFFD (platform/text's rule).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltrano::xml {

struct DecodedDocument {
  bool ok = false;
  std::string text;         // the document as UTF-8, without a byte-order mark
  std::string encoding;     // what was used: "UTF-8", "UTF-16LE", "UTF-16BE", "CP949", "ISO-8859-1"
  std::string description;  // why it failed
  std::size_t offset = 0;   // byte offset of the failure in the input
};

DecodedDocument decodeDocument(std::span<const std::uint8_t> bytes);

// The offset of the first byte that is not part of valid UTF-8 (overlong forms, surrogates
// and code points above U+10FFFF are invalid), or text.size() when all of it is valid.
std::size_t firstInvalidUtf8(std::string_view text);

}  // namespace veltrano::xml
