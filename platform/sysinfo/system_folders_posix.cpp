// The system's folders and volumes on Linux: the deployment settings, and drive folders.
#include <sys/statvfs.h>

#include <cctype>

#include "platform/deploy/deploy.h"
#include "platform/fs/fs.h"
#include "platform/sysinfo/system_folders.h"

namespace veltrano::sysinfo::detail {

std::string systemFolder() { return deploy::get("SYSTEM_DIR", "C:\\WINDOWS\\system32"); }

std::string windowsFolder() { return deploy::get("WINDIR"); }

// The 32-bit serial of the file system that holds the drive's folder (from statvfs's id).
bool volumeSerial(std::string_view rootPath, std::uint32_t* serial) {
  if (!std::isalpha(static_cast<unsigned char>(rootPath[0]))) return false;
  const std::string folder = fs::driveFolder(rootPath[0]).string();
  struct statvfs st {};
  if (statvfs(folder.c_str(), &st) != 0) return false;
  const std::uint64_t id = st.f_fsid;
  *serial = static_cast<std::uint32_t>(id ^ (id >> 32));
  return true;
}

}  // namespace veltrano::sysinfo::detail
