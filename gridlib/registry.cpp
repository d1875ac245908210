#include "lumagrid/registry.h"

#include "common/registry_access.h"

namespace lumagrid {
namespace {
using veltrano::common::RegistryFlavour;
constexpr const char* kSource = "Lumagrid";
}  // namespace

void REGISTRY::HKEY(enmHKEY sHkey) { root_ = std::to_string(static_cast<int>(sHkey)); }

std::string REGISTRY::GetRegistry() {
  veltrano::common::RegistryFields f{root_, keyPath_, keyName_, keyValue_};
  return veltrano::common::getRegistry(f, RegistryFlavour::Library, kSource);
}

void REGISTRY::SetRegistry(const std::string& data) {
  veltrano::common::setRegistry({root_, keyPath_, keyName_, keyValue_}, data, RegistryFlavour::Library, kSource);
}

}  // namespace lumagrid
