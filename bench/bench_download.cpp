// The whole update run beside the standard tools doing the same work, on the project's server.
//
// A sample installation (tests/updater/update_site) with one product whose one file differs
// from the server's: meridox.exe runs in automatic mode ("TARVIC,/bin/true", offscreen), asks
// the query service for the catalogue and the file list, downloads the file, places it and
// records its version. The baseline, in paired rounds with the order alternating, is
// `curl -s -o F URL` followed by `sync --data F` (the updater makes its file durable before
// it replaces the installed one). With a signing key set (the files signed, the updater given
// the public key), the baseline adds `openssl dgst -sha256 F` between the two. Figures: the
// run's wall time over the tools' at 32 MiB and 512 MiB in both configurations (targets >= 0.9
// of their speed at 512 MiB, >= 0.6 at 32 MiB, that is a time ratio of at most 1.11 and 1.67),
// each side's peak memory, and the time from the start of the process until its first request
// arrives, beside curl's own, against a listener of this program. The cost of verification per MiB is
// the difference of the signed and unsigned runs.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "bench/paired_rounds.h"
#include "platform/crypto/crypto.h"
#include "support/test_support.h"
#include "tests/updater/update_site.h"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
namespace crypto = veltrano::crypto;

struct Child {
  bool ok = false;
  double seconds = 0;
  double peakMiB = 0;
};

// The environment of this process with `extra` ("NAME=value") added.
std::vector<std::string> environmentWith(const std::string& extra) {
  std::vector<std::string> env;
  const std::string name = extra.substr(0, extra.find('=') + 1);
  for (char** e = environ; *e; ++e)
    if (name.empty() || std::string(*e).rfind(name, 0) != 0) env.emplace_back(*e);
  if (!extra.empty()) env.push_back(extra);
  return env;
}

// Starts a program in `dir` (empty: here) with `extraEnv` ("NAME=value") added to the
// environment and its output thrown away; 0 when it cannot be started.
pid_t spawn(const std::vector<std::string>& args, const stdfs::path& dir, const std::string& extraEnv) {
  std::vector<std::string> envText = environmentWith(extraEnv);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

// Runs a program to its end (see spawn); wall time and peak resident memory.
Child runProgram(const std::vector<std::string>& args, const stdfs::path& dir = {}, const std::string& extraEnv = {}) {
  const auto start = Clock::now();
  const pid_t pid = spawn(args, dir, extraEnv);
  if (pid == 0) return {};
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Child c;
  c.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  c.peakMiB = usage.ru_maxrss / 1024.0;
  return c;
}

// One installation with two products of one file each, SMALL.BIN of 32 MiB and LARGE.BIN of
// 512 MiB, both newer on the server than recorded, each signed (BIN.sig beside it).
class Site {
 public:
  Site() {
    const crypto::KeyPair keys = crypto::generateKeyPair();
    publicKeyEnv_ = "VELTRANO_UPDATE_PUBLIC_KEY=" + crypto::base64Encode(keys.publicKey);
    for (const auto& [key, bytes] : {std::pair{"SMALL", 32ull << 20}, std::pair{"LARGE", 512ull << 20}}) {
      bytes_[key] = bytes;
      site_.product(key, key, "화물 관리");
      site_.install(key);
      site_.file({.productcode = key, .productkey = key, .filename = std::string(key) + ".BIN", .version = "2"}, nullptr);
      const stdfs::path served = site_.root() / "data" / "files" / "FILES" / key / (std::string(key) + ".BIN");
      const crypto::Digest digest = writeRandom(served, bytes);
      std::ofstream(served.string() + ".sig")
          << crypto::base64Encode(crypto::sign(keys.privateKey, crypto::Bytes(digest.begin(), digest.end()))) << "\n";
    }
    stdfs::copy_file(veltrano::test::builtProgram("updater/meridox"), site_.programFolder() / "meridox.exe");
  }

  void updaterRun(benchmark::State& state, const std::string& key, bool signedFiles) {
    measure(state, key, [&] {
      site_.record(key, key + ".BIN", "1");
      const stdfs::path target = site_.appFolder(key) / (key + ".BIN");
      stdfs::remove(target);
      Child c = runProgram({"./meridox.exe", key + ",/bin/true"}, site_.programFolder(),
                           signedFiles ? publicKeyEnv_ : std::string());
      std::error_code ec;
      if (stdfs::file_size(target, ec) != bytes_[key] || site_.recorded(key, key + ".BIN") != "2") c.ok = false;
      return c;
    });
  }

  void toolsRun(benchmark::State& state, const std::string& key, bool signedFiles) {
    const std::string out = (site_.root() / "curl.bin").string();
    const std::string url = "http://" + site_.host() + "/FILES/" + key + "/" + key + ".BIN";
    measure(state, key, [&] {
      stdfs::remove(out);
      Child curl = runProgram({"curl", "-s", "-o", out, url});
      std::error_code ec;
      if (!curl.ok || stdfs::file_size(out, ec) != bytes_[key]) return Child{};
      if (signedFiles) {
        const Child digest = runProgram({"openssl", "dgst", "-sha256", out});
        if (!digest.ok) return Child{};
        curl.seconds += digest.seconds;
        curl.peakMiB = std::max(curl.peakMiB, digest.peakMiB);
      }
      const Child sync = runProgram({"sync", "--data", out});
      curl.seconds += sync.seconds;
      curl.ok = sync.ok;
      return curl;
    });
  }

 private:
  // Writes `bytes` random bytes; returns their SHA-256 digest.
  static crypto::Digest writeRandom(const stdfs::path& path, std::uint64_t bytes) {
    stdfs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> block(1 << 17);
    crypto::Sha256 sha;
    for (std::uint64_t written = 0; written < bytes; written += block.size() * 8) {
      for (auto& w : block) w = random();
      const auto n = std::min<std::uint64_t>(block.size() * 8, bytes - written);
      out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
      sha.update(reinterpret_cast<const std::uint8_t*>(block.data()), n);
    }
    return sha.finish();
  }

  template <typename Run>
  void measure(benchmark::State& state, const std::string& key, Run run) {
    double peak = 0;
    for (auto _ : state) {
      const Child c = run();
      if (!c.ok) return state.SkipWithError("the run failed");
      state.SetIterationTime(c.seconds);
      peak = std::max(peak, c.peakMiB);
    }
    state.counters["peak_MiB"] = peak;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes_[key]));
  }

  meridox::testing::UpdateSite site_;
  std::map<std::string, std::uint64_t> bytes_;
  std::string publicKeyEnv_;
};

