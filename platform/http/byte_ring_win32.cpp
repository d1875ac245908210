// The ring on Windows: one plain buffer of twice the capacity. Bytes are appended behind the
// unread ones; when an append would run past the end of the buffer, the unread bytes (at most
// one capacity) first slide to its beginning. Every stretch stays contiguous, at the price of
// that occasional move.

#include <cstring>
#include <new>

#include "platform/http/byte_ring.h"
#include "platform/runtime/error.h"

namespace veltrano::http::detail {
namespace {

constexpr std::size_t kPage = 4096;

}  // namespace

ByteRing::~ByteRing() { release(); }

void ByteRing::release() noexcept {
  delete[] base_;
  base_ = nullptr;
  capacity_ = head_ = count_ = 0;
}

void ByteRing::allocate(std::size_t bytes) {
  release();
  const std::size_t capacity = (bytes + kPage - 1) / kPage * kPage;
  base_ = new (std::nothrow) std::uint8_t[2 * capacity];
  if (!base_) throw RuntimeError(err::kOutOfMemory, "Inet", "The transfer buffer could not be made.");
  capacity_ = capacity;
}

void ByteRing::write(const std::uint8_t* data, std::size_t n) {
  if (head_ + count_ + n > 2 * capacity_) {
    std::memmove(base_, base_ + head_, count_);
    head_ = 0;
  }
  std::memcpy(base_ + head_ + count_, data, n);
  count_ += n;
}

void ByteRing::consume(std::size_t n) {
  head_ += n;
  count_ -= n;
  if (count_ == 0) head_ = 0;
}

}  // namespace veltrano::http::detail
