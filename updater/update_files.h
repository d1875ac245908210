#pragma once
// UpdateFileEntry and UpdateFiles: the download list of one update run. Element 0 is an empty
// placeholder that is never filled; the files are elements 1 to n, in the order they were
// selected (product keys in catalogue order, within a product by file name).

#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/variant.h"

namespace meridox {

// One file to download. Texts are trimmed; all but downloadpath are upper case.
struct UpdateFileEntry {
  std::string productcode;
  std::string productkey;
  std::string filename;
  std::string sourcepath;    // server name and folder, without the scheme
  std::string downloadpath;  // local folder, placeholders resolved, case kept
  bool addreg = false;       // register with regsvr32 after the downloads
  std::string version;
  std::string memo;          // shown while the file is fetched and registered
};

using UpdateFileList = std::vector<UpdateFileEntry>;

// A list holding only the placeholder element 0.
inline UpdateFileList NewUpdateFiles() { return UpdateFileList(1); }
// The highest index n (0 when no file is listed).
inline int FileCount(const UpdateFileList& files) { return static_cast<int>(files.size()) - 1; }
// Element i; raises 9 (subscript out of range) outside 0..n.
const UpdateFileEntry& FileAt(const UpdateFileList& files, int i);

// The addreg column: true when, trimmed, upper-cased and without NULs, it is exactly "1".
bool AddRegFlag(const veltrano::Variant& column);
// A file the run offers to show as update history ("README.TXT" in any case).
bool IsReadmeFile(std::string_view filename);

}  // namespace meridox
