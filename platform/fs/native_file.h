#pragma once
// Internal to platform/fs: the few file calls the side file makes, on each platform's own
// terms (a descriptor on Linux, a handle on Windows). Failures come back as the run-time's
// file error numbers.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace veltrano::fs::detail {

class NativeFile {
 public:
  NativeFile() = default;
  ~NativeFile() { close(); }
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  // Opens for writing, made when missing and emptied unless `append`; 0 or the open error.
  int openForWriting(const std::filesystem::path& path, bool append);
  // Opens an existing file for reading; 0 or the open error.
  int openForReading(const std::filesystem::path& path);
  bool isOpen() const { return handle_ != kNone; }
  std::uint64_t size() const;
  // Bytes read (0 at the end), or -1.
  long long readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size);
  long long read(std::uint8_t* data, std::size_t size);
  // Writes all; 0 or the write error.
  int write(const std::uint8_t* data, std::size_t size);
  // Makes the data durable on the device; 0 or the write error.
  int syncData();
  // Takes the permission bits of an existing file (the executable bits of one it replaces).
  void copyPermissionsFrom(const std::filesystem::path& other);
  void close() noexcept;

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

// Replaces `target` by `source` in one step and makes it durable; 0, or 70 when the file
// system refuses (a file in use), else 75.
int replaceFile(const std::filesystem::path& source, const std::filesystem::path& target);
void removeFile(const std::filesystem::path& path) noexcept;

}  // namespace veltrano::fs::detail
