#pragma once
// Registration of a library's COM classes in the registry store (what regsvr32 asks of an
// in-process server): for each class, HKCR\<Library>.<Class>\CLSID = {guid} and
// HKCR\CLSID\{guid}\InprocServer32 = the library file, with the ProgID beside it.

#include <string>
#include <vector>

// Declares an entry point that the registrar finds in the library by name (DllRegisterServer,
// DllUnregisterServer): unmangled and exported.
#if defined(_WIN32)
#define VELTRANO_DLL_ENTRY extern "C" __declspec(dllexport)
#else
#define VELTRANO_DLL_ENTRY extern "C" __attribute__((visibility("default")))
#endif

namespace veltrano::common {

struct ComClass {
  std::string name;   // class name, e.g. "VBF"
  std::string clsid;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
};

// Returns S_OK (0) or a failure HRESULT (0x80070000 | Win32 code).
long registerComServer(const std::string& library, const std::vector<ComClass>& classes,
                       const std::string& libraryFile);
long unregisterComServer(const std::string& library, const std::vector<ComClass>& classes);

// The file of the shared object that holds `address`.
std::string moduleFileOf(const void* address);

}  // namespace veltrano::common
