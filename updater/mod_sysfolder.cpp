#include "updater/mod_sysfolder.h"

#include "platform/sysinfo/sysinfo.h"

namespace meridox {

std::string GetSystemFolder() {
  std::string buffer(255, ' ');
  const std::uint32_t length = veltrano::sysinfo::GetSystemDirectoryA(buffer, 255);
  // A length above the buffer is the size the call needs: a failure, as 0 is.
  if (length == 0 || length > 255) return {};
  return buffer.substr(0, length);
}

}  // namespace meridox
