#include "common/byte_sink.h"

#include "platform/fs/fs.h"
#include "platform/fs/output_file.h"
#include "platform/runtime/error.h"

namespace veltrano::common {

BufferedFileSink::BufferedFileSink(std::string_view windowsPath, std::size_t capacity)
    : capacity_(capacity == 0 ? 1 : capacity) {
  fs::checkFault("open", fs::toNative(windowsPath));
  if (int error = file_.open(windowsPath, false)) {
    // A missing folder and a full disk keep their numbers; any other refusal is an access error.
    throw RuntimeError(error == err::kPathNotFound || error == err::kDiskFull ? error : err::kPathFileAccessError,
                       "Open");
  }
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
  if (!file_.isOpen()) throw RuntimeError(err::kBadFileNameOrNumber, "Put");
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
  if (!file_.isOpen() || buffer_.empty()) return;
  // The buffer is emptied even when the write fails, so that a later close does not write the
  // same bytes again after the error was reported.
  std::vector<std::uint8_t> pending;
  pending.swap(buffer_);
  buffer_.reserve(capacity_);
  writeThrough(pending.data(), pending.size());
}

void BufferedFileSink::writeThrough(const std::uint8_t* data, std::size_t n) {
  fs::checkFault("write", file_.nativePath());
  if (int error = file_.write(data, n)) throw RuntimeError(error, "Put");
}

void BufferedFileSink::close() {
  if (!file_.isOpen()) return;
  int error = 0;
  try {
    flush();
  } catch (const RuntimeError& e) {
    error = e.number();
  }
  file_.close();
  buffer_.clear();
  if (error != 0) throw RuntimeError(error, "Close");
}

}  // namespace veltrano::common
