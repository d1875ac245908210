#include "platform/runtime/shared_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace veltrano {

SharedLibrary::SharedLibrary(const std::string& soname) : soname_(soname) {
  handle_ = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error("cannot load " + soname + ": " + dlerror());
}

void* SharedLibrary::symbol(const char* name) const {
  dlerror();
  void* address = dlsym(handle_, name);
  if (!address) throw std::runtime_error(soname_ + " has no " + name);
  return address;
}

}  // namespace veltrano
