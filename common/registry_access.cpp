#include "common/registry_access.h"

#include <vector>

#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano::common {
namespace {

// Logs the error once and raises it again with the same number, source and description.
template <typename F>
auto logAndRethrow(std::string_view source, F body) -> decltype(body()) {
  try {
    return body();
  } catch (const RuntimeError& e) {
    const std::string src = e.source().empty() ? std::string(source) : e.source();
    eventlog::write(source, std::to_string(e.number()) + src + e.description());
    throw RuntimeError(e.number(), src, e.description());
  }
}

reg::HKEY rootOf(const RegistryFields& f) {
  // CLng of the stored text: empty text is a type mismatch.
  return static_cast<reg::HKEY>(text::CLng(std::string_view(f.root)));
}

std::string subKeyOf(const RegistryFields& f) { return f.keyPath + "\\" + f.keyName; }

}  // namespace

void setRoot(RegistryFields& f, std::int32_t hkey) { f.root = std::to_string(hkey); }

std::int16_t ansiByteLen(std::string_view textValue, std::string_view source) {
  return logAndRethrow(source, [&] {
    const std::size_t n = text::ansiByteLength(textValue);
    if (n > 32767) throw RuntimeError(err::kOverflow, std::string(source));
    return static_cast<std::int16_t>(n);
  });
}

std::string getRegistry(RegistryFields& f, RegistryFlavour flavour, std::string_view source) {
  return logAndRethrow(source, [&]() -> std::string {
    if (flavour == RegistryFlavour::Updater && !f.keyPath.empty() && f.keyPath.back() == '\\')
      f.keyPath.pop_back();
    const reg::HKEY root = rootOf(f);
    reg::HKEY key = 0;
    // The result of the open is not tested: a failed open leaves key 0 and the query fails.
    if (flavour == RegistryFlavour::Updater)
      reg::RegOpenKeyExA(root, subKeyOf(f), 0, reg::KEY_ALL_ACCESS, &key);
    else
      reg::RegOpenKeyA(root, subKeyOf(f), &key);
    std::string result;
    std::uint32_t type = 0, size = 0;
    if (reg::RegQueryValueExA(key, f.keyValue, &type, nullptr, &size) == reg::ERROR_SUCCESS &&
        type == reg::REG_SZ) {
      std::vector<std::uint8_t> buffer(size, ' ');
      if (reg::RegQueryValueExA(key, f.keyValue, &type, buffer.data(), &size) == reg::ERROR_SUCCESS) {
        std::size_t end = 0;
        while (end < size && buffer[end] != 0) ++end;
        result = text::fromAnsi(std::span<const std::uint8_t>(buffer.data(), end));
      }
    }
    reg::RegCloseKey(key);
    return result;
  });
}

void setRegistry(const RegistryFields& f, std::string_view data, RegistryFlavour, std::string_view source) {
  logAndRethrow(source, [&] {
    const reg::HKEY root = rootOf(f);
    reg::HKEY key = 0;
    reg::RegCreateKeyA(root, subKeyOf(f), &key);
    const std::int16_t length = ansiByteLen(data, source);
    const text::Bytes bytes = text::toAnsi(data);
    reg::RegSetValueExA(key, f.keyValue, reg::REG_SZ, bytes.data(), static_cast<std::uint32_t>(length));
    reg::RegFlushKey(key);
    reg::RegCloseKey(key);
  });
}

}  // namespace veltrano::common
