#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/process/process.h"
#include "platform/registry/registry.h"

namespace veltrano::test {

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int i = 0; i < 100; ++i) {
    auto candidate = base / ("veltrano-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedRegistry::ScopedRegistry() : file_(dir_.path() / "registry.db") {
  if (const char* env = std::getenv("VELTRANO_REGISTRY")) {
    hadEnv_ = true;
    previousEnv_ = env;
  }
  setenv("VELTRANO_REGISTRY", file_.c_str(), 1);
  reg::useStore(file_.string());
}

ScopedRegistry::~ScopedRegistry() {
  if (hadEnv_) setenv("VELTRANO_REGISTRY", previousEnv_.c_str(), 1);
  else unsetenv("VELTRANO_REGISTRY");
  reg::clearFaults();
  reg::useStore("");
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* v = std::getenv(name_.c_str())) {
    had_ = true;
    previous_ = v;
  }
  setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) setenv(name_.c_str(), previous_.c_str(), 1);
  else unsetenv(name_.c_str());
}

std::filesystem::path builtProgram(const std::string& relativePath) {
  return std::filesystem::path(VELTRANO_BUILD_DIR) / relativePath;
}

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

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary);
  out << content;
}

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