// Time from the start of a program until the first bytes of its request reach a listener of
// ours (not merely its connection); the program is then ended. The query host points at the
// listener, so the updater's first request comes here.
double untilFirstRequest(const std::vector<std::string>& args, const stdfs::path& dir, int listener,
                         const std::string& queryHost) {
  const auto start = Clock::now();
  const pid_t pid = spawn(args, dir, "VELTRANO_QUERY_HOST=" + queryHost);
  if (pid == 0) return -1;
  double seconds = -1;
  pollfd p{listener, POLLIN, 0};
  if (poll(&p, 1, 10000) == 1) {
    const int c = accept(listener, nullptr, nullptr);
    pollfd r{c, POLLIN, 0};
    if (c >= 0 && poll(&r, 1, 10000) == 1) seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (c >= 0) close(c);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return seconds;
}

int listenOnLoopback(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return -1;
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static Site site;

  for (const bool signedFiles : {false, true}) {
    for (const auto& [key, label, rounds, target] :
         {std::tuple{"SMALL", "32MiB", 7, "<= 1.67"}, std::tuple{"LARGE", "512MiB", 5, "<= 1.11"}}) {
      const std::string k = key;
      bench::Paired pair(std::string("update_run_") + label + (signedFiles ? "_signed" : ""), "meridox run",
                         signedFiles ? "curl + openssl dgst + sync" : "curl + sync", bench::Clock::Wall, target);
      pair.add(rounds, [k, signedFiles](benchmark::State& s) { site.updaterRun(s, k, signedFiles); },
               [k, signedFiles](benchmark::State& s) { site.toolsRun(s, k, signedFiles); }, 1, true);
    }
  }

  // Start to first request, against a listener that never answers.
  static int port = 0;
  static const int listener = listenOnLoopback(port);
  static const std::string listenerHost = "127.0.0.1:" + std::to_string(port);
  bench::Paired first("start_to_first_request", "meridox", "curl", bench::Clock::Wall, "meridox <= 25 ms");
  auto timed = [](std::vector<std::string> args, stdfs::path dir) {
    return [args, dir](benchmark::State& state) {
      for (auto _ : state) {
        const double t = untilFirstRequest(args, dir, listener, listenerHost);
        if (t < 0) return state.SkipWithError("no request came");
        state.SetIterationTime(t);
      }
    };
  };
  first.add(9, timed({"./meridox", "SMALL,/bin/true"}, veltrano::test::builtProgram("updater")),
            timed({"curl", "-s", "http://" + listenerHost + "/"}, {}), 3, true);
  return bench::runPaired(argc, argv);
}
