// A program the Windows tests start under names of their choosing (the counterpart of the
// shell scripts and copies of /bin/sleep the Linux tests use):
//   --sleep SECONDS  waits that long, a process for the tests of ending programs by name;
//   anything else    appends "<its own file name> <its arguments joined by blanks>" as one
//                    UTF-8 line to the file named by VELTRANO_TEST_RECORD, and ends.
// Arguments come from the wide command line, so text outside the ANSI code page is kept.
#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  if (argc == 3 && std::wstring(argv[1]) == L"--sleep") {
    Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
    return 0;
  }
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  // As the Linux tests' script writes it: the name, a blank, the arguments separated by blanks.
  std::string line = utf8(std::filesystem::path(self).filename().wstring()) + " ";
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + utf8(argv[i]);
  LocalFree(argv);

  wchar_t record[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableW(L"VELTRANO_TEST_RECORD", record, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return 2;
  std::ofstream out(std::filesystem::path(std::wstring(record, n)), std::ios::binary | std::ios::app);
  out << line << '\n';
  return out ? 0 : 1;
}
