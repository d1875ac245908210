#include "common/byte_sink.h"

#include <cerrno>
#include <cstring>

#include "platform/fs/fs.h"
#include "platform/runtime/error.h"

namespace veltrano::common {
namespace {

int openError(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return err::kPathNotFound;
    case ENOSPC: return err::kDiskFull;
    default: return err::kPathFileAccessError;
  }
}

int writeError(int e) {
#ifdef EDQUOT
  if (e == EDQUOT) return err::kDiskFull;
#endif
  return e == ENOSPC ? err::kDiskFull : err::kDeviceIOError;
}

}  // namespace

BufferedFileSink::BufferedFileSink(std::string_view windowsPath, std::size_t capacity)
    : path_(fs::toNative(windowsPath)), capacity_(capacity == 0 ? 1 : capacity) {
  fs::checkFault("open", path_);
#ifdef _WIN32
  file_ = _wfopen(path_.c_str(), L"wb");
#else
  file_ = std::fopen(path_.c_str(), "wb");
#endif
  if (!file_) throw RuntimeError(openError(errno), "Open");
  // Our own buffer decides when bytes go out; the stream adds none of its own.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.reserve(capacity_);
}

BufferedFileSink::~BufferedFileSink() {
  try {
    close();
  } catch (const RuntimeError&) {
    // Release cannot report; close() is there for callers that want the error.
  }
}

void BufferedFileSink::write(std::span<const std::uint8_t> bytes) {
  if (!file_) throw RuntimeError(err::kBadFileNameOrNumber, "Put");
  if (buffer_.size() + bytes.size() > capacity_) {
    flush();
    if (bytes.size() >= capacity_) {  // a block larger than the buffer goes straight out
      writeThrough(bytes.data(), bytes.size());
      return;
    }
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void BufferedFileSink::flush() {
  if (!file_ || buffer_.empty()) return;
  // The buffer is emptied even when the write fails, so that a later close does not write the
  // same bytes again after the error was reported.
  std::vector<std::uint8_t> pending;
  pending.swap(buffer_);
  buffer_.reserve(capacity_);
  writeThrough(pending.data(), pending.size());
}

void BufferedFileSink::writeThrough(const std::uint8_t* data, std::size_t n) {
  fs::checkFault("write", path_);
  if (std::fwrite(data, 1, n, file_) != n) throw RuntimeError(writeError(errno), "Put");
}

void BufferedFileSink::close() {
  if (!file_) return;
  int error = 0;
  try {
    flush();
  } catch (const RuntimeError& e) {
    error = e.number();
  }
  if (std::fclose(file_) != 0 && error == 0) error = writeError(errno);
  file_ = nullptr;
  buffer_.clear();
  if (error != 0) throw RuntimeError(error, "Close");
}

}  // namespace veltrano::common
