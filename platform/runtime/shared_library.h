#pragma once
// A system library loaded when first needed rather than when the program starts. ELF has no
// delayed loading, so a library linked as usual is mapped and relocated before main() even when
// the run never uses it; the updater's first request waits for each one.

#include <string>

namespace veltrano {

class SharedLibrary {
 public:
  // Loads `soname` (e.g. "libgcrypt.so.20"); throws std::runtime_error naming the library and
  // the loader's reason when it cannot be loaded.
  explicit SharedLibrary(const std::string& soname);
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The address of `name`; throws std::runtime_error when the library lacks it.
  void* symbol(const char* name) const;

  // Fills a function pointer from the symbol of the same name.
  template <class F>
  void resolve(F*& fn, const char* name) const {
    fn = reinterpret_cast<F*>(symbol(name));
  }

 private:
  std::string soname_;
  void* handle_ = nullptr;  // kept until the process ends: callers hold its function pointers
};

}  // namespace veltrano
