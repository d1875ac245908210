#pragma once
// The Win32 registry calls with plain types. The registry backend never includes <windows.h>,
// whose macros (HKEY_CURRENT_USER, REG_SZ, ERROR_SUCCESS, ...) would replace the names that
// registry.h declares; this file and its source are the only place that meets both.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::reg::win32 {

using Handle = void*;

// The predefined key of a root (HKEY_CURRENT_USER, ...: the same numbers as registry.h's).
Handle predefined(std::uint32_t root);

// Each returns the Win32 error code.
long createKey(Handle parent, const std::wstring& path, Handle* out);
long openKey(Handle parent, const std::wstring& path, Handle* out);
long closeKey(Handle key);
// The whole value, whatever its size.
long queryValue(Handle key, const std::wstring& name, std::uint32_t* type, std::vector<std::uint8_t>* data);
long setValue(Handle key, const std::wstring& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size);
long deleteValue(Handle key, const std::wstring& name);
// Deletes one key (which must have no sub-keys), or a key with everything below it.
long deleteKey(Handle parent, const std::wstring& path);
long deleteTree(Handle parent, const std::wstring& path);
long subKeyCount(Handle key, std::uint32_t* count);
long enumKeys(Handle key, std::vector<std::wstring>* names);
struct RawValue {
  std::wstring name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};
long enumValues(Handle key, std::vector<RawValue>* values);
long flushKey(Handle key);

}  // namespace veltrano::reg::win32
