#include "platform/ado/recordset.h"

#include "platform/ado/rowset_writer.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano::ado {

namespace {
constexpr const char* kSource = "ADODB.Recordset";

// Field names compare without regard to case, as ADO compares them: ASCII letters quickly,
// other letters with cases (Latin-1, full-width) through UCase.
bool sameNameNoCase(std::string_view a, std::string_view b) {
  bool ascii = true;
  if (a.size() == b.size()) {
    bool equal = true;
    for (std::size_t i = 0; i < a.size() && equal; ++i) {
      char x = a[i], y = b[i];
      if ((static_cast<unsigned char>(x) | static_cast<unsigned char>(y)) & 0x80) ascii = false;
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      equal = x == y;
    }
    if (equal) return true;
  }
  if (ascii) {
    for (char c : a)
      if (static_cast<unsigned char>(c) & 0x80) ascii = false;
    for (char c : b)
      if (static_cast<unsigned char>(c) & 0x80) ascii = false;
  }
  return !ascii && text::UCase(a) == text::UCase(b);
}
}  // namespace

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

RecordsetPtr Recordset::create() { return std::make_shared<Recordset>(); }

void Recordset::requireOpen() const {
  if (state_ != adStateOpen) throw RuntimeError(err::kAdoObjectClosed, kSource);
}

RowRef& Recordset::currentRow() {
  requireOpen();
  if (position_ < 0 || position_ >= static_cast<std::int64_t>(store_.rows().size()))
    throw RuntimeError(err::kAdoBofOrEof, kSource);
  return store_.rows()[static_cast<std::size_t>(position_)];
}

const RowRef& Recordset::currentRow() const { return const_cast<Recordset*>(this)->currentRow(); }

void Recordset::checkField(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) throw RuntimeError(err::kAdoItemNotFound, kSource);
}

// ---- opening and closing ----

void Recordset::Open() {
  if (state_ == adStateOpen) throw RuntimeError(err::kAdoObjectOpen, kSource);
  if (fields_.empty())
    throw RuntimeError(err::kAdoInvalidArgument, kSource, "A recordset opened with no source needs fields.");
  store_.reset(fields_.size());
  state_ = adStateOpen;
  position_ = 0;
  editMode_ = adEditNone;
}

void Recordset::applyLoaded(RowsetReader& reader, LockTypeEnum lockType) {
  fields_ = std::move(reader.fields());
  store_ = std::move(reader.store());
  state_ = adStateOpen;
  position_ = 0;
  editMode_ = adEditNone;
  cursorLocation_ = adUseClient;
  cursorType_ = adOpenStatic;
  if (lockType != adLockUnspecified) lockType_ = lockType;
}

LoadResult Recordset::loadXml(std::string_view xml, LockTypeEnum lockType) {
  if (state_ == adStateOpen) throw RuntimeError(err::kAdoObjectOpen, kSource);
  RowsetReader reader;
  LoadResult result = reader.readText(xml);
  if (result) applyLoaded(reader, lockType);
  return result;
}

LoadResult Recordset::loadStream(std::span<const std::uint8_t> bytes, LockTypeEnum lockType) {
  if (state_ == adStateOpen) throw RuntimeError(err::kAdoObjectOpen, kSource);
  RowsetReader reader;
  LoadResult result = reader.readBytes(bytes);
  if (result) applyLoaded(reader, lockType);
  return result;
}

void Recordset::raiseBadXml(const LoadResult& result) {
  throw RuntimeError(kErrorBadXml, kSource,
                     "Recordset cannot be created. Source XML is incomplete or invalid. (" + result.description +
                         ", at byte " + std::to_string(result.offset) + ")");
}

void Recordset::OpenXml(std::string_view xml, CursorTypeEnum, LockTypeEnum lockType, int) {
  const LoadResult result = loadXml(xml, lockType);
  if (!result) raiseBadXml(result);
}

void Recordset::OpenStream(std::span<const std::uint8_t> bytes, CursorTypeEnum, LockTypeEnum lockType, int) {
  const LoadResult result = loadStream(bytes, lockType);
  if (!result) raiseBadXml(result);
}

void Recordset::Close() {
  requireOpen();
  store_.reset(fields_.size());
  state_ = adStateClosed;
  position_ = -1;
  editMode_ = adEditNone;
  editBackup_.clear();
}

// ---- saving ----

std::string Recordset::SaveXml() {
  requireOpen();
  if (editMode_ != adEditNone) Update();
  std::string out;
  RowsetWriter::write(fields_, store_, out);
  return out;
}

