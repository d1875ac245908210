#include "platform/registry/win32_registry_calls.h"

#include <windows.h>

namespace veltrano::reg::win32 {
namespace {
HKEY h(Handle key) { return static_cast<HKEY>(key); }
}  // namespace

Handle predefined(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

long createKey(Handle parent, const std::wstring& path, Handle* out) {
  HKEY k = nullptr;
  const LONG rc = RegCreateKeyExW(h(parent), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &k, nullptr);
  *out = k;
  return rc;
}

long openKey(Handle parent, const std::wstring& path, Handle* out) {
  HKEY k = nullptr;
  LONG rc = RegOpenKeyExW(h(parent), path.c_str(), 0, KEY_ALL_ACCESS, &k);
  if (rc == ERROR_ACCESS_DENIED) rc = RegOpenKeyExW(h(parent), path.c_str(), 0, KEY_READ, &k);
  *out = k;
  return rc;
}

long closeKey(Handle key) { return RegCloseKey(h(key)); }

long queryValue(Handle key, const std::wstring& name, std::uint32_t* type, std::vector<std::uint8_t>* data) {
  DWORD t = 0, size = 0;
  LONG rc = RegQueryValueExW(h(key), name.c_str(), nullptr, &t, nullptr, &size);
  // The value may grow between the calls: ask again with the size it has then.
  for (int attempt = 0; rc == ERROR_SUCCESS && attempt < 8; ++attempt) {
    data->resize(size);
    DWORD got = size;
    rc = RegQueryValueExW(h(key), name.c_str(), nullptr, &t, data->empty() ? nullptr : data->data(), &got);
    if (rc == ERROR_SUCCESS) {
      data->resize(got);
      break;
    }
    if (rc == ERROR_MORE_DATA) {
      size = got;
      rc = ERROR_SUCCESS;
    }
  }
  *type = t;
  return rc;
}

long setValue(Handle key, const std::wstring& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  return RegSetValueExW(h(key), name.c_str(), 0, type, data, size);
}

long deleteValue(Handle key, const std::wstring& name) { return RegDeleteValueW(h(key), name.c_str()); }
long deleteKey(Handle parent, const std::wstring& path) { return RegDeleteKeyW(h(parent), path.c_str()); }
long deleteTree(Handle parent, const std::wstring& path) { return RegDeleteTreeW(h(parent), path.c_str()); }

long subKeyCount(Handle key, std::uint32_t* count) {
  DWORD n = 0;
  const LONG rc = RegQueryInfoKeyW(h(key), nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
  *count = n;
  return rc;
}

long enumKeys(Handle key, std::vector<std::wstring>* names) {
  names->clear();
  wchar_t name[256];  // the longest key name the registry allows, with its terminator
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    const LONG rc = RegEnumKeyExW(h(key), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names->emplace_back(name, len);
  }
}

long enumValues(Handle key, std::vector<RawValue>* values) {
  values->clear();
  DWORD maxName = 0, maxData = 0;
  LONG rc = RegQueryInfoKeyW(h(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                             &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  std::wstring name(maxName + 1, L'\0');
  for (DWORD i = 0;; ++i) {
    RawValue v;
    DWORD nameLen = maxName + 1, type = 0, size = maxData;
    v.data.resize(maxData);
    rc = RegEnumValueW(h(key), i, name.data(), &nameLen, nullptr, &type, v.data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    v.name.assign(name.data(), nameLen);
    v.type = type;
    v.data.resize(size);
    values->push_back(std::move(v));
  }
}

long flushKey(Handle key) { return RegFlushKey(h(key)); }

}  // namespace veltrano::reg::win32
