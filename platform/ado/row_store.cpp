#include "platform/ado/row_store.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/runtime/error.h"

namespace veltrano::ado {

namespace {
constexpr auto vtOf(VarType t) { return static_cast<std::uint16_t>(t); }
}  // namespace

namespace {
constexpr std::size_t kFirstBlock = 64 * 1024;
constexpr std::size_t kLargestBlock = 16 * 1024 * 1024;
}  // namespace

RowStore& RowStore::operator=(RowStore&& other) noexcept {
  if (this == &other) return *this;
  columns_ = other.columns_;
  cells_ = std::move(other.cells_);
  blocks_ = std::move(other.blocks_);
  tail_ = std::exchange(other.tail_, nullptr);
  blockEnd_ = std::exchange(other.blockEnd_, nullptr);
  nextBlock_ = std::exchange(other.nextBlock_, 0);
  arenaBytes_ = std::exchange(other.arenaBytes_, 0);
  rows_ = std::move(other.rows_);
  deleted_ = std::move(other.deleted_);
  other.cells_.clear();
  other.blocks_.clear();
  other.rows_.clear();
  other.deleted_.clear();
  return *this;
}

void RowStore::reset(std::size_t columns) {
  columns_ = columns;
  cells_.clear();
  cells_.shrink_to_fit();
  blocks_.clear();
  tail_ = blockEnd_ = nullptr;
  nextBlock_ = kFirstBlock;
  arenaBytes_ = 0;
  rows_.clear();
  deleted_.clear();
}

void RowStore::reserve(std::size_t rows, std::size_t bytes) {
  cells_.reserve(cells_.size() + rows * columns_);
  rows_.reserve(rows_.size() + rows);
  if (static_cast<std::size_t>(blockEnd_ - tail_) < bytes) newBlock(bytes);
}

std::uint32_t RowStore::addSlot() {
  const std::size_t slot = slotCount();
  if (slot >= RowRef::kNoSlot) throw RuntimeError(err::kOutOfMemory, "ADODB.Recordset");
  cells_.resize(cells_.size() + columns_);
  return static_cast<std::uint32_t>(slot);
}

std::uint32_t RowStore::copySlot(std::uint32_t from) {
  const std::uint32_t slot = addSlot();
  Cell* to = cells(slot);
  const Cell* source = cells(from);
  for (std::size_t i = 0; i < columns_; ++i) {
    to[i] = source[i];
    to[i].flags = 0;
  }
  return slot;
}

Variant RowStore::get(const Cell& c) {
  switch (static_cast<VarType>(c.vt)) {
    case VarType::Empty: return Variant();
    case VarType::Null: return Variant(Null);
    case VarType::Boolean: return Variant(c.bits != 0);
    case VarType::Integer: return Variant(static_cast<std::int16_t>(static_cast<std::int64_t>(c.bits)));
    case VarType::Long: return Variant(static_cast<std::int32_t>(static_cast<std::int64_t>(c.bits)));
    case VarType::Byte: return Variant(static_cast<std::uint8_t>(c.bits));
    case VarType::LongLong: return Variant(static_cast<std::int64_t>(c.bits));
    case VarType::Single: return Variant(static_cast<float>(std::bit_cast<double>(c.bits)));
    case VarType::Double: return Variant(std::bit_cast<double>(c.bits));
    case VarType::Decimal: return Variant::decimal(std::bit_cast<double>(c.bits));
    case VarType::Currency: return Variant(CurrencyValue{static_cast<std::int64_t>(c.bits)});
    case VarType::Date: return Variant(DateValue{std::bit_cast<double>(c.bits)});
    case VarType::String: return Variant(std::string(bytesOf(c)));
    case VarType::ByteArray: {
      const std::string_view b = bytesOf(c);
      return Variant(Bytes(b.begin(), b.end()));
    }
    default:
      if (c.vt == Cell::kUInt64) {
        if (c.bits <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
          return Variant(static_cast<std::int64_t>(c.bits));
        return Variant::decimal(static_cast<double>(c.bits));
      }
      return Variant(Null);
  }
}

Cell RowStore::view(const Variant& v) {
  Cell c;
  switch (v.type()) {
    case VarType::Empty: case VarType::Null: c.vt = vtOf(VarType::Null); return c;
    case VarType::Boolean: c.bits = v.boolean() ? 1 : 0; break;
    case VarType::Integer: case VarType::Long: case VarType::Byte: case VarType::LongLong:
      c.bits = static_cast<std::uint64_t>(v.toInt64());
      break;
    case VarType::Single: case VarType::Double: case VarType::Decimal:
      c.bits = std::bit_cast<std::uint64_t>(v.toDouble());
      break;
    case VarType::Currency: c.bits = static_cast<std::uint64_t>(v.toCurrency().scaled); break;
    case VarType::Date: c.bits = std::bit_cast<std::uint64_t>(v.toDate().serial); break;
    case VarType::String: case VarType::ByteArray: {
      const std::string_view b = v.isString() ? std::string_view(v.str())
                                              : std::string_view(reinterpret_cast<const char*>(v.bytes().data()),
                                                                 v.bytes().size());
      if (b.size() > std::numeric_limits<std::uint32_t>::max()) throw RuntimeError(err::kOutOfMemory, "ADODB.Field");
      c.bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(b.data()));
      c.size = static_cast<std::uint32_t>(b.size());
      break;
    }
  }
  c.vt = vtOf(v.type());
  return c;
}

void RowStore::put(Cell& c, const Variant& v) {
  const std::uint16_t flags = c.flags;
  const Cell seen = view(v);
  if (seen.isArena()) putBytes(c, bytesOf(seen), seen.vt);
  else c = seen;
  c.flags = flags;
}

void RowStore::putBytes(Cell& c, std::string_view bytes, std::uint16_t vt) {
  char* out = beginWrite(bytes.size());
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  commitWrite(c, bytes.size(), vt);
}

void RowStore::appendBytes(Cell& c, std::string_view more) {
  if (!c.isArena()) throw RuntimeError(err::kTypeMismatch, "ADODB.Field");
  if (more.empty()) return;
  if (static_cast<std::uint64_t>(c.size) + more.size() > std::numeric_limits<std::uint32_t>::max())
    throw RuntimeError(err::kOutOfMemory, "ADODB.Field");
  const std::string_view old = bytesOf(c);
  if (old.data() + old.size() == tail_ && static_cast<std::size_t>(blockEnd_ - tail_) >= more.size()) {
    // The value is the last one written and there is room after it: extend it in place.
    std::memcpy(tail_, more.data(), more.size());
    tail_ += more.size();
    c.size += static_cast<std::uint32_t>(more.size());
    return;
  }
  // Move it where it has room to double, so that a value built from many chunks is copied
  // a logarithmic number of times.
  const std::size_t total = old.size() + more.size();
  if (static_cast<std::size_t>(blockEnd_ - tail_) < 2 * total) newBlock(2 * total);
  char* out = tail_;
  std::memcpy(out, old.data(), old.size());
  std::memcpy(out + old.size(), more.data(), more.size());
  commitWrite(c, total, c.vt);
}

bool RowStore::same(const Cell& a, const Cell& b) const {
  if (a.vt != b.vt) return false;
  if (a.isArena()) return bytesOf(a) == bytesOf(b);
  return a.bits == b.bits;
}

char* RowStore::beginWrite(std::size_t maxBytes) {
  if (static_cast<std::size_t>(blockEnd_ - tail_) < maxBytes) newBlock(maxBytes);
  return tail_;
}

void RowStore::commitWrite(Cell& c, std::size_t written, std::uint16_t vt) {
  if (written > std::numeric_limits<std::uint32_t>::max()) throw RuntimeError(err::kOutOfMemory, "ADODB.Field");
  c.bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(tail_));
  c.size = static_cast<std::uint32_t>(written);
  c.vt = vt;
  tail_ += written;
}

void RowStore::newBlock(std::size_t atLeast) {
  if (nextBlock_ == 0) nextBlock_ = kFirstBlock;
  const std::size_t size = std::max(atLeast, nextBlock_);
  blocks_.emplace_back(new char[size]);
  tail_ = blocks_.back().get();
  blockEnd_ = tail_ + size;
  arenaBytes_ += size;
  nextBlock_ = std::min(nextBlock_ * 2, kLargestBlock);
}

std::size_t RowStore::memoryBytes() const {
  return cells_.capacity() * sizeof(Cell) + arenaBytes_ + (rows_.capacity() + deleted_.capacity()) * sizeof(RowRef);
}

}  // namespace veltrano::ado
