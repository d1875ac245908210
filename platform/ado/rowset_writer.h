#pragma once
// Writes a recordset in ADO's XML rowset format, byte for byte the way MDAC 2.8 writes it:
// no XML declaration and no byte-order mark, CRLF line ends, tab indentation, single-quoted
// attributes, no line end after </xml>, non-ASCII text as raw UTF-8.
//
//  - Schema: one s:AttributeType per field with name, rs:name (when the field's name needs an
//    alias), rs:number, the flag attributes of Field.Attributes (rs:nullable, rs:maydefer,
//    rs:write/rs:writeunknown, rs:keycolumn, ...) and any base-table metadata, then an
//    s:datatype with dt:type, rs:dbtype, dt:maxLength, rs:scale, rs:precision,
//    rs:fixedlength, rs:long and rs:maybenull='false' (unless the field may be null), in
//    ADO's order. An adVariant field is written as ADO writes it: dt:type='string' with
//    nothing else but rs:maybenull.
//  - Names: a field whose name is not made of ASCII letters, digits and '_' (not starting
//    with a digit, not starting with "xml"), or that repeats an earlier name, is written under
//    the alias c<ordinal - 1> (c0, c1, ...; with a suffix _1, _2 ... if that alias is taken
//    by another field) with its real name in rs:name. So Korean names are aliased too.
//  - Data: unchanged rows as z:row in order; a row with a pending update as rs:update with
//    the rs:original row and a row of the changed fields (NULL ones in rs:forcenull); new
//    rows (AddNew) together in one rs:insert after them, NULL fields in rs:forcenull; rows
//    deleted in the pending batch last, in one rs:delete. NULL is an absent attribute.
//  - Values in ADO's text forms (platform/ado/value_text.h). In text, ' " < > & are written
//    as &#x27; &#x22; &#x3c; &#x3e; &#x26; as MDAC does; TAB, CR and LF are written raw as
//    MDAC does (this reader keeps them); other control characters below U+0020 become
//    character references (&#x1;), which this reader accepts though XML 1.0 does not.
//  - Binary (bin.hex) is lower-case hex. An adVariant field holding a byte array has no
//    documented ADO XML form: its value is written as ADO writes binary, lower-case hex, and
//    reads back as that hex text (the field's schema stays ADO's dt:type='string'). An
//    adVariant holding anything else is written as its text (CStr).
//  - Line breaks: a start tag is broken between attributes, with CRLF, the indentation and
//    one blank (one more tab for z:row), once 108 or more characters have been written since
//    the last line break the writer itself made; bin.hex values are broken in the same way
//    inside the value, every ten digits, with CRLF and the row's indentation plus one tab.
//    This reproduces every sample we have of MDAC's output; MDAC's exact rule is not known.

#include <span>
#include <string>
#include <vector>

#include "platform/ado/field_def.h"
#include "platform/ado/row_store.h"
#include "platform/runtime/variant.h"

namespace veltrano::ado {

class RowsetWriter {
 public:
  // Appends the document for `fields` and the rows of `store` to `out`. A value no text form
  // can carry (a number that is not finite in a numeric or decimal field, a date outside the
  // years 1 to 9999) raises run-time error 6 naming the field; `out` then holds a part of the
  // document, which the caller drops. No byte is written that was not produced.
  static void write(const std::vector<FieldDef>& fields, const RowStore& store, std::string& out);

  // The same document for rows of values held elsewhere (a query's result), written as
  // unchanged records: byte for byte what the store form gives once each value is coerced to
  // its field's type and added as an unmodified row, without copying the values into a store.
  // Each row holds one value per field. Raises what coerce() and write() raise.
  static void write(const std::vector<FieldDef>& fields, std::span<const std::vector<Variant>> rows,
                    std::string& out);

  // The XML names the fields are written under (their names, or aliases).
  static std::vector<std::string> xmlNames(const std::vector<FieldDef>& fields);
};

}  // namespace veltrano::ado
