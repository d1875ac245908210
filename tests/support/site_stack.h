#pragma once
// server/deploy/run-stack as a child process of a test: nginx on a loopback port picked here,
// in front of veltrano-server instances on a data folder of the test's, on SQLite or MariaDB.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace veltrano::test {

class SiteStack {
 public:
  struct Options {
    std::filesystem::path data;  // an existing data folder (files/, and db/ on SQLite)
    int instances = 2;
    bool sqlite = true;
    std::string server;  // the program of the instances; "" for the one built
  };
  // Starts the script and waits (at most 60 s) until it says that nginx answers. A port taken
  // meanwhile by another process is tried again with another.
  explicit SiteStack(Options options);
  // Stops the stack (SIGTERM) if it still runs.
  ~SiteStack();
  SiteStack(const SiteStack&) = delete;
  SiteStack& operator=(const SiteStack&) = delete;

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  pid_t pid() const { return pid_; }
  // What the script wrote (standard output and error together) so far.
  std::string output() const;
  // Every process below the script right now (nginx and its workers, the instances, MariaDB).
  std::vector<pid_t> descendants() const;
  // Sends `signal` (0: none, only waits) and waits for the script's end (at most 60 s, then
  // SIGKILL); its exit status, or -1 when it had to be killed.
  int stop(int signal);

 private:
  bool startOnce(const Options& options);

  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = -1;
};

}  // namespace veltrano::test
