// The reference server beside nginx, both as child processes on loopback, loaded by wrk (a
// third process), in paired rounds whose order alternates:
//  - the query service's small select (the updater's catalogue query) against nginx serving
//    a static file of the reply's size, at 1, 10 and 50 clients: requests/s, p50 and p99;
//  - a static file of the same size from both servers at 1, 10 and 50 clients;
//  - the server CPU (user + system, all of each server's processes) of one 512 MiB download;
//  - with 200 kept-alive idle connections and 100 clients trickling their request heads, the
//    time a new client waits for a small file.
// Each line gives the median of the rounds' ratios (server / nginx) and their spread. nginx,
// wrk and curl are Debian packages (scripts/bootstrap); without them the run stops.
//
// VELTRANO_BENCH_SECONDS: seconds per load run (default 5); VELTRANO_BENCH_ROUNDS: paired
// rounds (default 3).

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
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/load_support.h"
#include "updater/query_protocol.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

using veltrano::bench::freePort;
using veltrano::bench::output;
using veltrano::bench::rounds;
using veltrano::bench::shellQuote;
int loadSeconds() { return veltrano::bench::loadSeconds(5); }

constexpr const char* kQuery = "select * from qz_product";

pid_t spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
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

// CPU seconds of a process and of its child processes still running: the time their threads
// spent on a CPU, from the scheduler's nanosecond counters (clock ticks are too coarse for a
// download that costs tens of milliseconds).
double cpuSeconds(pid_t pid) {
  auto threadsOf = [](const std::string& p) {
    double ns = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + p + "/task", ec)) {
      std::ifstream in(task.path() / "schedstat");
      double onCpu = 0;
      if (in >> onCpu) ns += onCpu;
    }
    return ns / 1e9;
  };
  double total = threadsOf(std::to_string(pid));
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  for (std::string c; children >> c;) total += threadsOf(c);
  return total;
}

