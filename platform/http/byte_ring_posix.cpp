#include "platform/http/byte_ring.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "platform/runtime/error.h"

namespace veltrano::http::detail {

ByteRing::~ByteRing() { release(); }

void ByteRing::release() noexcept {
  if (base_) munmap(base_, 2 * capacity_);
  base_ = nullptr;
  capacity_ = head_ = count_ = 0;
}

void ByteRing::allocate(std::size_t bytes) {
  release();
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t capacity = (bytes + page - 1) / page * page;
  const int fd = memfd_create("veltrano-ring", MFD_CLOEXEC);
  if (fd < 0) throw RuntimeError(err::kOutOfMemory, "Inet", "The transfer buffer could not be made.");
  // Reserve twice the size, then lay the same pages over both halves.
  void* area = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(capacity)) == 0)
    area = mmap(nullptr, 2 * capacity, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  bool mapped = area != MAP_FAILED;
  auto* base = static_cast<std::uint8_t*>(area);
  for (std::size_t half = 0; mapped && half < 2; ++half)
    mapped = mmap(base + half * capacity, capacity, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) !=
             MAP_FAILED;
  close(fd);  // the mappings keep the pages
  if (!mapped) {
    if (area != MAP_FAILED) munmap(area, 2 * capacity);
    throw RuntimeError(err::kOutOfMemory, "Inet", "The transfer buffer could not be made.");
  }
  base_ = base;
  capacity_ = capacity;
}

void ByteRing::write(const std::uint8_t* data, std::size_t n) {
  std::memcpy(base_ + (head_ + count_) % capacity_, data, n);
  count_ += n;
}

void ByteRing::consume(std::size_t n) {
  head_ = (head_ + n) % capacity_;
  count_ -= n;
  if (count_ == 0) head_ = 0;
}

}  // namespace veltrano::http::detail
