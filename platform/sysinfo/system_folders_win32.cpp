// What Windows says about itself. The SYSTEM_DIR and WINDIR deployment settings still win when
// set, so that tests can point the programs elsewhere.
#include <windows.h>

#include "platform/deploy/deploy.h"
#include "platform/sysinfo/system_folders.h"
#include "platform/text/wide.h"

namespace veltrano::sysinfo::detail {

std::string systemFolder() {
  if (auto set = deploy::find("SYSTEM_DIR"); set && !set->empty()) return *set;
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? text::narrow({buffer, n}) : "C:\\WINDOWS\\system32";
}

std::string windowsFolder() {
  if (auto set = deploy::find("WINDIR"); set) return *set;
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? text::narrow({buffer, n}) : "";
}

bool volumeSerial(std::string_view rootPath, std::uint32_t* serial) {
  DWORD s = 0;
  if (!GetVolumeInformationW(text::widen(rootPath).c_str(), nullptr, 0, &s, nullptr, nullptr, nullptr, 0))
    return false;
  *serial = s;
  return true;
}

}  // namespace veltrano::sysinfo::detail
