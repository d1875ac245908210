#pragma once
// The reference server (server/veltrano-server) that the data library's tests talk to, on
// 127.0.0.1 over its sample data set.
//
// On Linux it is a child process on port 0 in a temporary folder. The port comes from the first
// line of its output ("listening on HOST:PORT"), read within 10 seconds; the process is ended
// with SIGTERM (then SIGKILL after 10 seconds) when the object goes.
//
// Under Wine the server is a Linux program, which a Windows program cannot start and end (Wine
// runs it, but hands back no process to wait on or stop). The test's wrapper,
// with_reference_servers.sh, starts a fresh writable and a fresh read-only server for each test
// program it runs and names them in VELTRANO_TEST_DATA_SERVICE(_READONLY); the object picks
// the one its arguments ask for. Cases of one program run share them.

#include <string>
#include <vector>

#ifdef _WIN32
#include <algorithm>
#include <cstdlib>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/test_support.h"

extern char** environ;
#endif

namespace datalib_test {

#ifdef _WIN32

class ReferenceServer {
 public:
  // `extra`: "--writable" for the server that runs modifying statements.
  explicit ReferenceServer(std::vector<std::string> extra = {}) {
    const bool writable = std::find(extra.begin(), extra.end(), "--writable") != extra.end();
    const char* name = writable ? "VELTRANO_TEST_DATA_SERVICE" : "VELTRANO_TEST_DATA_SERVICE_READONLY";
    const char* host = std::getenv(name);
    if (host != nullptr && *host != '\0') hostPort_ = host;
    else problem_ = std::string(name) + " is not set: run the program through with_reference_servers.sh";
  }
  bool started() const { return !hostPort_.empty(); }
  const std::string& problem() const { return problem_; }
  std::string hostPort() const { return hostPort_; }

 private:
  std::string hostPort_;
  std::string problem_;
};

#else

class ReferenceServer {
 public:
  // Makes the sample data (server/make-sample-data) and starts the server on it; `extra`
  // arguments are added to the command line ("--writable").
  explicit ReferenceServer(std::vector<std::string> extra = {}) {
    const std::string data = (dir_.path() / "data").string();
    const auto made = veltrano::test::run("'" + veltrano::test::builtProgram("server/make-sample-data").string() + "' '" +
                                          data + "' 127.0.0.1:1 2>&1");
    if (made.exitCode != 0) {
      problem_ = "make-sample-data: " + made.out;
      return;
    }
    const std::string program = veltrano::test::builtProgram("server/veltrano-server").string();
    std::vector<std::string> args = {program, "--listen", "127.0.0.1:0", "--data", data};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
    if (rc != 0) {
      pid_ = -1;
      problem_ = "cannot start " + program;
      return;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    line = line.substr(0, line.find('\n'));
    const auto colon = line.rfind(':');
    if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos) port_ = std::stoi(line.substr(colon + 1));
    else problem_ = "first line: " + line;
  }
  ~ReferenceServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (out_ >= 0) close(out_);
  }
  ReferenceServer(const ReferenceServer&) = delete;
  ReferenceServer& operator=(const ReferenceServer&) = delete;

  bool started() const { return port_ > 0; }
  const std::string& problem() const { return problem_; }
  std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  veltrano::test::TempDir dir_;
  pid_t pid_ = -1;
  int out_ = -1;
  int port_ = 0;
  std::string problem_;
};

#endif

}  // namespace datalib_test
