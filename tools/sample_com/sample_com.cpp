// A small in-process server published by the reference server's sample data: the update demo
// downloads it and registers it with regsvr32, which records its class in the registry.
#include "common/com_server.h"

namespace {
const std::vector<veltrano::common::ComClass> kClasses = {
    {"Control", "{3F6A1B20-7C4D-4E8F-9A01-5B6C7D8E9F01}"},
};
}  // namespace

VELTRANO_DLL_ENTRY long DllRegisterServer() {
  return veltrano::common::registerComServer(
      "TarvicSample", kClasses, veltrano::common::moduleFileOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

VELTRANO_DLL_ENTRY long DllUnregisterServer() {
  return veltrano::common::unregisterComServer("TarvicSample", kClasses);
}
