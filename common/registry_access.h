#pragma once
// The registry access class: reads or writes one REG_SZ value named by root key, key path,
// key name and value name. Built into each deliverable: the updater's cls_SysREg (full
// access, a final separator of the key path dropped before reading) and the libraries'
// REGISTRY (default access, the path passed as given) are thin classes over these functions.
//
// Errors: a root key that was never set raises 13 (type mismatch); a text whose CP949 form
// exceeds 32,767 bytes raises 6 (overflow) from AnsiByteLen. Each operation writes one entry
// to the application event log ("number" + "source" + "description", no separator) and raises
// the same error again. Registry failures themselves raise nothing: a missing key or value
// reads as empty text, a failed write is silent.

#include <cstdint>
#include <string>
#include <string_view>

namespace veltrano::common {

enum class RegistryFlavour {
  Updater,  // RegOpenKeyEx with full access; "\" at the end of the key path dropped on read
  Library,  // RegOpenKey with default access; the key path used as given
};

// The four fields of one object. The root key is kept as its decimal text, as the class
// stores it, and turned back into a handle value at each call.
struct RegistryFields {
  std::string root;
  std::string keyPath;
  std::string keyName;
  std::string keyValue;
};

// The root-key property: stores the handle value as decimal text.
void setRoot(RegistryFields& f, std::int32_t hkey);

// GetRegistry. May shorten f.keyPath (updater flavour).
std::string getRegistry(RegistryFields& f, RegistryFlavour flavour, std::string_view source);
// SetRegistry.
void setRegistry(const RegistryFields& f, std::string_view data, RegistryFlavour flavour, std::string_view source);
// Byte length of the text in CP949 as a signed 16-bit number.
std::int16_t ansiByteLen(std::string_view text, std::string_view source);

}  // namespace veltrano::common
