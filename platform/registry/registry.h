#pragma once
// The registry: a per-user store of keys and typed values with the Win32 registry calls the
// system makes (the "A" functions) and their return codes.
//
// On Linux the store is one SQLite file (WAL mode, one transaction per write, a busy timeout), so
// several processes may read and write it at once without losing a write. Its location is the
// file named by VELTRANO_REGISTRY, else $XDG_DATA_HOME/veltrano/registry.db (or
// ~/.local/share/veltrano/registry.db).
//
// Key paths separate components with "\"; doubled, leading and trailing separators are
// ignored, as the Windows registry tolerates them (callers hand over paths such as
// "SOFTWARE\VELTRANO\COMMON\\Installed"). Key and value names are compared without regard
// to case. Key paths and value names are UTF-8 text; value data are raw bytes as given (the
// registry class writes REG_SZ data as the CP949 bytes of its text, without a terminating
// zero; other writers, such as the registry tool, include it).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::reg {

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;

// Value types.
inline constexpr std::uint32_t REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3,
                               REG_DWORD = 4, REG_DWORD_BIG_ENDIAN = 5, REG_LINK = 6,
                               REG_MULTI_SZ = 7, REG_QWORD = 11;

// Access rights (kept for the calls' shape; the store grants every right).
inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001, KEY_SET_VALUE = 0x0002, KEY_READ = 0x20019,
                               KEY_WRITE = 0x20006, KEY_ALL_ACCESS = 0xF003F;

// Win32 return codes.
inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_DISK_FULL = 112;
inline constexpr long ERROR_INVALID_PARAMETER = 87;
inline constexpr long ERROR_BAD_PATHNAME = 161;
inline constexpr long ERROR_MORE_DATA = 234;
inline constexpr long ERROR_NO_MORE_ITEMS = 259;
inline constexpr long ERROR_BADDB = 1009;
inline constexpr long ERROR_BADKEY = 1010;
inline constexpr long ERROR_CANTOPEN = 1011;
inline constexpr long ERROR_CANTREAD = 1012;
inline constexpr long ERROR_CANTWRITE = 1013;
inline constexpr long ERROR_KEY_DELETED = 1018;
inline constexpr long ERROR_KEY_HAS_CHILDREN = 1020;

// The Win32 calls. A store that cannot be used gives ERROR_CANTOPEN, ERROR_BADDB (damaged),
// ERROR_CANTREAD or ERROR_CANTWRITE, or ERROR_DISK_FULL when it cannot be written or read for
// lack of space on its disk (SQLite needs room for its log even to read); the first such
// failure, and each change of it, is written to the application event log (source
// "Registry"), until a call reaches the store again. Nothing stored is lost by any of them.
long RegOpenKeyA(HKEY root, std::string_view subKey, HKEY* result);
long RegOpenKeyExA(HKEY root, std::string_view subKey, std::uint32_t options, std::uint32_t samDesired, HKEY* result);
long RegCreateKeyA(HKEY root, std::string_view subKey, HKEY* result);
// Type and data of a value. With `data` null only the type and size are returned. When the
// buffer is too small, *dataSize receives the size needed and ERROR_MORE_DATA is returned.
long RegQueryValueExA(HKEY key, std::string_view valueName, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataSize);
long RegSetValueExA(HKEY key, std::string_view valueName, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t dataSize);
long RegDeleteValueA(HKEY key, std::string_view valueName);
// Deletes a key that has no sub-keys.
long RegDeleteKeyA(HKEY root, std::string_view subKey);
long RegFlushKey(HKEY key);
long RegCloseKey(HKEY key);

// Enumeration, for the registry tool: names of the direct sub-keys and of the values of a key.
long RegEnumKeys(HKEY key, std::vector<std::string>* names);
struct ValueEntry {
  std::string name;
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};
long RegEnumValues(HKEY key, std::vector<ValueEntry>* values);

// Root keys by name: "HKCU", "HKEY_CURRENT_USER", ... (case-insensitive).
std::optional<HKEY> rootByName(std::string_view name);
std::string rootLongName(HKEY root);
std::string rootShortName(HKEY root);

// The store file in force: the one set by useStore, else VELTRANO_REGISTRY, else the default.
std::string storePath();
std::string defaultStorePath();
// Points this process at another store file (closes open handles of the previous one).
// On Windows the store is the system registry; a store named here (or by VELTRANO_REGISTRY)
// is a private part of it, HKEY_CURRENT_USER\Software\Veltrano\Stores\<name>, in which every
// root key stands for itself: tests use it so as never to touch the real keys.
void useStore(std::string path);
// Removes everything a store holds (its file and logs; on Windows its private keys).
void removeStore(std::string_view path);

// Test hook: makes the next `count` calls of the named operation ("open", "create", "query",
// "set", "delete", "flush", or "*" for any) fail with `code`. count < 0: until cleared.
void injectFault(std::string operation, long code, int count = 1);
void clearFaults();

}  // namespace veltrano::reg
