#pragma once
// A ring buffer whose every stretch of bytes is contiguous in memory. Writers fill it and readers
// read it in place, with one memcpy on the way in and none on the way out. On Linux the buffer is
// mapped twice, back to back, so bytes that run past its end continue at its beginning in the
// second mapping; on Windows it is a plain buffer of twice the size whose unread bytes slide to
// the front when a write would run past its end (byte_ring_win32.cpp). Engine under the transfer
// control (inet.h); not for system code.
//
// Capacity is a whole number of pages. Failures to allocate raise run-time error 7 (out of
// memory). Not copyable; not thread-safe.

#include <cstddef>
#include <cstdint>

namespace veltrano::http::detail {

class ByteRing {
 public:
  ByteRing() = default;
  ~ByteRing();
  ByteRing(const ByteRing&) = delete;
  ByteRing& operator=(const ByteRing&) = delete;

  // Makes a ring of at least `bytes` (rounded up to pages), empty, dropping the previous one.
  void allocate(std::size_t bytes);
  bool allocated() const { return base_ != nullptr; }

  std::size_t capacity() const { return capacity_; }
  std::size_t size() const { return count_; }
  std::size_t room() const { return capacity_ - count_; }

  // Appends `n` <= room() bytes.
  void write(const std::uint8_t* data, std::size_t n);
  // The oldest size() bytes, contiguous; valid until the next write or allocate.
  const std::uint8_t* data() const { return base_ + head_; }
  // Drops the oldest `n` <= size() bytes.
  void consume(std::size_t n);
  void clear() { head_ = count_ = 0; }

 private:
  void release() noexcept;

  std::uint8_t* base_ = nullptr;  // 2 * capacity_ bytes (two mappings of the same pages on Linux)
  std::size_t capacity_ = 0;
  std::size_t head_ = 0;  // below capacity_ on Linux, below 2 * capacity_ on Windows
  std::size_t count_ = 0;
};

}  // namespace veltrano::http::detail
