// The in-process server entry points that regsvr32 calls.
#include "common/com_server.h"

namespace {
const std::vector<veltrano::common::ComClass> kClasses = {
    {"VBF", "{8C2E4D21-5F3B-4D9C-AE12-2B3C4D5E6F01}"},
    {"REGISTRY", "{8C2E4D21-5F3B-4D9C-AE12-2B3C4D5E6F02}"},
};
}  // namespace

VELTRANO_DLL_ENTRY long DllRegisterServer() {
  return veltrano::common::registerComServer("Lumadata", kClasses,
                                             veltrano::common::moduleFileOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

VELTRANO_DLL_ENTRY long DllUnregisterServer() {
  return veltrano::common::unregisterComServer("Lumadata", kClasses);
}
