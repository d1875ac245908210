#pragma once
// Internal to platform/sysinfo: what each platform reads for itself.

#include <cstdint>
#include <string>
#include <string_view>

namespace veltrano::sysinfo::detail {

// The system folder (SYSTEM_DIR when set), the Windows folder (WINDIR when set), and the serial
// of the volume holding a drive's root; false when there is no such volume.
std::string systemFolder();
std::string windowsFolder();
bool volumeSerial(std::string_view rootPath, std::uint32_t* serial);

}  // namespace veltrano::sysinfo::detail
