#pragma once
// REGISTRY: reads or writes one REG_SZ value of the registry. Set HKEY, KeyPath, KeyName and
// KeyValue, then call GetRegistry or SetRegistry. The key opened is KeyPath + "\" + KeyName.
// Raises veltrano::RuntimeError 13 when HKEY was never set and 6 when the text is longer than
// 32,767 bytes in CP949; registry failures raise nothing (a missing value reads as "").

#include <cstdint>
#include <string>

#include "lumadata/export.h"

namespace lumadata {

// windows.h makes the root names macros: the enumerators are defined with those set aside. A
// program that has included windows.h passes its own HKEY_* values (see HKEY below).
#pragma push_macro("HKEY_CLASSES_ROOT")
#pragma push_macro("HKEY_CURRENT_USER")
#pragma push_macro("HKEY_LOCAL_MACHINE")
#pragma push_macro("HKEY_USERS")
#pragma push_macro("HKEY_PERFORMANCE_DATA")
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef HKEY_PERFORMANCE_DATA
enum enmHKEY : unsigned int {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
  HKEY_USERS = 0x80000003u,
  HKEY_PERFORMANCE_DATA = 0x80000004u,
};
#pragma pop_macro("HKEY_CLASSES_ROOT")
#pragma pop_macro("HKEY_CURRENT_USER")
#pragma pop_macro("HKEY_LOCAL_MACHINE")
#pragma pop_macro("HKEY_USERS")
#pragma pop_macro("HKEY_PERFORMANCE_DATA")

class LUMADATA_API REGISTRY {
 public:
  void HKEY(enmHKEY sHkey);
  // The roots as windows.h names them (HKEY handles that hold the root's number).
  template <class Root>
  void HKEY(Root* sHkey) {
    HKEY(static_cast<enmHKEY>(reinterpret_cast<std::uintptr_t>(sHkey)));
  }
  void KeyPath(const std::string& sKeyPath) { keyPath_ = sKeyPath; }
  void KeyName(const std::string& sKeyName) { keyName_ = sKeyName; }
  void KeyValue(const std::string& sKeyValue) { keyValue_ = sKeyValue; }
  std::string GetRegistry();
  void SetRegistry(const std::string& sSaveKeyValueData);

 private:
  std::string root_, keyPath_, keyName_, keyValue_;
};

}  // namespace lumadata
