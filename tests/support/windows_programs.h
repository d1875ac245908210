#pragma once
// Windows tests that start another program and wait for it.

#include <filesystem>
#include <string>

namespace veltrano::test {

// A file in the folder of the running test program.
std::filesystem::path besideThisProgram(const std::wstring& name);

// Starts `commandLine` and returns its exit code; -2 when it could not start, and -1 when it
// did not end within `timeoutMs` (it is then ended).
long runAndWait(std::wstring commandLine, unsigned timeoutMs = 60000);

}  // namespace veltrano::test
