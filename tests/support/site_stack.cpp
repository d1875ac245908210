#include "support/site_stack.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace veltrano::test {

namespace {

// A loopback port free at this moment.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

void childrenOf(pid_t pid, std::vector<pid_t>& out) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  for (pid_t child; in >> child;) {
    out.push_back(child);
    childrenOf(child, out);
  }
}

}  // namespace

SiteStack::SiteStack(Options options) {
  for (int attempt = 0; attempt < 3 && !startOnce(options); ++attempt) {
    // Only a port taken meanwhile is worth another try.
    if (output().find("Address already in use") == std::string::npos) break;
  }
}

SiteStack::~SiteStack() {
  if (pid_ > 0) stop(SIGTERM);
}

bool SiteStack::startOnce(const Options& options) {
  const int port = freePort();
  const std::string script = builtProgram("server/deploy/run-stack").string();
  std::vector<std::string> args = {"/bin/bash", script, "--port", std::to_string(port), "--instances",
                                   std::to_string(options.instances), "--data", options.data.string()};
  if (options.sqlite) args.emplace_back("--sqlite");
  if (!options.server.empty()) args.insert(args.end(), {"--server", options.server});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = (dir_.path() / "output").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (output().find("stack listening on 127.0.0.1:" + std::to_string(port) + "\n") != std::string::npos) {
      port_ = port;
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // it gave up
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  stop(SIGTERM);
  return false;
}

std::string SiteStack::output() const {
  std::error_code ec;
  return std::filesystem::exists(dir_.path() / "output", ec) ? readFile(dir_.path() / "output") : std::string();
}

std::vector<pid_t> SiteStack::descendants() const {
  std::vector<pid_t> out;
  if (pid_ > 0) childrenOf(pid_, out);
  return out;
}

int SiteStack::stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  port_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace veltrano::test
