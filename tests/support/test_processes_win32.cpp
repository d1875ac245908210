// The helpers of test_support.h that start and watch processes (Windows: the test program
// beside the test programs, process handles).
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/process/process.h"
#include "support/test_support.h"
#include "support/windows_programs.h"

namespace veltrano::test {

std::string recordingProgram() { return readFile(besideThisProgram(L"test_program.exe")); }

bool processRunning(int pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return false;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

bool waitUntilGone(int pid) {
  for (int i = 0; i < 200 && processRunning(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !processRunning(pid);
}

void endProcess(int pid) {
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
}

int startNamedProcess(const TempDir& dir, const std::string& name) {
  const auto exe = dir / name;
  if (!std::filesystem::exists(exe)) std::filesystem::copy_file(besideThisProgram(L"test_program.exe"), exe);
  const int pid = proc::startDetached(exe.string(), {"--sleep", "30"});
  for (int i = 0; i < 200; ++i) {  // until the process shows under its name
    for (const auto& e : proc::snapshot())
      if (e.pid == pid && e.exeFile == name) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pid;
}

}  // namespace veltrano::test
