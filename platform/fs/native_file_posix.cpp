#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fs/fs.h"
#include "platform/fs/native_file.h"
#include "platform/runtime/error.h"

namespace veltrano::fs::detail {
namespace {

int fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Makes a rename in `folder` durable.
void syncFolder(const std::filesystem::path& folder) {
  const int f = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (f < 0) return;  // the rename is done; only its durability is not confirmed
  ::fsync(f);
  ::close(f);
}

}  // namespace

int NativeFile::openForWriting(const std::filesystem::path& path, bool append) {
  close();
  const int flags = O_CREAT | O_CLOEXEC | (append ? O_RDWR | O_APPEND : O_WRONLY | O_TRUNC);
  const int f = ::open(path.c_str(), flags, 0644);
  if (f < 0) return openErrorOf(errno);
  handle_ = f;
  return 0;
}

int NativeFile::openForReading(const std::filesystem::path& path) {
  close();
  const int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (f < 0) return openErrorOf(errno);
  handle_ = f;
  return 0;
}

std::uint64_t NativeFile::size() const {
  struct stat st {};
  return ::fstat(fd(handle_), &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

long long NativeFile::readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::pread(fd(handle_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

long long NativeFile::read(std::uint8_t* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd(handle_), data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int NativeFile::write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd(handle_), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return writeErrorOf(errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int NativeFile::syncData() { return ::fdatasync(fd(handle_)) == 0 ? 0 : writeErrorOf(errno); }

void NativeFile::copyPermissionsFrom(const std::filesystem::path& other) {
  std::error_code ec;
  const auto old = std::filesystem::status(other, ec);
  if (!ec && std::filesystem::is_regular_file(old))
    ::fchmod(fd(handle_), static_cast<mode_t>(old.permissions()) & 07777);
}

void NativeFile::close() noexcept {
  if (handle_ != kNone) ::close(fd(handle_));
  handle_ = kNone;
}

int replaceFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  if (::rename(source.c_str(), target.c_str()) != 0)
    return errno == EACCES || errno == EPERM || errno == EBUSY || errno == ETXTBSY ? err::kPermissionDenied
                                                                                   : err::kPathFileAccessError;
  syncFolder(target.parent_path());
  return 0;
}

void removeFile(const std::filesystem::path& path) noexcept { ::unlink(path.c_str()); }

}  // namespace veltrano::fs::detail
