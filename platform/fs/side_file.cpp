#include "platform/fs/side_file.h"

#include "platform/fs/fs.h"
#include "platform/fs/native_file.h"
#include "platform/fs/path_lookup.h"
#include "platform/runtime/error.h"

namespace veltrano::fs {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

[[noreturn]] void raise(int number) { throw RuntimeError(number, "SideFile"); }

}  // namespace

SideFile::SideFile() = default;

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
    const long long n = file_->readAt(at, chunk.data(), chunk.size());
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
  auto file = std::make_unique<detail::NativeFile>();
  if (int error = file->openForWriting(nativeSide_, append)) raise(error);
  file_ = std::move(file);
  target_ = std::string(target);
  complete_ = false;
  length_ = file_->size();
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
}

void SideFile::write(const std::uint8_t* data, std::size_t size) {
  if (!file_) raise(err::kBadFileNameOrNumber);
  if (buffer_.size() + size > kBufferBytes) flush();
  if (size >= kBufferBytes) writeOut(data, size);
  else buffer_.insert(buffer_.end(), data, data + size);
  length_ += size;
}

void SideFile::writeFrom(std::string_view source) {
  const std::filesystem::path native = toNative(source);
  checkFault("copy", native);
  if (!fileExists(source)) raise(err::kFileNotFound);
  detail::NativeFile in;
  if (in.openForReading(native) != 0) raise(err::kPathFileAccessError);
  std::vector<std::uint8_t> chunk(kBufferBytes);
  for (;;) {
    const long long n = in.read(chunk.data(), chunk.size());
    if (n < 0) raise(err::kPathFileAccessError);
    if (n == 0) break;
    write(chunk.data(), static_cast<std::size_t>(n));
  }
}

void SideFile::flush() {
  if (buffer_.empty()) return;
  writeOut(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void SideFile::writeOut(const std::uint8_t* data, std::size_t size) {
  checkFault("write", nativeSide_);
  if (int error = file_->write(data, size)) raise(error);
}

void SideFile::place() {
  if (!complete_) {
    if (!file_) raise(err::kBadFileNameOrNumber);
    flush();
    if (int error = file_->syncData()) raise(error);
    // Executable bits of the file being replaced carry over to its successor.
    file_->copyPermissionsFrom(nativeTarget_);
    closeFd();
    complete_ = true;
  }
  // The target as it is spelled on disk now (it may have come or gone since the side file
  // was opened).
  nativeTarget_ = toNative(target_);
  checkFault("place", nativeTarget_);
  checkFault("rename", nativeTarget_);
  detail::forgetListing(nativeTarget_.parent_path());
  if (int error = detail::replaceFile(nativeSide_, nativeTarget_)) raise(error);
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
  if (!target_.empty()) detail::removeFile(nativeSide_);
  target_.clear();
  complete_ = false;
  buffer_.clear();
  length_ = 0;
}

void SideFile::closeFd() noexcept {
  file_.reset();
}

}  // namespace veltrano::fs