bool waitForPort(int port) {
  for (int i = 0; i < 500; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return false;
}

// The sample data, the server program and nginx on it, for the whole run.
struct Fixture {
  fs::path dir;
  pid_t server = -1, nginx = -1;
  int serverPort = 0, nginxPort = 0;
  std::size_t replyBytes = 0;
  std::string problem;

  Fixture() {
    dir = fs::temp_directory_path() / ("veltrano-bench-server-" + std::to_string(getpid()));
    fs::create_directories(dir);
    if (!fs::exists("/usr/sbin/nginx") || output("command -v wrk").empty()) {
      problem = "nginx and wrk are needed (scripts/bootstrap installs them)";
      return;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    server = spawn({VELTRANO_SERVER_PROGRAM, "--listen", "127.0.0.1:0", "--data", dir.string()}, fds[1]);
    ::close(fds[1]);
    std::string line;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (server > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 &&
           ::read(fds[0], &c, 1) == 1)
      line.push_back(c);
    ::close(fds[0]);
    const auto colon = line.rfind(':');
    if (colon != std::string::npos) serverPort = std::atoi(line.c_str() + colon + 1);
    if (serverPort <= 0) {
      problem = "the server program did not start";
      return;
    }
    if (std::system((shellQuote(VELTRANO_SAMPLE_DATA_SCRIPT) + " " + shellQuote(dir.string()) +
                     " 127.0.0.1:" + std::to_string(serverPort) + " >/dev/null").c_str()) != 0) {
      problem = "no sample data";
      return;
    }
    // One query settles the reply size; the files nginx and the server serve get that size.
    writeBody(dir / "query.form", queryForm());
    const std::string reply = output("curl -s --data-binary @" + shellQuote((dir / "query.form").string()) +
                                     " http://127.0.0.1:" + std::to_string(serverPort) +
                                     "/client/mysqlservice.asp");
    if (reply.find("Recordsetxml.xsl") == std::string::npos) {
      problem = "the catalogue query gave no rows: " + reply.substr(0, 200);
      return;
    }
    replyBytes = reply.size();
    writeBody(dir / "files" / "same-size.bin", std::string(replyBytes, 'x'));
    { std::ofstream(dir / "files" / "big.bin", std::ios::binary); }
    fs::resize_file(dir / "files" / "big.bin", 512u << 20);  // sparse: no disk spent
    std::ofstream(dir / "post.lua") << "wrk.method = \"POST\"\nwrk.body = [[" << queryForm()
                                    << "]]\nwrk.headers[\"Content-Type\"] = "
                                       "\"application/x-www-form-urlencoded\"\n";

    // nginx with a private prefix, configuration and log on standard error.
    nginxPort = freePort();
    const fs::path prefix = dir / "nginx";
    fs::create_directories(prefix / "logs");
    std::ofstream(prefix / "nginx.conf")
        << "daemon off;\nworker_processes auto;\npid " << (prefix / "nginx.pid").string()
        << ";\nerror_log stderr;\nevents { worker_connections 4096; }\n"
        << "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n  keepalive_requests 1000000;\n"
        << "  default_type application/octet-stream;\n"
        << "  client_body_temp_path " << (prefix / "body").string() << ";\n"
        << "  server {\n    listen 127.0.0.1:" << nginxPort << ";\n    root "
        << (dir / "files").string() << ";\n  }\n}\n";
    nginx = spawn({"/usr/sbin/nginx", "-p", prefix.string(), "-c", (prefix / "nginx.conf").string(),
                   "-e", "stderr"});
    if (nginx <= 0 || !waitForPort(nginxPort)) problem = "nginx did not start";
  }
  ~Fixture() {
    stopChild(server);
    stopChild(nginx);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string queryForm() const {
    const std::string k1 = meridox::MakeDigitKey();
    const std::string k2 = meridox::MakeDigitKey();
    return "SQL=" + k1 + meridox::EncDecText(std::string(kQuery) + " ", k1, -1) + "&DATABASE=" + k2 +
           meridox::EncDecText("qz_update", k2, -1) + "&USERID=" + k2;
  }
  static void writeBody(const fs::path& file, const std::string& body) {
    std::ofstream(file, std::ios::binary) << body;
  }
  std::string url(bool ofServer, const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(ofServer ? serverPort : nginxPort) + path;
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

struct Load {
  double rps = 0, p50ms = 0, p99ms = 0;
  bool clean = false;  // every reply 2xx, no socket error
};

double millisOf(const std::string& text) {
  const double v = std::atof(text.c_str());
  if (text.find("us") != std::string::npos) return v / 1000;
  if (text.find("ms") != std::string::npos) return v;
  return v * 1000;  // "s"
}

// wrk against `url` with `clients` connections; `script` makes it a POST.
Load wrk(const std::string& url, int clients, const std::string& script = "") {
  const int threads = std::min(clients, 2);
  const std::string cmd = "wrk --latency -t" + std::to_string(threads) + " -c" + std::to_string(clients) +
                          " -d" + std::to_string(loadSeconds()) + "s" +
                          (script.empty() ? "" : " -s " + shellQuote(script)) + " " + url + " 2>&1";
  const std::string out = output(cmd);
  Load r;
  std::smatch m;
  if (std::regex_search(out, m, std::regex("Requests/sec:\\s+([0-9.]+)"))) r.rps = std::atof(m[1].str().c_str());
  if (std::regex_search(out, m, std::regex("\\n\\s+50%\\s+(\\S+)"))) r.p50ms = millisOf(m[1].str());
  if (std::regex_search(out, m, std::regex("\\n\\s+99%\\s+(\\S+)"))) r.p99ms = millisOf(m[1].str());
  r.clean = r.rps > 0 && out.find("Non-2xx") == std::string::npos && out.find("Socket errors") == std::string::npos;
  if (!r.clean) std::fprintf(stderr, "bench_server: %s\n%s\n", cmd.c_str(), out.c_str());
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> gSummary;
bool gFailed = false;

// Paired rounds of the server (`ours`) and nginx (`theirs`), the order alternating.
void pairedRounds(benchmark::State& state, const std::string& what, int clients,
                  const std::string& ours, const std::string& theirs, const std::string& script) {
  std::vector<double> ratios, rps, p50, p99, nRps, nP50, nP99;
  for (int round = 0; round < rounds(); ++round) {
    Load a, b;
    if (round % 2 == 0) {
      a = wrk(ours, clients, script);
      b = wrk(theirs, clients);
    } else {
      b = wrk(theirs, clients);
      a = wrk(ours, clients, script);
    }
    if (!a.clean || !b.clean) gFailed = true;
    ratios.push_back(b.rps > 0 ? a.rps / b.rps : 0);
    rps.push_back(a.rps), p50.push_back(a.p50ms), p99.push_back(a.p99ms);
    nRps.push_back(b.rps), nP50.push_back(b.p50ms), nP99.push_back(b.p99ms);
  }
  state.counters["req_per_s"] = median(rps);
  state.counters["p50_ms"] = median(p50);
  state.counters["p99_ms"] = median(p99);
  state.counters["nginx_req_per_s"] = median(nRps);
  state.counters["nginx_p99_ms"] = median(nP99);
  state.counters["ratio"] = median(ratios);
  char line[400];
  std::snprintf(line, sizeof line,
                "%-28s %2d clients: %7.0f req/s p50 %6.2f ms p99 %6.2f ms | nginx %7.0f req/s p50 %6.2f "
                "p99 %6.2f | ratio %.2f (rounds %.2f-%.2f)",
                what.c_str(), clients, median(rps), median(p50), median(p99), median(nRps), median(nP50),
                median(nP99), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
  gSummary.push_back(line);
}

void BM_SmallSelectBesideNginxStaticFile(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  for (auto _ : state)
    pairedRounds(state, "small select / nginx file", static_cast<int>(state.range(0)),
                 f.url(true, "/client/mysqlservice.asp"), f.url(false, "/same-size.bin"),
                 (f.dir / "post.lua").string());
  state.counters["reply_bytes"] = static_cast<double>(f.replyBytes);
}
BENCHMARK(BM_SmallSelectBesideNginxStaticFile)->Arg(1)->Arg(10)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond);

void BM_SmallStaticFileBesideNginx(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  for (auto _ : state)
    pairedRounds(state, "static file / nginx file", static_cast<int>(state.range(0)),
                 f.url(true, "/same-size.bin"), f.url(false, "/same-size.bin"), "");
}
BENCHMARK(BM_SmallStaticFileBesideNginx)->Arg(1)->Arg(10)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Download512MiBServerCpuBesideNginx(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  auto cpuOf = [&](bool ofServer) {
    const pid_t pid = ofServer ? f.server : f.nginx;
    const double before = cpuSeconds(pid);
    const std::string size = output("curl -s -o /dev/null -w '%{size_download}' " + f.url(ofServer, "/big.bin"));
    if (std::atoll(size.c_str()) != (512ll << 20)) gFailed = true;
    return cpuSeconds(pid) - before;
  };
  std::vector<double> ratios, ours, theirs;
  for (auto _ : state)
    for (int round = 0; round < rounds(); ++round) {
      double a, b;
      if (round % 2 == 0) a = cpuOf(true), b = cpuOf(false);
      else b = cpuOf(false), a = cpuOf(true);
      ours.push_back(a), theirs.push_back(b);
      ratios.push_back(b > 0 ? a / b : a > 0 ? 99 : 1);
    }
  state.counters["server_cpu_s"] = median(ours);
  state.counters["nginx_cpu_s"] = median(theirs);
  state.counters["ratio"] = median(ratios);
  char line[300];
  std::snprintf(line, sizeof line,
                "512 MiB download server CPU: %.4f s | nginx %.4f s | ratio %.2f (rounds %.2f-%.2f)",
                median(ours), median(theirs), median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
  gSummary.push_back(line);
}
BENCHMARK(BM_Download512MiBServerCpuBesideNginx)->Iterations(1)->Unit(benchmark::kSecond);

// A connected socket to the server (-1 when refused).
int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends a request and reads until the head of the reply is in (at most 5 s).
bool askHead(int fd, const std::string& request) {
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
    return false;
  std::string got;
  const auto end = steady_clock::now() + seconds(5);
  while (got.find("\r\n\r\n") == std::string::npos && steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[8192];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got.rfind("HTTP/1.1 200", 0) == 0;
}

void BM_NewClientBesideIdleAndSlowClients(benchmark::State& state) {
  Fixture& f = fixture();
  if (!f.problem.empty()) return state.SkipWithError(f.problem.c_str());
  const std::string get = "GET /same-size.bin HTTP/1.1\r\nHost: x\r\n\r\n";
  for (auto _ : state) {
    std::vector<int> held;
    for (int i = 0; i < 200; ++i) {  // kept alive after one request each
      const int fd = connectTo(f.serverPort);
      if (fd >= 0 && askHead(fd, get)) held.push_back(fd);
      else gFailed = true;
    }
    std::vector<int> slow;
    for (int i = 0; i < 100; ++i) {
      const int fd = connectTo(f.serverPort);
      if (fd >= 0) {
        ::send(fd, "GET /same-size.bin HTTP/1.1\r\n", 29, MSG_NOSIGNAL);
        slow.push_back(fd);
      }
    }
    std::vector<double> waits;
    for (int i = 0; i < 50; ++i) {
      for (int fd : slow) ::send(fd, "X-a: b\r\n", 8, MSG_NOSIGNAL);
      const auto t0 = steady_clock::now();
      const int fd = connectTo(f.serverPort);
      if (fd < 0 || !askHead(fd, get)) gFailed = true;
      waits.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
      ::close(fd);
      std::this_thread::sleep_for(milliseconds(20));
    }
    for (int fd : held) ::close(fd);
    for (int fd : slow) ::close(fd);
    std::sort(waits.begin(), waits.end());
    state.counters["held_open"] = static_cast<double>(held.size());
    state.counters["new_client_p50_ms"] = median(waits);
    state.counters["new_client_max_ms"] = waits.back();
    char line[200];
    std::snprintf(line, sizeof line,
                  "new client beside %zu idle + %zu trickling: p50 %.2f ms, p95 %.2f ms, max %.2f ms",
                  held.size(), slow.size(), median(waits), waits[waits.size() * 95 / 100], waits.back());
    gSummary.push_back(line);
  }
}
BENCHMARK(BM_NewClientBesideIdleAndSlowClients)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nmedian of %d paired rounds of %d s, order alternating (server / nginx):\n", rounds(),
              loadSeconds());
  for (const auto& line : gSummary) std::printf("%s\n", line.c_str());
  if (gFailed) std::printf("FAILED: some requests failed or a tool gave no figures (see above)\n");
  return gFailed ? 1 : 0;
}
