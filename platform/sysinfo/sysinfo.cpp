#include "platform/sysinfo/sysinfo.h"

#include "platform/sysinfo/system_folders.h"

namespace veltrano::sysinfo {
namespace {
bool g_overridden = false;
std::optional<std::uint32_t> g_serial;
}  // namespace

std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
  std::string dir = detail::systemFolder();
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  const auto len = static_cast<std::uint32_t>(dir.size());
  if (len + 1 > size) return len + 1;
  if (buffer.size() < size) buffer.resize(size, ' ');
  buffer.replace(0, dir.size(), dir);
  return len;
}

std::string windowsFolder() { return detail::windowsFolder(); }

bool GetVolumeInformationA(std::string_view rootPath, std::uint32_t* serial) {
  if (g_overridden) {
    if (!g_serial) return false;
    *serial = *g_serial;
    return true;
  }
  return !rootPath.empty() && detail::volumeSerial(rootPath, serial);
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
