#pragma once
// The ADO Recordset (ADODB.Recordset) the system builds, passes around and shows: a
// disconnected, client-side recordset with fields, rows and a cursor, made either by the
// caller (Fields.Append, Open with no source, AddNew ... Update) or from a document in ADO's
// XML persistence format, and saved back to that format.
//
// Sharing: callers hand recordsets around as COM objects are shared, by handle; use
// RecordsetPtr (Recordset::create()). A grid bound to a recordset and the caller that made it
// hold the same object. Not thread-safe; the system uses it on one thread.
//
// The cursor: after Open the first record is current (BOF and EOF both true when there is
// none). MoveNext at EOF and MovePrevious at BOF raise 3021; MoveFirst and MoveLast on an
// empty recordset do not. AbsolutePosition counts from 1 (adPosBOF/adPosEOF outside).
//
// Editing follows ADO's batch mode, as for every client-side recordset: AddNew appends a new
// record and makes it current; assigning a Value starts editing the current record; Update
// ends the edit (implicitly also on a move, on AddNew and on Save); CancelUpdate undoes it
// (after AddNew the new record goes and the record current before comes back). Edited
// records stay pending (new, or modified with their original values) and are saved as ADO
// saves pending changes (rs:insert, rs:update), so that a document saved with pending rows
// loads back with them. Assigning Null to a field that is not nullable is allowed (ADO
// would refuse it; nothing in the system relies on that), and text longer than a field's
// DefinedSize is kept whole rather than refused. Empty is stored as Null (the XML form
// cannot tell them apart). The lock type is kept but not enforced.
//
// Values of a loaded document are normalised to their field's type as they are read, as ADO
// stores them, so that what a caller reads is what a save writes and save, load, save gives
// the same document twice:
//  - a numeric field with a scale (rs:scale) holds that many decimals: 0.125 in a field of
//    scale 2 reads as 0.12 (half to even), and is saved as .12; a numeric field without
//    rs:scale, a decimal field and a `number` without rs:dbtype keep every digit given;
//  - dates and times hold milliseconds: further digits of a fraction of a second are
//    dropped, never rounded up, so no value moves onto the next day (23:59:59.9999 reads as
//    23:59:59.999); an adDBDate holds no time of day and an adDBTime no date;
//  - a number that is not finite is refused in a numeric or decimal field (as a value that
//    does not fit its type), kept in a double or single.
// A value the caller sets is kept as set; saving rounds it as its field's type says (scale,
// milliseconds), and refuses with run-time error 6, naming the field, a value no text form can
// carry (not finite in a numeric field, a date outside the years 1 to 9999).
//
// Errors are veltrano::RuntimeError with ADO's numbers, source "ADODB.Recordset": any
// operation but Open, Fields and the properties on a closed recordset raises 3704 (Close
// too); opening an open recordset 3705; reading or writing a field, or Status, with no
// current record (BOF or EOF) 3021; an unknown field 3265; Open with no source and no fields
// 3001; a value that does not convert to its field's type 13 or 6. Opening a malformed document with OpenXml/OpenStream raises kErrorBadXml and leaves
// the recordset closed; loadXml/loadStream return the reason instead and also leave it
// closed. Both callers in the system (the query client and the data library) want exactly
// that: a closed recordset after a reply that is not a rowset.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/data_type.h"
#include "platform/ado/field.h"
#include "platform/ado/field_def.h"
#include "platform/ado/fields.h"
#include "platform/ado/row_store.h"
#include "platform/ado/rowset_reader.h"
#include "platform/runtime/variant.h"

namespace veltrano::ado {

// Run-time error numbers of ADO used here beside those in platform/runtime/error.h.
inline constexpr int kErrorBadXml = -2147467259;       // "Recordset cannot be created. Source XML is incomplete or invalid."
inline constexpr int kErrorAlreadyInCollection = 3367;  // Fields.Append of a name already there

class Recordset;
using RecordsetPtr = std::shared_ptr<Recordset>;

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // A new, closed recordset held by a shared handle.
  static RecordsetPtr create();

  // ---- fields ----
  ado::Fields Fields() { return ado::Fields(this); }
  Field Fields(int index) { return ado::Fields(this).Item(index); }
  Field Fields(std::string_view name) { return ado::Fields(this).Item(name); }
  // The definitions of the fields, in order.
  const std::vector<FieldDef>& fieldDefs() const { return fields_; }

