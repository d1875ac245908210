#pragma once
// Mod_HDD: the serial number of volume C:, shown as the installation's product id.

#include <cstdint>
#include <string>

namespace meridox {

// The volume serial of "C:\" as a signed 32-bit number without its sign, in decimal; "0"
// when the volume has no serial.
std::string GetVolumeSerial();

// The text for one serial: its absolute value as a signed 32-bit number. Hex 80000000, which
// has no positive 32-bit counterpart, gives 2147483648 (the true magnitude) instead of failing.
std::string VolumeSerialText(std::uint32_t serial);

}  // namespace meridox
