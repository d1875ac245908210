#pragma once
// All-or-nothing placement of a file: the new content is written into a side file beside the
// target (same folder, so the replacement is one rename), and replaces the target only when
// the caller says it is complete. Until then the target stays byte-identical; after a failure
// the side file is discarded, so nothing is left behind (a full disk included).
//
//   fs::SideFile side;
//   side.create("C:\\Tarvic\\a.dll");       // "C:\Tarvic\a.dll.partial", emptied
//   side.write(bytes, n) ...;
//   side.place();                            // data synced, renamed onto a.dll, folder synced
//
// The target keeps the spelling it has on disk: an existing "a.dll" is replaced as "a.dll" even
// when the caller names it "A.DLL". A replacement the file system refuses (a file in use)
// leaves the complete side file in place; place() may then be called again without writing
// anything anew. A side file left by a process that ended early can be continued (resume).
//
// Failures raise the run-time's file errors: 53 no side file to resume, 61 disk full, 57 device
// I/O error, 70 permission denied, 75 path/file access error, 76 path not found. Test hooks
// (fs::injectFault): "open" and "write" on the side file's path; "place" on the target's path
// after the side file is synced and before the rename (a point to stop a process at); "rename"
// on the target's path for a refused replacement.
//
// Not copyable; one writer per target. The destructor discards a side file that was neither
// placed nor kept.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::fs {

namespace detail {
class NativeFile;
}

class SideFile {
 public:
  // Appended to the target's name to name its side file.
  static constexpr std::string_view kSuffix = ".partial";

  SideFile();
  ~SideFile();
  SideFile(const SideFile&) = delete;
  SideFile& operator=(const SideFile&) = delete;

  // The Windows-style path of the side file of `target`.
  static std::string pathFor(std::string_view target);

  // Starts an empty side file for `target` (a side file already there is emptied).
  void create(std::string_view target);
  // Continues the side file left for `target`: writes go after its end. Raises 53 when there
  // is none. The bytes already in it are first handed to `existing` in pieces (one read of
  // them, for a digest that must cover the whole file); a failed read discards the side file
  // and raises 57.
  using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;
  void resume(std::string_view target, const ByteSink& existing = {});

  bool isOpen() const { return file_ != nullptr; }
  // The side file is synced and closed, waiting for (another) place().
  bool complete() const { return complete_; }
  // The target's Windows-style path as given.
  const std::string& target() const { return target_; }
  // Bytes in the side file, those still buffered included.
  std::uint64_t length() const { return length_; }

  void write(const std::uint8_t* data, std::size_t size);
  // Appends the bytes of the file at `source` (a Windows-style path): raises 53 when it is
  // missing, 75 when it cannot be read; "copy" faults on the source's path apply.
  void writeFrom(std::string_view source);
  // Writes out the buffered bytes (not synced to the device).
  void flush();
  // Syncs the side file's data (once) and replaces the target by it, then syncs the folder.
  // When the rename is refused the complete side file stays and the error is raised.
  void place();
  // Closes the side file and leaves it on disk for a later resume.
  void keep() noexcept;
  // Closes and removes the side file. Raises nothing.
  void discard() noexcept;

 private:
  void open(std::string_view target, bool append);
  void writeOut(const std::uint8_t* data, std::size_t size);
  void closeFd() noexcept;

  std::unique_ptr<detail::NativeFile> file_;
  bool complete_ = false;
  std::string target_;
  std::filesystem::path nativeTarget_;
  std::filesystem::path nativeSide_;
  std::uint64_t length_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace veltrano::fs
