#pragma once
// cls_SysREg: the updater's registry access object. Set hKey, KeyPath, KeyName and KeyValue,
// then call GetRegistry or SetRegistry. Opens keys with full access; GetRegistry drops one
// "\" at the end of KeyPath first (and keeps the shortened path).

#include <cstdint>
#include <string>

#include "common/registry_access.h"

namespace meridox {

class cls_SysREg {
 public:
  void hKey(std::int32_t sHkey) { veltrano::common::setRoot(fields_, sHkey); }
  void hKey(std::uint32_t sHkey) { hKey(static_cast<std::int32_t>(sHkey)); }
  void KeyPath(const std::string& sKeyPath) { fields_.keyPath = sKeyPath; }
  void KeyName(const std::string& sKeyName) { fields_.keyName = sKeyName; }
  void KeyValue(const std::string& sKeyValue) { fields_.keyValue = sKeyValue; }

  std::string GetRegistry();
  void SetRegistry(const std::string& sSaveKeyValueData);

 private:
  veltrano::common::RegistryFields fields_;
};

}  // namespace meridox
