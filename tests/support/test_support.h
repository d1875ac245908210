#pragma once
// Helpers shared by the test suites: temporary folders, a private registry store per test,
// paths of the programs built by the project.

#include <filesystem>
#include <string>

namespace veltrano::test {

// A fresh folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Points this process (and, through VELTRANO_REGISTRY, the children it starts) at a registry
// store of its own in a temporary folder; restores the previous store afterwards.
class ScopedRegistry {
 public:
  ScopedRegistry();
  ~ScopedRegistry();
  const std::filesystem::path& file() const { return file_; }

 private:
  TempDir dir_;
  std::filesystem::path file_;
  std::string previousEnv_;
  bool hadEnv_ = false;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_, previous_;
  bool had_ = false;
};

// Processes for the tests of ending programs by name: a program sleeping 30 s started under
// the file name `name` in `dir` (a copy of /bin/sleep on Linux, of the test program on
// Windows), returned once it runs under that name.
int startNamedProcess(const TempDir& dir, const std::string& name);
// Alive and not a zombie.
bool processRunning(int pid);
// Waits up to 2 s for the process to end; true when it has.
bool waitUntilGone(int pid);
// Ends a process the test started, at once.
void endProcess(int pid);

// The content of a program file that, written under any name and started, appends one line
// "<its own file name> <its arguments joined by blanks>" to the file named by the environment
// variable VELTRANO_TEST_RECORD and ends (a shell script on Linux, the test program on Windows).
std::string recordingProgram();

// A program built by the project, by its path below the build folder ("tools/reg/reg").
std::filesystem::path builtProgram(const std::string& relativePath);

// Runs a shell command, returning its exit code and what it wrote to standard output.
struct CommandResult {
  int exitCode;
  std::string out;
};
CommandResult run(const std::string& command);

// Reads a whole file.
std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& content);
// The file once it holds at least `lines` lines (a record another process appends to), or what
// it holds after 10 seconds ("" when it was never made).
std::string waitForLines(const std::filesystem::path& record, std::size_t lines);

}  // namespace veltrano::test
