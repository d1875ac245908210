// The libraries as in-process servers: Windows's registrar (regsvr32, Wine's under Wine) loads
// each DLL and calls its DllRegisterServer / DllUnregisterServer, which write and remove its
// classes in the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/wide.h"
#include "support/windows_programs.h"

namespace {

namespace fs = std::filesystem;
namespace text = veltrano::text;

// Runs regsvr32 with `arguments` and returns its exit code (-1 when it did not end within 60 s).
long regsvr32(const std::wstring& arguments) { return veltrano::test::runAndWait(L"regsvr32.exe " + arguments); }

std::optional<std::wstring> classesValue(const std::wstring& key) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

struct Library {
  std::wstring file, name;
  std::vector<std::pair<std::wstring, std::wstring>> classes;  // class name, CLSID
};

void registersAndUnregisters(const Library& lib) {
  const fs::path dll = veltrano::test::besideThisProgram(lib.file);
  ASSERT_TRUE(fs::exists(dll)) << dll.string();
  ASSERT_EQ(regsvr32(L"/s \"" + dll.wstring() + L"\""), 0);
  for (const auto& [name, clsid] : lib.classes) {
    const std::wstring progId = lib.name + L"." + name;
    EXPECT_EQ(classesValue(progId + L"\\CLSID"), clsid) << text::narrow(progId);
    const auto server = classesValue(L"CLSID\\" + clsid + L"\\InprocServer32");
    ASSERT_TRUE(server) << text::narrow(progId);
    EXPECT_TRUE(fs::equivalent(fs::path(*server), dll)) << text::narrow(*server);
    EXPECT_EQ(classesValue(L"CLSID\\" + clsid + L"\\ProgID"), progId);
  }
  ASSERT_EQ(regsvr32(L"/u /s \"" + dll.wstring() + L"\""), 0);
  for (const auto& [name, clsid] : lib.classes) {
    EXPECT_FALSE(classesValue(lib.name + L"." + name + L"\\CLSID"));
    EXPECT_FALSE(classesValue(L"CLSID\\" + clsid + L"\\InprocServer32"));
  }
}

TEST(Win32ComRegistration, LumadataWritesItsClassesAndRemovesThem) {
  registersAndUnregisters({L"lumadata.dll", L"Lumadata",
                           {{L"VBF", L"{8C2E4D21-5F3B-4D9C-AE12-2B3C4D5E6F01}"},
                            {L"REGISTRY", L"{8C2E4D21-5F3B-4D9C-AE12-2B3C4D5E6F02}"}}});
}

TEST(Win32ComRegistration, LumagridWritesItsClassesAndRemovesThem) {
  registersAndUnregisters({L"lumagrid.dll", L"Lumagrid",
                           {{L"VBF", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E01}"},
                            {L"TOOLTIP", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E02}"},
                            {L"SPREAD", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E03}"},
                            {L"SPREADSETUP", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E04}"},
                            {L"cls_Excel", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E05}"},
                            {L"REGISTRY", L"{6B1F3C10-4E2A-4C8B-9D01-1A2B3C4D5E06}"}}});
}

}  // namespace
