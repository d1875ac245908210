#pragma once
// The verbs of the registry editor, with the options and the output of the Windows `reg`
// command: QUERY, ADD, DELETE, EXPORT, IMPORT over the registry store in force.
//
// Results go to `out`, "ERROR: ..." lines to `err`; overwrite and delete questions are asked on
// `out` and answered from `in` (the end of the input answers No). The exit code is 0 on success
// and 1 on bad input, a missing key or value, a store failure or a question answered No.

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrano::regtool {

struct Console {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
};

// Runs one command line (the arguments after the program name).
int runCommand(const std::vector<std::string>& args, Console& io);

}  // namespace veltrano::regtool
