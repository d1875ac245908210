#include "platform/sysinfo/sysinfo.h"

#include <sys/statvfs.h>

#include <cstring>

#include "platform/deploy/deploy.h"
#include "platform/fs/fs.h"

namespace veltrano::sysinfo {
namespace {
bool g_overridden = false;
std::optional<std::uint32_t> g_serial;
}  // namespace

std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
  std::string dir = deploy::get("SYSTEM_DIR", "C:\\WINDOWS\\system32");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  const auto len = static_cast<std::uint32_t>(dir.size());
  if (len + 1 > size) return len + 1;
  if (buffer.size() < size) buffer.resize(size, ' ');
  buffer.replace(0, dir.size(), dir);
  return len;
}

std::string windowsFolder() { return deploy::get("WINDIR"); }

bool GetVolumeInformationA(std::string_view rootPath, std::uint32_t* serial) {
  if (g_overridden) {
    if (!g_serial) return false;
    *serial = *g_serial;
    return true;
  }
  if (rootPath.empty() || !std::isalpha(static_cast<unsigned char>(rootPath[0]))) return false;
  const std::string folder = fs::driveFolder(rootPath[0]).string();
  struct statvfs st{};
  if (statvfs(folder.c_str(), &st) != 0) return false;
  std::uint64_t id = st.f_fsid;
  *serial = static_cast<std::uint32_t>(id ^ (id >> 32));
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
