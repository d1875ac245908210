#pragma once
// Where written bytes go: a small sink interface with a buffered file behind it for the
// spreadsheet writer, and a memory sink for tests and benchmarks.
//
// Bytes reach the sink in the order written. A buffered sink hands them to the file in the same
// order; a write error therefore shows at the call that fills the buffer or at flush()/close().

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "platform/fs/output_file.h"

namespace veltrano::common {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends bytes. Raises the run-time's file errors (57 device I/O error, 61 disk full).
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
  // Hands everything written so far to the medium. Raises as write() does.
  virtual void flush() = 0;
};

// Collects the bytes in memory.
class MemorySink final : public ByteSink {
 public:
  void write(std::span<const std::uint8_t> bytes) override { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  void flush() override {}
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  void clear() { bytes_.clear(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A file opened for binary writing (created, or emptied when it exists) behind a buffer of
// `capacity` bytes. The path is Windows-style (platform/fs). Injected faults of platform/fs
// apply: "open" when the file is opened, "write" at each physical write.
class BufferedFileSink final : public ByteSink {
 public:
  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  // Raises 76 (path not found) when the folder is missing, 75 (path/file access error) when
  // the file cannot be opened for writing, 61 when the disk is full.
  explicit BufferedFileSink(std::string_view windowsPath, std::size_t capacity = kDefaultCapacity);
  // Closes the file; what is still buffered is written, and errors are swallowed (call
  // close() first to see them).
  ~BufferedFileSink() override;
  BufferedFileSink(const BufferedFileSink&) = delete;
  BufferedFileSink& operator=(const BufferedFileSink&) = delete;

  void write(std::span<const std::uint8_t> bytes) override;
  void flush() override;
  // Flushes and closes. The file is closed even when the flush fails; the error is raised
  // afterwards. Closing twice does nothing.
  void close();
  bool isOpen() const { return file_.isOpen(); }
  const std::filesystem::path& nativePath() const { return file_.nativePath(); }

 private:
  void writeThrough(const std::uint8_t* data, std::size_t n);

  fs::OutputFile file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t capacity_;
};

}  // namespace veltrano::common
