#pragma once
// The registry read with Windows's own calls, beside the registry module (which must not meet
// <windows.h> in one file).

#include <optional>
#include <string>

namespace veltrano::test {

// The REG_SZ value `name` of HKEY_CURRENT_USER\<path> as UTF-8, or nothing.
std::optional<std::string> rawCurrentUserString(const std::string& path, const std::string& name);

}  // namespace veltrano::test
