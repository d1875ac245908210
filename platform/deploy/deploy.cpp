#include "platform/deploy/deploy.h"

#include <cstdlib>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/runtime/environment.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano::deploy {

std::string environmentName(std::string_view valueName) {
  if (valueName == "WINDIR") return "WINDIR";
  return "VELTRANO_" + std::string(valueName);
}

std::optional<std::string> find(std::string_view valueName) {
  if (auto env = environmentVariable(environmentName(valueName))) return env;
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(reg::HKEY_LOCAL_MACHINE, kDeployKey, 0, reg::KEY_READ, &key) != reg::ERROR_SUCCESS)
    return std::nullopt;
  std::uint32_t type = 0, size = 0;
  std::optional<std::string> result;
  if (reg::RegQueryValueExA(key, valueName, &type, nullptr, &size) == reg::ERROR_SUCCESS &&
      (type == reg::REG_SZ || type == reg::REG_EXPAND_SZ)) {
    std::vector<std::uint8_t> data(size);
    if (reg::RegQueryValueExA(key, valueName, &type, data.data(), &size) == reg::ERROR_SUCCESS)
      result = text::UpToNul(text::fromAnsi(std::span<const std::uint8_t>(data.data(), size)));
  }
  reg::RegCloseKey(key);
  return result;
}

std::string get(std::string_view valueName, std::string_view fallback) {
  return find(valueName).value_or(std::string(fallback));
}

}  // namespace veltrano::deploy
