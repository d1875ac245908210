// The in-process server entry points that regsvr32 calls.
#include "common/com_server.h"

namespace {
const std::vector<veltrano::common::ComClass> kClasses = {
    {"VBF", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E01}"},
    {"TOOLTIP", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E02}"},
    {"SPREAD", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E03}"},
    {"SPREADSETUP", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E04}"},
    {"cls_Excel", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E05}"},
    {"REGISTRY", "{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E06}"},
};
}  // namespace

VELTRANO_DLL_ENTRY long DllRegisterServer() {
  return veltrano::common::registerComServer("Lumagrid", kClasses,
                                             veltrano::common::moduleFileOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

VELTRANO_DLL_ENTRY long DllUnregisterServer() {
  return veltrano::common::unregisterComServer("Lumagrid", kClasses);
}
