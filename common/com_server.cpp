#include "common/com_server.h"

#include "platform/registry/registry.h"
#include "platform/text/ansi.h"

namespace veltrano::common {
namespace {

long hresult(long win32) { return win32 == 0 ? 0 : static_cast<long>(0x80070000L | (win32 & 0xFFFF)); }

long setDefault(const std::string& subKey, const std::string& valueName, const std::string& value) {
  reg::HKEY key = 0;
  if (long rc = reg::RegCreateKeyA(reg::HKEY_CLASSES_ROOT, subKey, &key)) return rc;
  std::string bytes = text::toAnsiString(value);
  bytes.push_back('\0');
  long rc = reg::RegSetValueExA(key, valueName, reg::REG_SZ, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size()));
  reg::RegCloseKey(key);
  return rc;
}

void deleteTree(const std::string& subKey) {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyA(reg::HKEY_CLASSES_ROOT, subKey, &key)) return;
  std::vector<std::string> children;
  reg::RegEnumKeys(key, &children);
  reg::RegCloseKey(key);
  for (const auto& c : children) deleteTree(subKey + "\\" + c);
  reg::RegDeleteKeyA(reg::HKEY_CLASSES_ROOT, subKey);
}

}  // namespace

long registerComServer(const std::string& library, const std::vector<ComClass>& classes,
                       const std::string& libraryFile) {
  for (const auto& c : classes) {
    const std::string progId = library + "." + c.name;
    const std::string clsidKey = "CLSID\\" + c.clsid;
    for (long rc : {setDefault(progId, "", progId), setDefault(progId + "\\CLSID", "", c.clsid),
                    setDefault(clsidKey, "", progId), setDefault(clsidKey + "\\ProgID", "", progId),
                    setDefault(clsidKey + "\\InprocServer32", "", libraryFile),
                    setDefault(clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment")})
      if (rc) return hresult(rc);
  }
  return 0;
}

long unregisterComServer(const std::string& library, const std::vector<ComClass>& classes) {
  for (const auto& c : classes) {
    deleteTree(library + "." + c.name);
    deleteTree("CLSID\\" + c.clsid);
  }
  return 0;
}

}  // namespace veltrano::common
