#include "support/test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/registry/registry.h"
#include "platform/runtime/environment.h"
#ifdef _WIN32
#include "platform/text/wide.h"
#endif

namespace veltrano::test {
namespace {

// UTF-8 names and values; on Windows set through the wide environment, which the programs
// started by the test inherit and environmentVariable() reads.
void setEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _wputenv_s(text::widen(name).c_str(), text::widen(value).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unsetEnv(const std::string& name) {
#ifdef _WIN32
  _wputenv_s(text::widen(name).c_str(), L"");
#else
  unsetenv(name.c_str());
#endif
}

}  // namespace

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int i = 0; i < 100; ++i) {
    auto candidate = base / ("veltrano-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
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
  if (auto env = environmentVariable("VELTRANO_REGISTRY")) {
    hadEnv_ = true;
    previousEnv_ = *env;
  }
  setEnv("VELTRANO_REGISTRY", file_.string());
  reg::useStore(file_.string());
}

ScopedRegistry::~ScopedRegistry() {
  if (hadEnv_) setEnv("VELTRANO_REGISTRY", previousEnv_);
  else unsetEnv("VELTRANO_REGISTRY");
  reg::clearFaults();
  reg::useStore("");
  reg::removeStore(file_.string());
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (auto v = environmentVariable(name_)) {
    had_ = true;
    previous_ = *v;
  }
  setEnv(name_, value);
}

ScopedEnv::~ScopedEnv() {
  if (had_) setEnv(name_, previous_);
  else unsetEnv(name_);
}

std::filesystem::path builtProgram(const std::string& relativePath) {
  return std::filesystem::path(VELTRANO_BUILD_DIR) / relativePath;
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

std::string waitForLines(const std::filesystem::path& record, std::size_t lines) {
  for (int i = 0; i < 1000; ++i) {
    if (std::filesystem::exists(record)) {
      const std::string s = readFile(record);
      if (static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')) >= lines) return s;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::filesystem::exists(record) ? readFile(record) : std::string();
}

}  // namespace veltrano::test
