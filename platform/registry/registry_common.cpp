// What every backend of the registry shares: the names of the root keys and the faults tests
// inject.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/registry_shared.h"
#include "platform/text/vbstring.h"

namespace veltrano::reg {
namespace {

struct Fault {
  std::string operation;
  long code;
  int count;
};

std::mutex g_faultMutex;
std::vector<Fault> g_faults;

}  // namespace

long takeInjectedFault(std::string_view operation) {
  std::lock_guard lock(g_faultMutex);
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if (it->operation == "*" || it->operation == operation) {
      const long code = it->code;
      if (it->count > 0 && --it->count == 0) g_faults.erase(it);
      return code;
    }
  }
  return ERROR_SUCCESS;
}

long handOverValue(const std::vector<std::uint8_t>& value, std::uint32_t valueType, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* dataSize) {
  if (type) *type = valueType;
  const auto size = static_cast<std::uint32_t>(value.size());
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  std::copy(value.begin(), value.end(), data);
  *dataSize = size;
  return ERROR_SUCCESS;
}

void injectFault(std::string operation, long code, int count) {
  std::lock_guard lock(g_faultMutex);
  g_faults.push_back({std::move(operation), code, count});
}

void clearFaults() {
  std::lock_guard lock(g_faultMutex);
  g_faults.clear();
}

std::optional<HKEY> rootByName(std::string_view name) {
  const std::string u = text::UCase(name);
  if (u == "HKCR" || u == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (u == "HKCU" || u == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (u == "HKLM" || u == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (u == "HKU" || u == "HKEY_USERS") return HKEY_USERS;
  if (u == "HKPD" || u == "HKEY_PERFORMANCE_DATA") return HKEY_PERFORMANCE_DATA;
  return std::nullopt;
}

std::string rootLongName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    case HKEY_PERFORMANCE_DATA: return "HKEY_PERFORMANCE_DATA";
    default: return "";
  }
}

std::string rootShortName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT: return "HKCR";
    case HKEY_CURRENT_USER: return "HKCU";
    case HKEY_LOCAL_MACHINE: return "HKLM";
    case HKEY_USERS: return "HKU";
    case HKEY_PERFORMANCE_DATA: return "HKPD";
    default: return "";
  }
}

}  // namespace veltrano::reg
