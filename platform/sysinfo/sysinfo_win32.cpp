// What Windows says about itself. The SYSTEM_DIR and WINDIR deployment settings still win when
// set, so that tests can point the programs elsewhere.
#include "platform/sysinfo/sysinfo.h"

#include <windows.h>

#include "platform/deploy/deploy.h"
#include "platform/text/wide.h"

namespace veltrano::sysinfo {
namespace {
bool g_overridden = false;
std::optional<std::uint32_t> g_serial;

std::string systemFolder() {
  if (auto set = deploy::find("SYSTEM_DIR"); set && !set->empty()) return *set;
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? text::narrow({buffer, n}) : "C:\\WINDOWS\\system32";
}
}  // namespace

std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
  std::string dir = systemFolder();
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  const auto len = static_cast<std::uint32_t>(dir.size());
  if (len + 1 > size) return len + 1;
  if (buffer.size() < size) buffer.resize(size, ' ');
  buffer.replace(0, dir.size(), dir);
  return len;
}

std::string windowsFolder() {
  if (auto set = deploy::find("WINDIR"); set) return *set;
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? text::narrow({buffer, n}) : "";
}

bool GetVolumeInformationA(std::string_view rootPath, std::uint32_t* serial) {
  if (g_overridden) {
    if (!g_serial) return false;
    *serial = *g_serial;
    return true;
  }
  if (rootPath.empty()) return false;
  DWORD s = 0;
  if (!GetVolumeInformationW(text::widen(rootPath).c_str(), nullptr, 0, &s, nullptr, nullptr, nullptr, 0))
    return false;
  *serial = s;
  return true;
}

void overrideVolumeSerial(std::optional<std::uint32_t> serial) {
  g_overridden = true;
  g_serial = serial;
}

void resetVolumeSerial() {
  g_overridden = false;
  g_serial.reset();
}

}  // namespace veltrano::sysinfo
