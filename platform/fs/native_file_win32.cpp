// The side file's calls on Windows: a file handle, FlushFileBuffers, and MoveFileExW, which
// replaces the target in one step (write-through, so that the move is on the disk when it
// returns).
#include <windows.h>

#include "platform/fs/native_file.h"
#include "platform/runtime/error.h"

namespace veltrano::fs::detail {
namespace {

HANDLE h(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

int openError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return err::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return err::kPermissionDenied;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return err::kBadFileName;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return err::kDiskFull;
    default: return err::kPathFileAccessError;
  }
}

int writeError(DWORD code) {
  return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ? err::kDiskFull : err::kDeviceIOError;
}

int open(const std::filesystem::path& path, DWORD access, DWORD disposition, std::intptr_t& out) {
  HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return openError(GetLastError());
  out = reinterpret_cast<std::intptr_t>(file);
  return 0;
}

}  // namespace

int NativeFile::openForWriting(const std::filesystem::path& path, bool append) {
  close();
  if (int error = open(path, GENERIC_READ | GENERIC_WRITE, append ? OPEN_ALWAYS : CREATE_ALWAYS, handle_))
    return error;
  LARGE_INTEGER zero{};
  SetFilePointerEx(h(handle_), zero, nullptr, FILE_END);
  return 0;
}

int NativeFile::openForReading(const std::filesystem::path& path) {
  close();
  return open(path, GENERIC_READ, OPEN_EXISTING, handle_);
}

std::uint64_t NativeFile::size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(h(handle_), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

long long NativeFile::readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const bool ok = ReadFile(h(handle_), data, static_cast<DWORD>(size), &got, &at) != 0;
  // A read at an offset moves the file's position; writes go on at the end.
  LARGE_INTEGER zero{};
  SetFilePointerEx(h(handle_), zero, nullptr, FILE_END);
  if (!ok) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return got;
}

long long NativeFile::read(std::uint8_t* data, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(h(handle_), data, static_cast<DWORD>(size), &got, nullptr)) return -1;
  return got;
}

int NativeFile::write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h(handle_), data, piece, &written, nullptr)) return writeError(GetLastError());
    data += written;
    size -= written;
  }
  return 0;
}

int NativeFile::syncData() { return FlushFileBuffers(h(handle_)) ? 0 : writeError(GetLastError()); }

void NativeFile::copyPermissionsFrom(const std::filesystem::path&) {}  // no executable bits on Windows

void NativeFile::close() noexcept {
  if (handle_ != kNone) CloseHandle(h(handle_));
  handle_ = kNone;
}

int replaceFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  const DWORD code = GetLastError();
  return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
             ? err::kPermissionDenied
             : err::kPathFileAccessError;
}

void removeFile(const std::filesystem::path& path) noexcept { DeleteFileW(path.c_str()); }

}  // namespace veltrano::fs::detail
