// The registry on Windows: the system registry itself, through its wide-character calls.
//
// The calls keep the shape of the "A" functions the system makes: key and value names are
// UTF-8 here and UTF-16 in the registry; string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are
// CP949 bytes here and UTF-16 in the registry, converted with code page 949 named explicitly
// (never the system's ANSI code page), so that other Windows programs read the same text.
//
// A store set by useStore (or VELTRANO_REGISTRY) is a private part of the registry: every root
// key then stands for HKEY_CURRENT_USER\Software\Veltrano\Stores\<store>\<root name>, so that
// tests never touch the real keys. The real registry is the default.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_shared.h"
#include "platform/registry/win32_registry_calls.h"
#include "platform/runtime/environment.h"
#include "platform/text/ansi.h"
#include "platform/text/wide.h"

namespace veltrano::reg {
namespace {

namespace w32 = win32;

struct State {
  std::recursive_mutex mutex;
  std::string explicitStore;
  std::map<HKEY, w32::Handle> handles;
  std::map<HKEY, w32::Handle> redirectedRoots;  // the private roots of the store in use
  HKEY nextHandle = 0x00000100;
};

State& state() {
  static State s;
  return s;
}

bool isRoot(HKEY k) { return k >= HKEY_CLASSES_ROOT && k <= HKEY_PERFORMANCE_DATA; }

std::string storeName(State& s) {
  if (!s.explicitStore.empty()) return s.explicitStore;
  return environmentVariable("VELTRANO_REGISTRY").value_or("");  // UTF-8, as storeKeyName takes it
}

// A store name as one key name: separators would make it a path.
std::wstring storeKeyName(std::string name) {
  for (char& c : name)
    if (c == '\\' || c == '/' || c == ':') c = '_';
  return text::widen(name);
}

void closeAll(State& s) {
  for (auto& [k, h] : s.handles) w32::closeKey(h);
  for (auto& [k, h] : s.redirectedRoots) w32::closeKey(h);
  s.handles.clear();
  s.redirectedRoots.clear();
}

long resolve(State& s, HKEY key, w32::Handle* out) {
  if (isRoot(key)) {
    const std::string store = storeName(s);
    if (store.empty()) {
      *out = w32::predefined(key);
      return ERROR_SUCCESS;
    }
    auto it = s.redirectedRoots.find(key);
    if (it == s.redirectedRoots.end()) {
      w32::Handle h = nullptr;
      const std::wstring path = L"Software\\Veltrano\\Stores\\" + storeKeyName(store) + L"\\" +
                                text::widen(rootLongName(key));
      if (long rc = w32::createKey(w32::predefined(HKEY_CURRENT_USER), path, &h)) return rc;
      it = s.redirectedRoots.emplace(key, h).first;
    }
    *out = it->second;
    return ERROR_SUCCESS;
  }
  auto it = s.handles.find(key);
  if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
  *out = it->second;
  return ERROR_SUCCESS;
}

// The sub-key path with doubled, leading and trailing separators dropped.
std::wstring cleanPath(std::string_view path) {
  std::string out;
  std::string part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!out.empty()) out += '\\';
    out += part;
    part.clear();
  };
  for (char c : path) {
    if (c == '\\')
      flush();
    else
      part += c;
  }
  flush();
  return text::widen(out);
}

bool isStringType(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// CP949 bytes to the UTF-16 bytes the registry keeps, and back.
std::vector<std::uint8_t> toStored(const std::uint8_t* data, std::uint32_t size) {
  const std::wstring wide = text::widen(text::fromAnsi(std::string_view(reinterpret_cast<const char*>(data), size)));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(wide.data());
  return {bytes, bytes + wide.size() * sizeof(wchar_t)};
}

std::vector<std::uint8_t> fromStored(const std::vector<std::uint8_t>& stored) {
  std::wstring wide(stored.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
  return text::toAnsi(text::narrow(wide));
}

long openOrCreate(HKEY parent, std::string_view subKey, HKEY* result, bool create) {
  if (!result) return ERROR_INVALID_PARAMETER;
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault(create ? "create" : "open")) return f;
  w32::Handle base = nullptr;
  if (long rc = resolve(s, parent, &base)) return rc;
  const std::wstring path = cleanPath(subKey);
  w32::Handle h = nullptr;
  if (long rc = create ? w32::createKey(base, path, &h) : w32::openKey(base, path, &h)) return rc;
  const HKEY handle = s.nextHandle++;
  s.handles.emplace(handle, h);
  *result = handle;
  return ERROR_SUCCESS;
}

}  // namespace

