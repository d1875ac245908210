#pragma once
// A file written by the modules that write files themselves (the download, the spreadsheet
// writer): opened by its Windows-style path, then written straight through to the file system,
// each write at once and whole. Callers that want fewer system calls buffer in front of it.
//
// Failures come back as the run-time's file error numbers, for the caller to raise under its
// own source: on opening 76 path not found, 70 permission denied, 52 bad file name, 61 disk
// full, else 75; on writing 61 disk full, else 57. The test hooks of fs.h ("open", "write"
// faults) are the caller's to check, with nativePath().
//
// Not copyable; the destructor closes the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace veltrano::fs {

namespace detail {
class NativeFile;
}

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `windowsPath` for writing: made when missing; `append` keeps what is there and
  // writes after its end, otherwise the file is emptied. 0 or the open error.
  int open(std::string_view windowsPath, bool append);
  bool isOpen() const;
  // Writes all `size` bytes; 0 or the write error.
  int write(const std::uint8_t* data, std::size_t size);
  void close() noexcept;
  // The file's path on this machine (for the fault hooks and messages).
  const std::filesystem::path& nativePath() const { return path_; }

 private:
  std::unique_ptr<detail::NativeFile> file_;
  std::filesystem::path path_;
};

}  // namespace veltrano::fs
