#include "platform/runtime/runtime_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace veltrano {
namespace {

std::string userName() {
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name) return pw->pw_name;
  return std::to_string(::getuid());
}

bool ownFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

}  // namespace

std::string runtimeFolder() {
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
  const std::string path = "/tmp/runtime-" + userName();
  if (::mkdir(path.c_str(), 0700) != 0 && ownFolder(path)) ::chmod(path.c_str(), 0700);
  return path;
}

void useRuntimeFolder() {
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return;
  const std::string path = runtimeFolder();
  if (ownFolder(path)) ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
}

}  // namespace veltrano