long RegOpenKeyA(HKEY root, std::string_view subKey, HKEY* result) {
  return openOrCreate(root, subKey, result, false);
}

long RegOpenKeyExA(HKEY root, std::string_view subKey, std::uint32_t, std::uint32_t, HKEY* result) {
  return openOrCreate(root, subKey, result, false);
}

long RegCreateKeyA(HKEY root, std::string_view subKey, HKEY* result) {
  return openOrCreate(root, subKey, result, true);
}

long RegQueryValueExA(HKEY key, std::string_view valueName, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataSize) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("query")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  std::uint32_t foundType = 0;
  std::vector<std::uint8_t> found;
  if (long rc = w32::queryValue(h, text::widen(valueName), &foundType, &found)) return rc;
  if (isStringType(foundType)) found = fromStored(found);
  return handOverValue(found, foundType, type, data, dataSize);
}

long RegSetValueExA(HKEY key, std::string_view valueName, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t dataSize) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("set")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  if (isStringType(type)) {
    const std::vector<std::uint8_t> stored = toStored(data, dataSize);
    return w32::setValue(h, text::widen(valueName), type, stored.data(), static_cast<std::uint32_t>(stored.size()));
  }
  return w32::setValue(h, text::widen(valueName), type, data, dataSize);
}

long RegDeleteValueA(HKEY key, std::string_view valueName) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("delete")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  return w32::deleteValue(h, text::widen(valueName));
}

long RegDeleteKeyA(HKEY root, std::string_view subKey) {
  const std::wstring path = cleanPath(subKey);
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  State& s = state();
  std::lock_guard lock(s.mutex);
  w32::Handle base = nullptr;
  if (long rc = resolve(s, root, &base)) return rc;
  w32::Handle h = nullptr;
  if (long rc = w32::openKey(base, path, &h)) return rc;
  std::uint32_t children = 0;
  const long counted = w32::subKeyCount(h, &children);
  w32::closeKey(h);
  if (long f = takeInjectedFault("delete")) return f;
  if (counted != ERROR_SUCCESS) return counted;
  if (children) return ERROR_ACCESS_DENIED;  // as the store answers a key that has sub-keys
  return w32::deleteKey(base, path);
}

long RegEnumKeys(HKEY key, std::vector<std::string>* names) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("query")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  std::vector<std::wstring> wide;
  if (long rc = w32::enumKeys(h, &wide)) return rc;
  names->clear();
  for (const auto& n : wide) names->push_back(text::narrow(n));
  return ERROR_SUCCESS;
}

long RegEnumValues(HKEY key, std::vector<ValueEntry>* values) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("query")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  std::vector<w32::RawValue> raw;
  if (long rc = w32::enumValues(h, &raw)) return rc;
  values->clear();
  for (auto& v : raw)
    values->push_back({text::narrow(v.name), v.type, isStringType(v.type) ? fromStored(v.data) : std::move(v.data)});
  return ERROR_SUCCESS;
}

long RegFlushKey(HKEY key) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (long f = takeInjectedFault("flush")) return f;
  w32::Handle h = nullptr;
  if (long rc = resolve(s, key, &h)) return rc;
  return w32::flushKey(h);
}

long RegCloseKey(HKEY key) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (isRoot(key)) return ERROR_SUCCESS;
  auto it = s.handles.find(key);
  if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
  w32::closeKey(it->second);
  s.handles.erase(it);
  return ERROR_SUCCESS;
}

std::string defaultStorePath() { return ""; }

std::string storePath() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return storeName(s);
}

void useStore(std::string path) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  closeAll(s);
  s.explicitStore = std::move(path);
}

void removeStore(std::string_view name) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (name.empty()) return;
  w32::deleteTree(w32::predefined(HKEY_CURRENT_USER),
                  L"Software\\Veltrano\\Stores\\" + storeKeyName(std::string(name)));
}

}  // namespace veltrano::reg
