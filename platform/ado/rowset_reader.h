#pragma once
// Reads a recordset persisted in ADO's XML rowset format (ADO's Save with adPersistXML).
//
// What is accepted
//  - A document element (any name; ADO writes `xml`) holding an `s:Schema` with id
//    'RowsetSchema' and an `rs:data`, in the namespaces ADO uses (s = uuid:BDC6E3F0-6DA3-11d1-
//    A2A3-00AA00C14882, dt = uuid:C2F41010-65B3-11d1-A29F-00AA00C14882, rs = urn:schemas-
//    microsoft-com:rowset, rows in #RowsetSchema). Prefixes may be anything; xmlns declarations
//    are honoured on every element. Elements and attributes of other namespaces are ignored.
//  - Before the document element: blanks, an XML declaration, processing instructions (the
//    query service's <?xml:stylesheet ...?>) and comments; after it blanks, comments and
//    processing instructions. A UTF-8 byte-order mark at the start is skipped.
//  - The schema: one `s:ElementType name='row'` whose `s:AttributeType` children (or
//    `s:attribute type=...` references to AttributeTypes declared at Schema level) give the
//    fields in document order; dt:type on the AttributeType itself or on a nested
//    `s:datatype`; `s:extends`/`s:Extends` and nested (hierarchical) ElementTypes are skipped.
//    A field is named by rs:name when present, else by its XML name. Types map back as ADO
//    writes them (string+rs:dbtype='str' is ANSI, rs:fixedlength selects Char/WChar/Binary,
//    rs:long the LongVar types, string with dt:maxLength 4294967295 and rs:long is adBSTR,
//    string without dt:maxLength is adVariant); also the XDR aliases i4, r8, fixed.14.4,
//    dateTime.tz, time.tz, char (adWChar of 1), bin.base64. A field without dt:type is a long
//    Unicode text (adLongVarWChar, 4294967295), `number` without rs:dbtype adNumeric,
//    `dateTime` without rs:dbtype adDBTimeStamp; an unknown dt:type is read as `string`.
//  - The data: `z:row` elements, one attribute per non-NULL field, named by the field's XML
//    name (attributes of no field are ignored); pending changes as ADO writes them: rows in
//    `rs:insert` (new), `rs:update` pairs of `rs:original` row and new-value row (a field
//    missing from the new-value row is unchanged), rows in `rs:delete` (kept for saving, not
//    shown); `rs:forcenull='A B'` names fields that are NULL. Values are read in ADO's text
//    forms (platform/ado/value_text.h); bin.hex ignores blanks and line breaks; TAB, CR and LF
//    inside values are kept as they stand (ADO writes them raw), character references of
//    any code point (U+0000 included) are decoded.
//
// What is refused (the result says why and where; nothing is kept)
//  - text that is not well-formed XML as far as platform/xml/xml_scanner.h checks it, and
//    repeated attributes, unknown entities, control characters and invalid UTF-8 in the
//    attribute values this reader uses;
//  - any DOCTYPE (so no entity of a DTD is ever expanded);
//  - a document that is not a rowset (wrong namespaces, no schema, wrong schema id, no
//    rs:data, rs:data before the schema), a schema without fields or with two fields of one
//    XML name, values that do not fit their field's type;
//  - a document whose rows would take more cells than its size allows: at most
//    8,388,608 cells plus 2 per byte of text (so memory stays proportional to the input even
//    for many empty rows of a wide schema); more than 256 namespace declarations in force at
//    once (so that resolving a prefix stays cheap).
// Memory and speed: the text is scanned where it lies, without a copy and without a DOM (only
// the small schema is kept whole while it is read); values are decoded straight into the
// recordset's compact store.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/field_def.h"
#include "platform/ado/row_store.h"

namespace veltrano::ado {

enum class LoadStatus {
  Ok,
  NoDocument,    // empty text, or no document element
  BadEncoding,   // bytes that cannot be decoded (streams only)
  Malformed,     // not well-formed XML
  DtdForbidden,  // a DOCTYPE declaration
  NotARowset,    // well-formed, but not an ADO rowset
  BadSchema,     // a rowset schema that cannot be used
  BadValue,      // a value that does not fit its field's type
  TooLarge,      // more cells than the document's size allows, or out of memory
};

// In the style of pugixml's xml_parse_result: a status, the byte offset in the UTF-8 text
// where the problem was found (for streams: in the decoded text, after any byte-order mark;
// for an encoding failure: in the input bytes), and a description in English.
struct LoadResult {
  LoadStatus status = LoadStatus::Ok;
  std::size_t offset = 0;
  std::string description;
  explicit operator bool() const { return status == LoadStatus::Ok; }
};

class RowsetReader {
 public:
  // Reads UTF-8 text. An encoding named in an XML declaration is ignored: the text is
  // already decoded (as a DOM's loadXML treats a string).
  LoadResult readText(std::string_view utf8);
  // Reads a byte stream, decoded by platform/xml/xml_encoding.h's rules (byte-order mark,
  // declared encoding, else UTF-8; CP949 only when declared).
  LoadResult readBytes(std::span<const std::uint8_t> bytes);

  // The result of a successful read; empty after a failure.
  std::vector<FieldDef>& fields() { return fields_; }
  RowStore& store() { return store_; }

 private:
  std::vector<FieldDef> fields_;
  RowStore store_;
};

}  // namespace veltrano::ado
