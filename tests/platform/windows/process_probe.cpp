// A program for the process tests: writes its arguments (after the first), one per line, to
// the file named by the first, then sleeps until it is ended.
#include <windows.h>

#include <fstream>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  {
    std::ofstream out(argv[1], std::ios::binary);
    for (int i = 2; i < argc; ++i) out << argv[i] << '\n';
  }
  Sleep(30000);
  return 0;
}
