#include <dlfcn.h>

#include "common/com_server.h"

namespace veltrano::common {

std::string moduleFileOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) && info.dli_fname) return info.dli_fname;
  return {};
}

}  // namespace veltrano::common
