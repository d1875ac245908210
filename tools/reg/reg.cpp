// reg: the command-line registry editor over the registry store (VELTRANO_REGISTRY), with the
// verbs, options and output of the Windows `reg` command.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/reg/reg_commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  veltrano::regtool::Console io{std::cout, std::cerr, std::cin};
  try {
    const int rc = veltrano::regtool::runCommand(args, io);
    std::cout.flush();
    return std::cout ? rc : 1;
  } catch (const std::exception& e) {
    std::cerr << "ERROR: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "ERROR: The operation failed.\n";
  }
  return 1;
}
