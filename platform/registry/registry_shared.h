#pragma once
// Internal to platform/registry: what its backends share.

#include <cstdint>
#include <string_view>
#include <vector>

namespace veltrano::reg {

// The code of the next injected fault for `operation`, or ERROR_SUCCESS; counts it off.
long takeInjectedFault(std::string_view operation);

// Hands a value read to a RegQueryValueExA caller: its type, and with `data` its bytes when
// they fit in *dataSize (else ERROR_MORE_DATA); *dataSize receives the value's size.
long handOverValue(const std::vector<std::uint8_t>& value, std::uint32_t valueType, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* dataSize);

}  // namespace veltrano::reg
