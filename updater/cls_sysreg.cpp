#include "updater/cls_sysreg.h"

namespace meridox {
namespace {
constexpr const char* kSource = "Meridox";
}

std::string cls_SysREg::GetRegistry() {
  return veltrano::common::getRegistry(fields_, veltrano::common::RegistryFlavour::Updater, kSource);
}

void cls_SysREg::SetRegistry(const std::string& data) {
  veltrano::common::setRegistry(fields_, data, veltrano::common::RegistryFlavour::Updater, kSource);
}

}  // namespace meridox