  // ---- opening and closing ----
  ObjectStateEnum State() const { return state_; }
  // Opens a recordset made by the caller: the fields appended, no record.
  void Open();
  // Opens on a document in ADO's XML format, as UTF-8 text (a declared encoding is ignored:
  // the text is already decoded). The cursor becomes a static client cursor
  // (adUseClient, adOpenStatic, as ADO makes every persisted recordset); a lock type other
  // than adLockUnspecified is kept; `options` (such as 64, adAsyncFetchNonBlocking) change
  // nothing. Raises kErrorBadXml, with the reason and the byte offset in its description,
  // when the document cannot be read; the recordset then stays closed.
  void OpenXml(std::string_view xml, CursorTypeEnum cursorType = adOpenUnspecified,
               LockTypeEnum lockType = adLockUnspecified, int options = -1);
  // The same from a byte stream: byte-order mark, declared encoding (CP949 only when
  // declared), else UTF-8; see platform/xml/xml_encoding.h.
  void OpenStream(std::span<const std::uint8_t> bytes, CursorTypeEnum cursorType = adOpenUnspecified,
                  LockTypeEnum lockType = adLockUnspecified, int options = -1);
  // Non-raising forms: the result says whether (and why not) the recordset was opened.
  LoadResult loadXml(std::string_view xml, LockTypeEnum lockType = adLockUnspecified);
  LoadResult loadStream(std::span<const std::uint8_t> bytes, LockTypeEnum lockType = adLockUnspecified);
  // Closes; the field definitions stay (a recordset made by the caller can be opened again).
  // A pending edit is dropped.
  void Close();

  // ---- saving (adPersistXML) ----
  // The document in ADO's XML format as UTF-8 text (platform/ado/rowset_writer.h). A pending
  // edit is saved first (Update).
  std::string SaveXml();
  std::vector<std::uint8_t> SaveXmlBytes();

  // ---- cursor ----
  bool Bof() const;
  bool Eof() const;
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  std::int32_t RecordCount() const;
  std::int32_t AbsolutePosition() const;
  void setAbsolutePosition(std::int32_t position);  // 1..RecordCount, else 3001

  // ---- editing ----
  void AddNew();
  void Update();
  void CancelUpdate();
  EditModeEnum EditMode() const;
  // RecordStatusEnum of the current record: adRecNew, adRecModified or adRecUnmodified.
  int Status() const;

  // ---- properties kept as set ----
  CursorLocationEnum CursorLocation() const { return cursorLocation_; }
  void setCursorLocation(CursorLocationEnum v) { cursorLocation_ = v; }
  std::int32_t CacheSize() const { return cacheSize_; }
  void setCacheSize(std::int32_t v) { cacheSize_ = v; }
  CursorTypeEnum CursorType() const { return cursorType_; }
  void setCursorType(CursorTypeEnum v) { cursorType_ = v; }
  LockTypeEnum LockType() const { return lockType_; }
  void setLockType(LockTypeEnum v) { lockType_ = v; }

  // ---- beyond ADO ----
  // The value of field `field` in record `row` (0-based, in cursor order) without moving the
  // cursor, for views that show every record (the grid). Raises 3704, 3021 for a row that is
  // not there, 3265 for a field that is not there.
  Variant valueAt(std::int32_t row, int field) const;
  // Bytes held by the records, for measurements.
  std::size_t memoryBytes() const { return store_.memoryBytes(); }

 private:
  friend class Field;
  friend class Fields;

  void requireOpen() const;
  RowRef& currentRow();
  const RowRef& currentRow() const;
  void checkField(int index) const;
  void beginEdit();
  void applyLoaded(RowsetReader& reader, LockTypeEnum lockType);
  [[noreturn]] void raiseBadXml(const LoadResult& result);

  // Field members.
  Variant fieldValue(int index) const;
  Variant fieldOriginalValue(int index) const;
  void setFieldValue(int index, const Variant& value);
  void appendChunk(int index, const Variant& data);
  std::int64_t fieldActualSize(int index) const;
  void appendField(std::string_view name, DataTypeEnum type, std::int64_t definedSize, int attributes);
  int fieldIndex(std::string_view name) const;

  std::vector<FieldDef> fields_;
  RowStore store_;
  ObjectStateEnum state_ = adStateClosed;
  std::int64_t position_ = -1;  // index into the records; -1 is BOF, RecordCount is EOF
  EditModeEnum editMode_ = adEditNone;
  std::vector<Cell> editBackup_;  // the current record before an edit in progress
  std::int64_t positionBeforeAdd_ = -1;

  CursorLocationEnum cursorLocation_ = adUseServer;
  std::int32_t cacheSize_ = 1;
  CursorTypeEnum cursorType_ = adOpenForwardOnly;
  LockTypeEnum lockType_ = adLockReadOnly;
};

}  // namespace veltrano::ado
