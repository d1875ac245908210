#include "platform/fs/side_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fs/folder_listings.h"
#include "platform/fs/fs.h"
#include "platform/runtime/error.h"

namespace veltrano::fs {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

[[noreturn]] void raise(int number) { throw RuntimeError(number, "SideFile"); }

// Makes a rename in `folder` durable.
void syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // the rename is done; only its durability is not confirmed
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

SideFile::~SideFile() {
  if (!target_.empty()) discard();
}

std::string SideFile::pathFor(std::string_view target) { return std::string(target) + std::string(kSuffix); }

void SideFile::create(std::string_view target) { open(target, false); }

void SideFile::resume(std::string_view target, const ByteSink& existing) {
  if (!fileExists(pathFor(target))) raise(err::kFileNotFound);
  open(target, true);
  if (!existing) return;
  std::vector<std::uint8_t> chunk(kBufferBytes);
  for (std::uint64_t at = 0; at < length_;) {
    const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      discard();
      raise(err::kDeviceIOError);
    }
    existing(chunk.data(), static_cast<std::size_t>(n));
    at += static_cast<std::uint64_t>(n);
  }
}

void SideFile::open(std::string_view target, bool append) {
  discard();
  // Names Windows cannot hold (wildcards and the like) are refused as Windows would.
  if (fileNamePart(target).find_first_of("*?\"<>|") != std::string::npos) raise(err::kBadFileName);
  nativeTarget_ = toNative(target);
  nativeSide_ = nativeTarget_;
  nativeSide_ += std::string(kSuffix);
  checkFault("open", nativeSide_);
  const int flags = O_CREAT | O_CLOEXEC | (append ? O_RDWR | O_APPEND : O_WRONLY | O_TRUNC);
  const int fd = ::open(nativeSide_.c_str(), flags, 0644);
  if (fd < 0) raise(openErrorOf(errno));
  fd_ = fd;
  target_ = std::string(target);
  complete_ = false;
  const off_t end = ::lseek(fd_, 0, SEEK_END);
  length_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
}

void SideFile::write(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) raise(err::kBadFileNameOrNumber);
  if (buffer_.size() + size > kBufferBytes) flush();
  if (size >= kBufferBytes) writeOut(data, size);
  else buffer_.insert(buffer_.end(), data, data + size);
  length_ += size;
}

void SideFile::writeFrom(std::string_view source) {
  const std::filesystem::path native = toNative(source);
  checkFault("copy", native);
  if (!fileExists(source)) raise(err::kFileNotFound);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) raise(err::kPathFileAccessError);
  std::vector<std::uint8_t> chunk(kBufferBytes);
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      raise(err::kPathFileAccessError);
    }
    if (n == 0) break;
    try {
      write(chunk.data(), static_cast<std::size_t>(n));
    } catch (...) {
      ::close(fd);
      throw;
    }
  }
  ::close(fd);
}

void SideFile::flush() {
  if (buffer_.empty()) return;
  writeOut(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void SideFile::writeOut(const std::uint8_t* data, std::size_t size) {
  checkFault("write", nativeSide_);
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      raise(writeErrorOf(errno));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void SideFile::place() {
  if (!complete_) {
    if (fd_ < 0) raise(err::kBadFileNameOrNumber);
    flush();
    if (::fdatasync(fd_) != 0) raise(writeErrorOf(errno));
    // Executable bits of the file being replaced carry over to its successor.
    std::error_code ec;
    const auto old = std::filesystem::status(nativeTarget_, ec);
    if (!ec && std::filesystem::is_regular_file(old)) ::fchmod(fd_, static_cast<mode_t>(old.permissions()) & 07777);
    closeFd();
    complete_ = true;
  }
  // The target as it is spelled on disk now (it may have come or gone since the side file
  // was opened).
  nativeTarget_ = toNative(target_);
  checkFault("place", nativeTarget_);
  checkFault("rename", nativeTarget_);
  detail::forgetListing(nativeTarget_.parent_path());
  if (::rename(nativeSide_.c_str(), nativeTarget_.c_str()) != 0)
    raise(errno == EACCES || errno == EPERM || errno == EBUSY || errno == ETXTBSY ? err::kPermissionDenied
                                                                                   : err::kPathFileAccessError);
  syncFolder(nativeTarget_.parent_path());
  target_.clear();
  complete_ = false;
}

void SideFile::keep() noexcept {
  try {
    flush();
  } catch (...) {
  }
  closeFd();
  target_.clear();
  complete_ = false;
}

void SideFile::discard() noexcept {
  closeFd();
  if (!target_.empty()) ::unlink(nativeSide_.c_str());
  target_.clear();
  complete_ = false;
  buffer_.clear();
  length_ = 0;
}

void SideFile::closeFd() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace veltrano::fs
