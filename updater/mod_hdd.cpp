#include "updater/mod_hdd.h"

#include "platform/sysinfo/sysinfo.h"

namespace meridox {

std::string VolumeSerialText(std::uint32_t serial) {
  const auto signedSerial = static_cast<std::int32_t>(serial);
  const std::int64_t magnitude = signedSerial < 0 ? -static_cast<std::int64_t>(signedSerial) : signedSerial;
  return std::to_string(magnitude);
}

std::string GetVolumeSerial() {
  std::uint32_t serial = 0;
  if (!veltrano::sysinfo::GetVolumeInformationA("C:\\", &serial)) serial = 0;
  return VolumeSerialText(serial);
}

}  // namespace meridox
