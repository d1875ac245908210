#include <gtest/gtest.h>

#include "platform/deploy/deploy.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/text/ansi.h"
#include "support/test_support.h"

using namespace veltrano;

namespace {
void setDeploy(const std::string& name, const std::string& value) {
  reg::HKEY key = 0;
  ASSERT_EQ(reg::RegCreateKeyA(reg::HKEY_LOCAL_MACHINE, deploy::kDeployKey, &key), reg::ERROR_SUCCESS);
  std::string bytes = text::toAnsiString(value) + '\0';
  reg::RegSetValueExA(key, name, reg::REG_SZ, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
  reg::RegCloseKey(key);
}
}  // namespace

TEST(DeploymentSettings, RegistryValueThenEnvironmentOverride) {
  test::ScopedRegistry store;
  unsetenv("VELTRANO_QUERY_HOST");
  EXPECT_EQ(deploy::get("QUERY_HOST"), "");
  setDeploy("QUERY_HOST", "127.0.0.1:18080");
  EXPECT_EQ(deploy::get("QUERY_HOST"), "127.0.0.1:18080");
  test::ScopedEnv env("VELTRANO_QUERY_HOST", "127.0.0.1:9");
  EXPECT_EQ(deploy::get("QUERY_HOST"), "127.0.0.1:9");
}

TEST(SystemFolders, SystemFolderFromSettingWithoutFinalSeparator) {
  test::ScopedRegistry store;
  unsetenv("VELTRANO_SYSTEM_DIR");
  std::string buffer(255, ' ');
  std::uint32_t n = sysinfo::GetSystemDirectoryA(buffer, 255);
  EXPECT_EQ(buffer.substr(0, n), "C:\\WINDOWS\\system32");
  setDeploy("SYSTEM_DIR", "C:\\WINNT\\SYSTEM32\\");
  n = sysinfo::GetSystemDirectoryA(buffer, 255);
  EXPECT_EQ(buffer.substr(0, n), "C:\\WINNT\\SYSTEM32");
  EXPECT_EQ(sysinfo::GetSystemDirectoryA(buffer, 5), 18u);  // too small: the size needed
}

TEST(SystemFolders, VolumeSerialOfTheDriveFolder) {
  test::TempDir dir;
  test::ScopedEnv c("VELTRANO_DRIVE_C", dir.path().string());
  std::uint32_t serial = 0;
  EXPECT_TRUE(sysinfo::GetVolumeInformationA("C:\\", &serial));
  std::uint32_t again = 0;
  sysinfo::GetVolumeInformationA("C:\\", &again);
  EXPECT_EQ(serial, again);
  test::ScopedEnv missing("VELTRANO_DRIVE_C", (dir.path() / "no-such-folder").string());
  EXPECT_FALSE(sysinfo::GetVolumeInformationA("C:\\", &serial));
}
