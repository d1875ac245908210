#pragma once
// Deployment settings: one documented place, the registry value under
// HKEY_LOCAL_MACHINE\SOFTWARE\VELTRANO\DEPLOY, each overridable by an environment variable.
//
//   setting            value name     environment variable
//   query service      QUERY_HOST     VELTRANO_QUERY_HOST      host[:port]
//   data library host  APP_HOST       VELTRANO_APP_HOST        host[:port]
//   direct-mode DB     DB_HOST        VELTRANO_DB_HOST
//                      DB_PASSWORD    VELTRANO_DB_PASSWORD
//   ODBC driver        ODBC_DRIVER    VELTRANO_ODBC_DRIVER
//   drive C: folder    DRIVE_C        VELTRANO_DRIVE_C
//   system folder      SYSTEM_DIR     VELTRANO_SYSTEM_DIR
//   Windows folder     WINDIR         WINDIR
//   connect timeout    CONNECT_TIMEOUT_SECONDS  VELTRANO_CONNECT_TIMEOUT_SECONDS  (15)
//   stall limit        TRANSFER_STALL_SECONDS   VELTRANO_TRANSFER_STALL_SECONDS   (60)
//   update signing key UPDATE_PUBLIC_KEY        VELTRANO_UPDATE_PUBLIC_KEY        (base64)
//
// No host name is compiled in: an unset host is empty.

#include <optional>
#include <string>
#include <string_view>

namespace veltrano::deploy {

// The environment variable when set (even to empty), else the registry value; nothing when
// neither is there.
std::optional<std::string> find(std::string_view valueName);
// The environment variable when set (even to empty), else the registry value, else `fallback`.
std::string get(std::string_view valueName, std::string_view fallback = "");

// The environment variable that overrides a value name ("WINDIR" for WINDIR, else
// "VELTRANO_" + name).
std::string environmentName(std::string_view valueName);

inline constexpr const char* kDeployKey = "SOFTWARE\\VELTRANO\\DEPLOY";

}  // namespace veltrano::deploy
