// The site for many offices (server/deploy/run-stack: nginx in front of two veltrano-server
// instances on MariaDB) beside the server alone on SQLite, the embedded default, all on
// loopback:
//  - the query service's small select (the updater's catalogue query) at 50 clients, loaded
//    by wrk: requests/s and p99 of one instance on SQLite (the baseline), one instance on
//    MariaDB, and two instances behind nginx on MariaDB;
//  - eight downloads of one 128 MiB file at once (eight curl processes): the wall time
//    through nginx (the instances answer with X-Accel-Redirect) against the server alone.
// Each line gives the median of the rounds and the ratio to the baseline measured in the same
// round, the order of the sides turning from round to round. Without the server's MariaDB
// backend the stack runs on SQLite and the lines say so.
//
// VELTRANO_BENCH_SECONDS: seconds per load run (default 3); VELTRANO_BENCH_ROUNDS: rounds
// (default 3).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/load_support.h"
#include "bench/paired_rounds.h"
#include "updater/query_protocol.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

using veltrano::bench::freePort;
using veltrano::bench::output;
using veltrano::bench::rounds;
using veltrano::bench::shellQuote;
int loadSeconds() { return veltrano::bench::loadSeconds(3); }

// A child whose standard output and error go to `log`.
pid_t spawn(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void stopChild(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits (at most `seconds`) until `log` holds a match of `pattern`; its first group.
std::string waitForLine(const fs::path& log, const std::regex& pattern, int seconds) {
  const auto end = steady_clock::now() + std::chrono::seconds(seconds);
  std::smatch m;
  while (steady_clock::now() < end) {
    const std::string text = readAll(log);
    if (std::regex_search(text, m, pattern)) return m[1].str();
    std::this_thread::sleep_for(milliseconds(50));
  }
  return "";
}

// The sample data with a 128 MiB file, the server alone on it, and the stack on it.
struct Fixture {
  fs::path dir;
  pid_t server = -1, stack = -1;
  std::string serverHost, stackHost, instanceHost;
  bool onMariaDb = false;
  std::string problem;

  Fixture() {
    dir = fs::temp_directory_path() / ("veltrano-bench-stack-" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    if (!fs::exists("/usr/sbin/nginx") || output("command -v wrk").empty() || output("command -v curl").empty()) {
      problem = "nginx, wrk and curl are needed (scripts/bootstrap installs them)";
      return;
    }
    const int port = freePort();
    stackHost = "127.0.0.1:" + std::to_string(port);
    if (std::system((shellQuote(VELTRANO_SAMPLE_DATA_SCRIPT) + " " + shellQuote((dir / "data").string()) + " " +
                     stackHost + " >/dev/null").c_str()) != 0) {
      problem = "no sample data";
      return;
    }
    { std::ofstream(dir / "data" / "files" / "big.bin", std::ios::binary); }
    fs::resize_file(dir / "data" / "files" / "big.bin", 128u << 20);  // sparse: no disk spent
    std::ofstream(dir / "post.lua") << "wrk.method = \"POST\"\nwrk.body = [[" << queryForm()
                                    << "]]\nwrk.headers[\"Content-Type\"] = "
                                       "\"application/x-www-form-urlencoded\"\n";

    server = spawn({VELTRANO_SERVER_PROGRAM, "--listen", "127.0.0.1:0", "--data", (dir / "data").string()},
                   dir / "server.log");
    serverHost = waitForLine(dir / "server.log", std::regex("listening on (\\S+)"), 10);
    if (serverHost.empty()) {
      problem = "the server did not start: " + readAll(dir / "server.log");
      return;
    }

    // On MariaDB when the server has that backend, else on SQLite.
    onMariaDb = output(shellQuote(VELTRANO_SERVER_PROGRAM) + " --help").find("mariadb://") != std::string::npos;
    std::vector<std::string> args = {"/bin/bash", VELTRANO_RUN_STACK, "--port", std::to_string(port), "--data",
                                     (dir / "data").string(), "--instances", "2"};
    if (!onMariaDb) args.emplace_back("--sqlite");
    stack = spawn(args, dir / "stack.log");
    if (waitForLine(dir / "stack.log", std::regex("stack listening on (\\S+)"), 120).empty()) {
      problem = "the stack did not start: " + readAll(dir / "stack.log");
      return;
    }
    instanceHost = waitForLine(dir / "stack.log", std::regex("instance 1 on (\\S+)"), 5);
  }
  ~Fixture() {
    stopChild(stack);
    stopChild(server);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string queryForm() const {
    const std::string k1 = meridox::MakeDigitKey();
    const std::string k2 = meridox::MakeDigitKey();
    return "SQL=" + k1 + meridox::EncDecText("select * from qz_product ", k1, -1) + "&DATABASE=" + k2 +
           meridox::EncDecText("qz_update", k2, -1) + "&USERID=" + k2;
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

struct Load {
  double rps = 0, p99ms = 0;
};

double millisOf(const std::string& text) {
  const double v = std::atof(text.c_str());
  if (text.find("us") != std::string::npos) return v / 1000;
  if (text.find("ms") != std::string::npos) return v;
  return v * 1000;  // "s"
}

std::vector<std::string> gSummary;
bool gFailed = false;

// wrk posting the catalogue query to `host` with 50 connections.
Load selectLoad(const std::string& host) {
  const std::string cmd = "wrk --latency -t2 -c50 -d" + std::to_string(loadSeconds()) + "s -s " +
                          shellQuote((fixture().dir / "post.lua").string()) + " http://" + host +
                          "/client/mysqlservice.asp 2>&1";
  const std::string out = output(cmd);
  Load r;
  std::smatch m;
  if (std::regex_search(out, m, std::regex("Requests/sec:\\s+([0-9.]+)"))) r.rps = std::atof(m[1].str().c_str());
  if (std::regex_search(out, m, std::regex("\\n\\s+99%\\s+(\\S+)"))) r.p99ms = millisOf(m[1].str());
  if (r.rps <= 0 || out.find("Non-2xx") != std::string::npos || out.find("Socket errors") != std::string::npos) {
    std::fprintf(stderr, "bench_stack: %s\n%s\n", cmd.c_str(), out.c_str());
    gFailed = true;
  }
  return r;
}

// Seconds for eight curl processes fetching the 128 MiB file from `host` at once.
double eightDownloads(const std::string& host) {
  std::string cmd = "for i in 1 2 3 4 5 6 7 8; do curl -s -o /dev/null -w '%{size_download}\\n' http://" + host +
                    "/BIG.BIN & done; wait";
  const auto t0 = steady_clock::now();
  const std::string sizes = output(cmd);
  const double seconds = duration<double>(steady_clock::now() - t0).count();
  const std::string whole = std::to_string(128u << 20) + "\n";
  std::size_t complete = 0;
  for (std::size_t at = sizes.find(whole); at != std::string::npos; at = sizes.find(whole, at + 1)) ++complete;
  if (complete != 8) {
    std::fprintf(stderr, "bench_stack: of eight downloads from %s: %s\n", host.c_str(), sizes.c_str());
    gFailed = true;
  }
  return seconds;
}

void BM_SmallSelect50Clients(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  const std::string db = f.onMariaDb ? "MariaDB" : "SQLite (no MariaDB backend)";
  const std::vector<std::pair<std::string, std::string>> sides = {
      {"one instance on SQLite", f.serverHost},
      {"one instance on " + db, f.instanceHost},
      {"two behind nginx on " + db, f.stackHost}};
  std::vector<std::vector<double>> rps(sides.size()), p99(sides.size()), ratio(sides.size());
  for (auto _ : state)
    for (int round = 0; round < rounds(); ++round) {
      std::vector<Load> got(sides.size());
      for (std::size_t k = 0; k < sides.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(round)) % sides.size();  // order turns
        got[i] = selectLoad(sides[i].second);
      }
      for (std::size_t i = 0; i < sides.size(); ++i) {
        rps[i].push_back(got[i].rps);
        p99[i].push_back(got[i].p99ms);
        ratio[i].push_back(got[0].rps > 0 ? got[i].rps / got[0].rps : 0);
      }
    }
  for (std::size_t i = 0; i < sides.size(); ++i) {
    const bench::Spread r = bench::spreadOf(ratio[i]);
    char line[300];
    std::snprintf(line, sizeof line, "small select, 50 clients, %-48s %7.0f req/s  p99 %7.2f ms  ratio %s",
                  (sides[i].first + ":").c_str(), bench::spreadOf(rps[i]).median, bench::spreadOf(p99[i]).median,
                  bench::formatSpread(r, "%.2f").c_str());
    gSummary.push_back(line);
  }
  state.counters["sqlite_req_per_s"] = bench::spreadOf(rps[0]).median;
  state.counters["one_db_req_per_s"] = bench::spreadOf(rps[1]).median;
  state.counters["nginx_two_req_per_s"] = bench::spreadOf(rps[2]).median;
}
BENCHMARK(BM_SmallSelect50Clients)->Iterations(1)->Unit(benchmark::kSecond);

void BM_EightDownloadsOf128MiB(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  std::vector<double> alone, front, ratio;
  for (auto _ : state)
    for (int round = 0; round < rounds(); ++round) {
      double a, b;
      if (round % 2 == 0) a = eightDownloads(f.serverHost), b = eightDownloads(f.stackHost);
      else b = eightDownloads(f.stackHost), a = eightDownloads(f.serverHost);
      alone.push_back(a), front.push_back(b), ratio.push_back(a > 0 ? b / a : 0);
    }
  const double mib = 8 * 128;
  char line[300];
  std::snprintf(line, sizeof line,
                "eight 128 MiB downloads at once: server alone %.2f s (%.0f MiB/s) | through nginx %.2f s "
                "(%.0f MiB/s) | time ratio nginx/alone %s",
                bench::spreadOf(alone).median, mib / bench::spreadOf(alone).median, bench::spreadOf(front).median,
                mib / bench::spreadOf(front).median, bench::formatSpread(bench::spreadOf(ratio), "%.2f").c_str());
  gSummary.push_back(line);
  state.counters["alone_s"] = bench::spreadOf(alone).median;
  state.counters["nginx_s"] = bench::spreadOf(front).median;
}
BENCHMARK(BM_EightDownloadsOf128MiB)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nmedian of %d rounds of %d s, order turning; ratio [min..max] against the first line:\n",
              rounds(), loadSeconds());
  for (const auto& line : gSummary) std::printf("%s\n", line.c_str());
  if (gFailed) std::printf("FAILED: some requests failed or a tool gave no figures (see above)\n");
  return gFailed ? 1 : 0;
}
