// The updater program. The window and the update run come with the updater's own work; until
// then the program names itself and what it would do, and ends.
#include <cstdio>

#include "platform/runtime/error.h"

int main(int, char**) {
  try {
    std::printf("Meridox %s: the update run is not part of this build yet.\n", MERIDOX_VERSION);
    throw veltrano::ProgramEnd(0);
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  } catch (const veltrano::RuntimeError& e) {
    std::fprintf(stderr, "Run-time error %d: %s\n", e.number(), e.description().c_str());
    return 1;
  }
}