std::vector<std::uint8_t> Recordset::SaveXmlBytes() {
  const std::string text = SaveXml();
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// ---- cursor ----

bool Recordset::Bof() const {
  requireOpen();
  return store_.rows().empty() || position_ < 0;
}

bool Recordset::Eof() const {
  requireOpen();
  return store_.rows().empty() || position_ >= static_cast<std::int64_t>(store_.rows().size());
}

void Recordset::MoveFirst() {
  requireOpen();
  if (editMode_ != adEditNone) Update();
  position_ = 0;
}

void Recordset::MoveLast() {
  requireOpen();
  if (editMode_ != adEditNone) Update();
  position_ = store_.rows().empty() ? 0 : static_cast<std::int64_t>(store_.rows().size()) - 1;
}

void Recordset::MoveNext() {
  if (Eof()) throw RuntimeError(err::kAdoBofOrEof, kSource);
  if (editMode_ != adEditNone) Update();
  ++position_;
}

void Recordset::MovePrevious() {
  if (Bof()) throw RuntimeError(err::kAdoBofOrEof, kSource);
  if (editMode_ != adEditNone) Update();
  --position_;
}

std::int32_t Recordset::RecordCount() const {
  requireOpen();
  return static_cast<std::int32_t>(store_.rows().size());
}

std::int32_t Recordset::AbsolutePosition() const {
  if (Bof()) return adPosBOF;
  if (Eof()) return adPosEOF;
  return static_cast<std::int32_t>(position_ + 1);
}

void Recordset::setAbsolutePosition(std::int32_t position) {
  requireOpen();
  if (position < 1 || position > RecordCount()) throw RuntimeError(err::kAdoInvalidArgument, kSource);
  if (editMode_ != adEditNone) Update();
  position_ = position - 1;
}

// ---- editing ----

void Recordset::AddNew() {
  requireOpen();
  if (editMode_ != adEditNone) Update();
  positionBeforeAdd_ = position_;
  const std::uint32_t slot = store_.addSlot();
  store_.rows().push_back({slot, RowRef::kNoSlot, adRecNew});
  position_ = static_cast<std::int64_t>(store_.rows().size()) - 1;
  editMode_ = adEditAdd;
}

void Recordset::beginEdit() {
  if (editMode_ != adEditNone) return;
  const RowRef& row = currentRow();
  const Cell* cells = store_.cells(row.slot);
  editBackup_.assign(cells, cells + fields_.size());
  editMode_ = adEditInProgress;
}

void Recordset::Update() {
  requireOpen();
  if (editMode_ == adEditInProgress) {
    RowRef& row = currentRow();
    Cell* cells = store_.cells(row.slot);
    bool changed = false;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (!store_.same(cells[i], editBackup_[i])) {
        changed = true;
        if (row.status != adRecNew) cells[i].flags |= Cell::kChanged;
      }
    }
    if (changed && row.status == adRecUnmodified) {
      const std::uint32_t original = store_.addSlot();
      Cell* copy = store_.cells(original);
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        copy[i] = editBackup_[i];
        copy[i].flags = 0;
      }
      row.original = original;
      row.status = adRecModified;
    }
  }
  editMode_ = adEditNone;
  editBackup_.clear();
}

void Recordset::CancelUpdate() {
  requireOpen();
  if (editMode_ == adEditAdd) {
    auto& rows = store_.rows();
    if (position_ >= 0 && position_ < static_cast<std::int64_t>(rows.size()))
      rows.erase(rows.begin() + position_);
    position_ = positionBeforeAdd_;
    if (position_ > static_cast<std::int64_t>(rows.size())) position_ = static_cast<std::int64_t>(rows.size());
  } else if (editMode_ == adEditInProgress) {
    Cell* cells = store_.cells(currentRow().slot);
    for (std::size_t i = 0; i < fields_.size(); ++i) cells[i] = editBackup_[i];
  }
  editMode_ = adEditNone;
  editBackup_.clear();
}

EditModeEnum Recordset::EditMode() const {
  requireOpen();
  return editMode_;
}

int Recordset::Status() const { return currentRow().status; }

Variant Recordset::valueAt(std::int32_t row, int field) const {
  requireOpen();
  checkField(field);
  if (row < 0 || row >= RecordCount()) throw RuntimeError(err::kAdoBofOrEof, kSource);
  return store_.get(store_.cells(store_.rows()[static_cast<std::size_t>(row)].slot)[field]);
}

// ---- field members ----

Variant Recordset::fieldValue(int index) const {
  checkField(index);
  const RowRef& row = currentRow();
  return store_.get(store_.cells(row.slot)[index]);
}

