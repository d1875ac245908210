#include "updater/update_files.h"

#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"

namespace meridox {

namespace text = veltrano::text;

const UpdateFileEntry& FileAt(const UpdateFileList& files, int i) {
  if (i < 0 || i > FileCount(files)) throw veltrano::RuntimeError(veltrano::err::kSubscriptOutOfRange, "Meridox");
  return files[static_cast<std::size_t>(i)];
}

bool AddRegFlag(const veltrano::Variant& column) {
  return text::RemoveNuls(text::UCase(text::Trim(column.toString()))) == "1";
}

bool IsReadmeFile(std::string_view filename) { return text::UCase(filename) == "README.TXT"; }

}  // namespace meridox
