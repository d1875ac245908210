#pragma once
// The reference server (server/veltrano-server) as a child process on 127.0.0.1, port 0, over
// its sample data set in a temporary folder. The port comes from the first line of its output
// ("listening on HOST:PORT"), read within 10 seconds; the process is ended with SIGTERM (then
// SIGKILL after 10 seconds) when the object goes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace datalib_test {

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

}  // namespace datalib_test
