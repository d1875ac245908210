// A program for the shell tests on Windows: appends its arguments after the first, as one line
// separated by "|", to the file named by the first, then ends. The arguments are read from the
// wide command line and written as UTF-8, so that text outside the ANSI code page shows whether
// the program that started this one passed it intact.
#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;
  std::ofstream out(std::filesystem::path(argv[1]), std::ios::binary | std::ios::app);
  for (int i = 2; i < argc; ++i) out << (i > 2 ? "|" : "") << utf8(argv[i]);
  out << '\n';
  LocalFree(argv);
  return out ? 0 : 1;
}
