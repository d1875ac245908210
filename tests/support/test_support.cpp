#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/registry/registry.h"

namespace veltrano::test {
namespace {

void setEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

void unsetEnv(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
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
  if (const char* env = std::getenv("VELTRANO_REGISTRY")) {
    hadEnv_ = true;
    previousEnv_ = env;
  }
  setEnv("VELTRANO_REGISTRY", file_.string().c_str());
  reg::useStore(file_.string());
}

ScopedRegistry::~ScopedRegistry() {
  if (hadEnv_) setEnv("VELTRANO_REGISTRY", previousEnv_.c_str());
  else unsetEnv("VELTRANO_REGISTRY");
  reg::clearFaults();
  reg::useStore("");
  reg::removeStore(file_.string());
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* v = std::getenv(name_.c_str())) {
    had_ = true;
    previous_ = v;
  }
  setEnv(name_.c_str(), value.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (had_) setEnv(name_.c_str(), previous_.c_str());
  else unsetEnv(name_.c_str());
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

}  // namespace veltrano::test
