#pragma once
// REGISTRY: reads or writes one REG_SZ value of the registry. Set HKEY, KeyPath, KeyName and
// KeyValue, then call GetRegistry or SetRegistry. The key opened is KeyPath + "\" + KeyName.
// Raises veltrano::RuntimeError 13 when HKEY was never set and 6 when the text is longer than
// 32,767 bytes in CP949; registry failures raise nothing (a missing value reads as "").

#include <string>

#include "lumadata/export.h"

namespace lumadata {

enum enmHKEY : unsigned int {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
  HKEY_USERS = 0x80000003u,
  HKEY_PERFORMANCE_DATA = 0x80000004u,
};

class LUMADATA_API REGISTRY {
 public:
  void HKEY(enmHKEY sHkey);
  void KeyPath(const std::string& sKeyPath) { keyPath_ = sKeyPath; }
  void KeyName(const std::string& sKeyName) { keyName_ = sKeyName; }
  void KeyValue(const std::string& sKeyValue) { keyValue_ = sKeyValue; }
  std::string GetRegistry();
  void SetRegistry(const std::string& sSaveKeyValueData);

 private:
  std::string root_, keyPath_, keyName_, keyValue_;
};

}  // namespace lumadata
