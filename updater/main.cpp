// Meridox, the updater program: its first query goes out before the window's toolkit is loaded
// (window_module.h); the window itself runs in the window module.
#include <dlfcn.h>

#include <cstdio>

#include "updater/first_query.h"
#include "updater/mod_standard.h"
#include "updater/window_module.h"

int main(int argc, char** argv) {
  meridox::WindowStart start;
  start.argc = argc;
  start.argv = argv;
  start.program = meridox::ProgramInfo::fromProcess(argc, argv, MERIDOX_VERSION);
  if (const auto sql = meridox::FirstStatementOf(start.program)) start.firstQuery = meridox::PostServerQuery(*sql);

  // Loaded from here, not through the platform layer: the module is found on this program's
  // own library path (its run path), which only a load made by the program itself searches.
  // It stays loaded until the process ends.
  void* module = dlopen(meridox::kWindowModule, RTLD_NOW | RTLD_LOCAL);
  const auto entry =
      module ? reinterpret_cast<meridox::WindowEntry>(dlsym(module, meridox::kWindowEntry)) : nullptr;
  if (!entry) {
    std::fprintf(stderr, "meridox: cannot load its window: %s\n", dlerror());
    return 1;
  }
  return entry(start);
}
