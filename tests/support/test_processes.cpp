// The helpers of test_support.h that start and watch processes (Linux: /proc, popen).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/process/process.h"
#include "support/test_support.h"

namespace veltrano::test {

CommandResult run(const std::string& command) {
  CommandResult r{-1, {}};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string recordingProgram() {
  return "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> \"$VELTRANO_TEST_RECORD\"\n";
}

void endProcess(int pid) { kill(pid, SIGKILL); }

bool processRunning(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool waitUntilGone(int pid) {
  for (int i = 0; i < 200 && processRunning(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !processRunning(pid);
}

int startNamedProcess(const TempDir& dir, const std::string& name) {
  const auto exe = dir / name;
  if (!std::filesystem::exists(exe)) {
    std::filesystem::copy_file("/bin/sleep", exe);
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
  }
  const int pid = proc::startDetached(exe.string(), {"30"});
  for (int i = 0; i < 200; ++i) {  // until the process runs the copied executable
    for (const auto& e : proc::snapshot())
      if (e.pid == pid && e.exeFile == name) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pid;
}

}  // namespace veltrano::test
