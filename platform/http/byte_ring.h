#pragma once
// A ring buffer whose every stretch of bytes is contiguous in memory: the buffer is mapped twice,
// back to back, so bytes that run past its end continue at its beginning in the second mapping.
// Writers fill it and readers read it in place, with one memcpy on the way in and none on the way
// out. Engine under the transfer control (inet.h); not for system code.
//
// Capacity is a whole number of pages. Failures to map raise run-time error 7 (out of memory).
// Not copyable; not thread-safe.

#include <cstddef>
#include <cstdint>

namespace veltrano::http::detail {

class ByteRing {
 public:
  ByteRing() = default;
  ~ByteRing();
  ByteRing(const ByteRing&) = delete;
  ByteRing& operator=(const ByteRing&) = delete;

  // Maps a ring of at least `bytes` (rounded up to pages), empty, dropping the previous one.
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

  std::uint8_t* base_ = nullptr;  // two mappings of the same pages, 2 * capacity_ bytes
  std::size_t capacity_ = 0;
  std::size_t head_ = 0;  // always below capacity_
  std::size_t count_ = 0;
};

}  // namespace veltrano::http::detail
