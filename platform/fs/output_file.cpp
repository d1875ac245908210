#include "platform/fs/output_file.h"

#include "platform/fs/fs.h"
#include "platform/fs/native_file.h"

namespace veltrano::fs {

OutputFile::OutputFile() : file_(std::make_unique<detail::NativeFile>()) {}

OutputFile::~OutputFile() = default;

int OutputFile::open(std::string_view windowsPath, bool append) {
  path_ = toNative(windowsPath);
  return file_->openForWriting(path_, append);
}

bool OutputFile::isOpen() const { return file_->isOpen(); }

int OutputFile::write(const std::uint8_t* data, std::size_t size) { return file_->write(data, size); }

void OutputFile::close() noexcept { file_->close(); }

}  // namespace veltrano::fs
