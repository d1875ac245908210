// Windows-style paths on Windows: they are the native paths, and the file system matches names
// without regard to case itself.
#include <windows.h>

#include "platform/fs/fs.h"
#include "platform/fs/path_lookup.h"
#include "platform/text/wide.h"

namespace stdfs = std::filesystem;

namespace veltrano::fs {

stdfs::path driveFolder(char letter) { return stdfs::path(std::wstring{static_cast<wchar_t>(letter), L':', L'\\'}); }

namespace detail {

Entry lookUp(std::string_view windowsPath, stdfs::path& native) {
  native = stdfs::path(text::widen(windowsPath));
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Entry::Folder;
  return attributes & FILE_ATTRIBUTE_DEVICE ? Entry::Other : Entry::File;
}

void forgetListing(const stdfs::path&) {}  // nothing is kept

}  // namespace detail
}  // namespace veltrano::fs
