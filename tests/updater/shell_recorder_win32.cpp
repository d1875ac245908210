// A program for the shell tests on Windows: appends its arguments after the first, as one line
// separated by "|", to the file named by the first, then ends.
#include <fstream>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ofstream out(argv[1], std::ios::binary | std::ios::app);
  for (int i = 2; i < argc; ++i) out << (i > 2 ? "|" : "") << argv[i];
  out << '\n';
  return 0;
}