Variant Recordset::fieldOriginalValue(int index) const {
  checkField(index);
  const RowRef& row = currentRow();
  if (editMode_ == adEditInProgress && row.original == RowRef::kNoSlot) return store_.get(editBackup_[static_cast<std::size_t>(index)]);
  const std::uint32_t slot = row.original != RowRef::kNoSlot ? row.original : row.slot;
  return store_.get(store_.cells(slot)[index]);
}

void Recordset::setFieldValue(int index, const Variant& value) {
  checkField(index);
  currentRow();  // raises when there is no current record
  const FieldDef& f = fields_[static_cast<std::size_t>(index)];
  const Variant stored = coerce(f.type, f.definedSize, value);
  beginEdit();
  store_.put(store_.cells(currentRow().slot)[index], stored);
}

void Recordset::appendChunk(int index, const Variant& data) {
  checkField(index);
  currentRow();
  if (data.isNull() || data.isEmpty()) return;
  const FieldDef& f = fields_[static_cast<std::size_t>(index)];
  if (!isTextType(f.type) && !isBinaryType(f.type) && f.type != adVariant)
    throw RuntimeError(err::kAdoInvalidArgument, kSource, "AppendChunk needs a text, binary or Variant field.");
  beginEdit();
  Cell& cell = store_.cells(currentRow().slot)[index];
  const bool chunkIsBytes = data.isBytes() || isBinaryType(f.type);
  const Bytes bytes = chunkIsBytes ? data.toBytes() : Bytes();
  const std::string text = chunkIsBytes ? std::string() : data.toString();
  const std::string_view chunk = chunkIsBytes ? std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())
                                              : std::string_view(text);
  constexpr auto kString = static_cast<std::uint16_t>(VarType::String);
  constexpr auto kBytes = static_cast<std::uint16_t>(VarType::ByteArray);
  if (isBinaryType(f.type)) {
    if (cell.vt == kBytes) store_.appendBytes(cell, chunk);
    else store_.putBytes(cell, chunk, kBytes);
    return;
  }
  if (isTextType(f.type)) {
    const std::string piece = chunkIsBytes ? data.toString() : text;
    if (cell.vt == kString) store_.appendBytes(cell, piece);
    else store_.putBytes(cell, piece, kString);
    return;
  }
  // adVariant: bytes onto bytes (or onto NULL) stay bytes; anything else becomes text.
  if (cell.isNull()) {
    store_.putBytes(cell, chunk, chunkIsBytes ? kBytes : kString);
  } else if (cell.vt == kBytes && chunkIsBytes) {
    store_.appendBytes(cell, chunk);
  } else if (cell.vt == kString) {
    store_.appendBytes(cell, chunkIsBytes ? data.toString() : text);
  } else {
    const std::string joined = store_.get(cell).toString() + (chunkIsBytes ? data.toString() : text);
    store_.putBytes(cell, joined, kString);
  }
}

std::int64_t Recordset::fieldActualSize(int index) const {
  checkField(index);
  const FieldDef& f = fields_[static_cast<std::size_t>(index)];
  const Cell& cell = store_.cells(currentRow().slot)[index];
  if (cell.isNull()) return -1;
  if (cell.vt == static_cast<std::uint16_t>(VarType::ByteArray)) return cell.size;
  if (cell.vt == static_cast<std::uint16_t>(VarType::String)) {
    const std::string_view s = store_.bytesOf(cell);
    if (isAnsiTextType(f.type)) return static_cast<std::int64_t>(text::ansiByteLength(s));
    std::int64_t units = 0;
    for (char32_t ch : text::toU32(s)) units += ch >= 0x10000 ? 2 : 1;
    return units * 2;
  }
  return f.definedSize >= 0 ? f.definedSize : naturalSize(f.type);
}

void Recordset::appendField(std::string_view name, DataTypeEnum type, std::int64_t definedSize, int attributes) {
  if (state_ == adStateOpen) throw RuntimeError(err::kAdoOperationNotAllowed, "ADODB.Fields");
  if (!isKnownType(type)) throw RuntimeError(err::kAdoInvalidArgument, "ADODB.Fields");
  if (fieldIndex(name) >= 0)
    throw RuntimeError(kErrorAlreadyInCollection, "ADODB.Fields", "Object is already in collection. Cannot append.");
  FieldDef f;
  f.name = std::string(name);
  f.type = type;
  f.definedSize = definedSize == 0 && naturalSize(type) > 0 ? naturalSize(type) : definedSize;
  f.attributes = appendedAttributes(type, attributes);
  f.writePrecision = type != adVariant;
  f.writeScale = type == adNumeric || type == adDecimal || type == adDBTimeStamp || type == adVarNumeric;
  fields_.push_back(std::move(f));
}

int Recordset::fieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (sameNameNoCase(fields_[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace veltrano::ado
