#include "platform/process/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/process/process_faults.h"

extern char** environ;

namespace veltrano::proc {
namespace {
std::string readLink(const std::string& path) {
  char buf[PATH_MAX];
  ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string baseName(std::string p) {
  const std::string deleted = " (deleted)";
  if (p.size() > deleted.size() && p.compare(p.size() - deleted.size(), deleted.size(), deleted) == 0)
    p.erase(p.size() - deleted.size());
  auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}
}  // namespace

std::vector<ProcessEntry> snapshot() {
  std::vector<ProcessEntry> out;
  DIR* d = opendir("/proc");
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (!end || *end != '\0' || pid <= 0) continue;
    const std::string base = std::string("/proc/") + e->d_name;
    std::string exe = baseName(readLink(base + "/exe"));
    if (exe.empty()) {
      std::ifstream comm(base + "/comm");
      std::getline(comm, exe);
    }
    if (!exe.empty()) out.push_back({static_cast<int>(pid), exe});
  }
  closedir(d);
  return out;
}

bool terminate(int pid) {
  if (terminationDenied(pid)) return false;
  return ::kill(pid, SIGKILL) == 0;
}

int startDetached(const std::string& program, const std::vector<std::string>& args) {
  if (takeFailedStart()) return -1;
  // Double fork: the intermediate child exits at once, so the started program is never our
  // child and never needs to be waited for.
  int pipeFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) return -1;
  pid_t mid = fork();
  if (mid < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return -1;
  }
  if (mid == 0) {
    setsid();
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    // Close every other descriptor so nothing holds the starter's pipes; the result pipe is
    // close-on-exec and so never reaches the program.
    if (pipeFd[1] > 3) close_range(3, static_cast<unsigned>(pipeFd[1] - 1), 0);
    close_range(static_cast<unsigned>(pipeFd[1] + 1), ~0U, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    int rc = program.find('/') == std::string::npos
                 ? posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ)
                 : posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    int result = rc == 0 ? static_cast<int>(child) : -1;
    (void)!write(pipeFd[1], &result, sizeof result);
    _exit(0);
  }
  close(pipeFd[1]);
  int result = -1;
  if (read(pipeFd[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) result = -1;
  close(pipeFd[0]);
  waitpid(mid, nullptr, 0);
  return result;
}

bool startInOrder(const std::vector<std::vector<std::string>>& commands) {
  // The words go to the shell as positional parameters; the script only names them by
  // number, so nothing in a path is ever read as shell syntax.
  std::vector<std::string> parameters;
  std::string script;
  for (const auto& words : commands) {
    if (words.empty()) continue;
    if (!script.empty()) script += "; ";
    for (std::size_t i = 0; i < words.size(); ++i) {
      parameters.push_back(words[i]);
      script += (i ? " \"${" : "\"${") + std::to_string(parameters.size()) + "}\"";
    }
  }
  std::vector<std::string> args{"-c", script, "sh"};
  args.insert(args.end(), parameters.begin(), parameters.end());
  return startDetached("/bin/sh", args) >= 0;
}

std::string findOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty()) return {};
  std::string_view rest(path);
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    if (!dir.empty()) {
      std::error_code ec;
      const std::filesystem::path candidate = std::filesystem::path(dir) / name;
      if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

std::vector<std::string> textViewer() {
  const char* visual = std::getenv("VISUAL");
  if (visual && std::string_view(visual).find_first_not_of(" \t") != std::string_view::npos) {
    std::vector<std::string> words = splitCommandLine(visual);
    if (!words.empty()) return words;
  }
  std::string opener = findOnPath("xdg-open");
  return opener.empty() ? std::vector<std::string>{} : std::vector<std::string>{opener};
}

std::string currentExecutable() { return readLink("/proc/self/exe"); }
int currentPid() { return static_cast<int>(getpid()); }

}  // namespace veltrano::proc
