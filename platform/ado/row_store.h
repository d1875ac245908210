#pragma once
// The rows of a recordset in compact form: every value is a 16-byte cell holding a number in
// place or the address of its text or bytes in an arena of large blocks, so that loading a
// large rowset makes no allocation per value, and the arena never moves what it holds. Rows are slots of `columns()` cells; the visible rows,
// in order, refer to their slot and, when they carry a pending update, to a second slot with
// the original values. Rows deleted in a pending batch are kept apart, for saving.
//
// The arena only grows: a value that is replaced leaves its old bytes behind until the store
// is reset. Slots are never moved while a row refers to them. Moving a store keeps every
// value where it is.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ado/data_type.h"
#include "platform/runtime/variant.h"

namespace veltrano::ado {

struct Cell {
  std::uint64_t bits = 0;  // the number (integer or IEEE bits), or the address in the arena
  std::uint32_t size = 0;  // byte length of text or bytes
  std::uint16_t vt = 1;    // VarType of the value (Null = 1); kUInt64 for large adUnsignedBigInt
  std::uint16_t flags = 0;

  static constexpr std::uint16_t kUInt64 = 21;  // OLE's VT_UI8: an unsigned 64-bit integer
  static constexpr std::uint16_t kChanged = 1;  // set in this row's pending update

  bool isNull() const { return vt == static_cast<std::uint16_t>(VarType::Null); }
  bool isArena() const {
    return vt == static_cast<std::uint16_t>(VarType::String) || vt == static_cast<std::uint16_t>(VarType::ByteArray);
  }
};
static_assert(sizeof(Cell) == 16);

struct RowRef {
  static constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
  std::uint32_t slot = kNoSlot;
  std::uint32_t original = kNoSlot;  // slot of the original values of a pending update
  RecordStatusEnum status = adRecUnmodified;
};

class RowStore {
 public:
  RowStore() = default;
  RowStore(RowStore&& other) noexcept { *this = std::move(other); }
  RowStore& operator=(RowStore&& other) noexcept;

  // Empties the store and sets the number of cells per row.
  void reset(std::size_t columns);
  std::size_t columns() const { return columns_; }
  // Room for `rows` more slots and `bytes` more arena bytes, so a load grows nothing.
  void reserve(std::size_t rows, std::size_t bytes);

  // A new slot with every cell Null; its number.
  std::uint32_t addSlot();
  // A new slot holding a copy of the cells of `slot` (flags cleared).
  std::uint32_t copySlot(std::uint32_t slot);
  std::size_t slotCount() const { return columns_ ? cells_.size() / columns_ : 0; }
  Cell* cells(std::uint32_t slot) { return cells_.data() + static_cast<std::size_t>(slot) * columns_; }
  const Cell* cells(std::uint32_t slot) const { return cells_.data() + static_cast<std::size_t>(slot) * columns_; }

  std::vector<RowRef>& rows() { return rows_; }
  const std::vector<RowRef>& rows() const { return rows_; }
  std::vector<RowRef>& deleted() { return deleted_; }
  const std::vector<RowRef>& deleted() const { return deleted_; }

  // The value of a cell (of this store, or a view).
  static Variant get(const Cell& cell);
  // Stores `value` as it is (its VarType is kept); Empty is stored as Null.
  void put(Cell& cell, const Variant& value);
  // A cell for `value` that refers to the value's own text or bytes instead of the arena's:
  // valid while `value` lives unchanged, and never stored in a store.
  static Cell view(const Variant& value);
  // Stores text or bytes (`vt` String or ByteArray).
  void putBytes(Cell& cell, std::string_view bytes, std::uint16_t vt);
  // Appends to the text or bytes of a cell, growing in place when it is the last in the arena.
  void appendBytes(Cell& cell, std::string_view bytes);
  static std::string_view bytesOf(const Cell& cell) {
    return {reinterpret_cast<const char*>(static_cast<std::uintptr_t>(cell.bits)), cell.size};
  }
  // Whether two cells hold the same value.
  bool same(const Cell& a, const Cell& b) const;

  // Space for writing up to `maxBytes` at the end of the arena; `commit` then records the
  // bytes written as the cell's value. Nothing else may touch the arena in between.
  char* beginWrite(std::size_t maxBytes);
  void commitWrite(Cell& cell, std::size_t written, std::uint16_t vt);

  // Bytes held (cells, arena, row lists), for measurements.
  std::size_t memoryBytes() const;

 private:
  void newBlock(std::size_t atLeast);

  std::size_t columns_ = 0;
  std::vector<Cell> cells_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* tail_ = nullptr;      // first free byte of the newest block
  char* blockEnd_ = nullptr;  // end of the newest block
  std::size_t nextBlock_ = 0;
  std::size_t arenaBytes_ = 0;
  std::vector<RowRef> rows_;
  std::vector<RowRef> deleted_;
};

}  // namespace veltrano::ado
