// Load on the reference server, over real HTTP on loopback, in one run:
//  - 50 clients for 10 seconds of query-service requests (the updater's catalogue query),
//    beside 50 clients for 10 seconds fetching a static file of the same size as the query's
//    reply (the baseline: what the same server and connections give without SQLite and
//    the rowset);
//  - the peak memory of the server program (a child process) while four clients download a
//    256 MiB file at once, beside its peak before and the file's size (files are streamed, so
//    the growth stays a small fraction of one file).
// Every request must succeed; failures are reported as a counter and fail the run.
//
// VELTRANO_BENCH_SECONDS shortens the load runs for a quick look (default 10).

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/http_server.h"
#include "updater/query_protocol.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr int kClients = 50;
constexpr const char* kQuery = "select * from qz_product";

int loadSeconds() {
  const char* s = std::getenv("VELTRANO_BENCH_SECONDS");
  const int n = s ? std::atoi(s) : 0;
  return n > 0 ? n : 10;
}

std::string queryForm(const std::string& sql) {
  const std::string k1 = meridox::MakeDigitKey();
  const std::string k2 = meridox::MakeDigitKey();
  return "SQL=" + k1 + meridox::EncDecText(sql + " ", k1, -1) + "&DATABASE=" + k2 +
         meridox::EncDecText("qz_update", k2, -1) + "&USERID=" + k2;
}

// The sample data set and the server object on a free loopback port, for the whole run.
struct Fixture {
  fs::path dir;
  std::unique_ptr<veltrano::server::HttpServer> server;
  std::thread thread;
  int port = 0;
  std::string queryBody;
  std::size_t replyBytes = 0;
  bool ok = false;

  Fixture() {
    dir = fs::temp_directory_path() / ("veltrano-bench-server-" + std::to_string(getpid()));
    fs::create_directories(dir);
    veltrano::server::ServerOptions o;
    o.host = "127.0.0.1";
    o.port = 0;
    o.dataDir = dir;
    server = std::make_unique<veltrano::server::HttpServer>(o);
    port = server->bind();
    thread = std::thread([this] { server->run(); });
    const std::string cmd = std::string("'") + VELTRANO_SAMPLE_DATA_SCRIPT + "' '" + dir.string() +
                            "' 127.0.0.1:" + std::to_string(port) + " >/dev/null";
    if (std::system(cmd.c_str()) != 0) return;

    // One query settles the reply size; the baseline file gets exactly that many bytes.
    queryBody = queryForm(kQuery);
    httplib::Client c("127.0.0.1", port);
    auto r = c.Post("/client/mysqlservice.asp", queryBody, "application/x-www-form-urlencoded");
    if (!r || r->status != 200 || r->body.find("Recordsetxml.xsl") == std::string::npos) {
      std::fprintf(stderr, "bench_server: the catalogue query did not give rows: %s\n",
                   r ? r->body.c_str() : "no reply");
      return;
    }
    replyBytes = r->body.size();
    std::ofstream(dir / "files" / "same-size.bin", std::ios::binary) << std::string(replyBytes, 'x');
    // A sparse 256 MiB file: no disk is spent on it.
    { std::ofstream(dir / "files" / "big.bin", std::ios::binary); }
    fs::resize_file(dir / "files" / "big.bin", 256u << 20);
    ok = true;
  }
  ~Fixture() {
    server->stop();
    thread.join();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

struct LoadResult {
  long ok = 0, failed = 0;
  double seconds = 0;
};

// The first failure of a run, for the report: what the client library said, or the status.
std::mutex gFailureMutex;
std::string gFirstFailure;
bool accept(const httplib::Result& res, std::size_t size) {
  if (res && res->status == 200 && res->body.size() == size) return true;
  std::lock_guard lock(gFailureMutex);
  if (gFirstFailure.empty())
    gFirstFailure = res ? "status " + std::to_string(res->status) + ", " + std::to_string(res->body.size()) +
                              " bytes: " + res->body.substr(0, 200)
                        : "client error " + httplib::to_string(res.error());
  return false;
}

// kClients threads, each on its own kept-alive connection, sending requests until the time is
// up; a request counts when `check` accepts its reply.
template <typename Send>
LoadResult runLoad(Send send) {
  std::atomic<long> ok{0}, failed{0};
  const auto start = steady_clock::now();
  const auto end = start + seconds(loadSeconds());
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back([&] {
      httplib::Client c("127.0.0.1", fixture().port);
      c.set_keep_alive(true);
      c.set_tcp_nodelay(true);
      c.set_read_timeout(60);
      c.set_connection_timeout(60);
      long good = 0, bad = 0;
      while (steady_clock::now() < end) (send(c) ? good : bad)++;
      ok += good;
      failed += bad;
    });
  for (auto& t : clients) t.join();
  return {ok.load(), failed.load(), duration<double>(steady_clock::now() - start).count()};
}

double gQueryRps = 0, gFileRps = 0;
long gFailed = 0;

void report(benchmark::State& state, const LoadResult& r) {
  state.SetIterationTime(r.seconds);
  state.counters["requests_per_s"] = r.ok / r.seconds;
  state.counters["failed"] = static_cast<double>(r.failed);
  state.counters["reply_bytes"] = static_cast<double>(fixture().replyBytes);
  gFailed += r.failed;
}

void BM_QueryService_50Clients(benchmark::State& state) {
  if (!fixture().ok) return state.SkipWithError("no sample data or no rowset reply");
  const std::size_t size = fixture().replyBytes;
  for (auto _ : state) {
    const LoadResult r = runLoad([&](httplib::Client& c) {
      return accept(c.Post("/client/mysqlservice.asp", fixture().queryBody,
                           "application/x-www-form-urlencoded"),
                    size);
    });
    gQueryRps = r.ok / r.seconds;
    report(state, r);
  }
}
BENCHMARK(BM_QueryService_50Clients)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_StaticFileOfTheSameSize_50Clients(benchmark::State& state) {
  if (!fixture().ok) return state.SkipWithError("no sample data");
  const std::size_t size = fixture().replyBytes;
  for (auto _ : state) {
    const LoadResult r = runLoad([&](httplib::Client& c) {
      return accept(c.Get("/same-size.bin"), size);
    });
    gFileRps = r.ok / r.seconds;
    report(state, r);
  }
}
BENCHMARK(BM_StaticFileOfTheSameSize_50Clients)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The server program as a child process on the sample data folder, so that its memory is its
// own: the peak resident size (VmHWM) is read from /proc before and after the downloads.
struct ServerChild {
  pid_t pid = -1;
  int port = 0;
  explicit ServerChild(const fs::path& data) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    const std::string program = VELTRANO_SERVER_PROGRAM, dataArg = data.string();
    const char* argv[] = {program.c_str(), "--listen", "127.0.0.1:0", "--data", dataArg.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string line;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (pid > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1)
      line.push_back(c);
    ::close(fds[0]);
    const auto colon = line.rfind(':');
    if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos) port = std::atoi(line.c_str() + colon + 1);
  }
  ~ServerChild() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  long peakKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
  }
};

void BM_Download256MiB_4ClientsServerPeakMemory(benchmark::State& state) {
  if (!fixture().ok) return state.SkipWithError("no sample data");
  const std::uint64_t size = 256u << 20;
  ServerChild child(fixture().dir);
  if (child.port <= 0) return state.SkipWithError("the server program did not start");
  auto download = [&](int clients) {
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
      threads.emplace_back([&] {
        httplib::Client c("127.0.0.1", child.port);
        c.set_read_timeout(120);
        std::uint64_t received = 0;
        auto res = c.Get("/big.bin", [&](const char*, std::size_t n) {
          received += n;  // counted and dropped: the client keeps nothing
          return true;
        });
        if (!res || res->status != 200 || received != size) ++failed;
      });
    for (auto& t : threads) t.join();
    return failed.load();
  };
  for (auto _ : state) {
    // Baseline: the server's peak after one small request (started, pools and caches warm).
    httplib::Client warm("127.0.0.1", child.port);
    if (!warm.Get("/same-size.bin")) return state.SkipWithError("the server program does not answer");
    const long baseline = child.peakKiB();
    const auto start = steady_clock::now();
    const int failed = download(4);
    const double secs = duration<double>(steady_clock::now() - start).count();
    const long peak = child.peakKiB();
    state.SetIterationTime(secs);
    state.counters["server_peak_MiB_before"] = baseline / 1024.0;
    state.counters["server_peak_MiB_after"] = peak / 1024.0;
    state.counters["growth_per_file_size"] = (peak - baseline) * 1024.0 / static_cast<double>(size);
    state.counters["failed"] = failed;
    state.counters["MiB_per_s"] = 4.0 * static_cast<double>(size >> 20) / secs;
    gFailed += failed;
  }
}
BENCHMARK(BM_Download256MiB_4ClientsServerPeakMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gQueryRps > 0 && gFileRps > 0)
    std::printf("query service %.0f req/s, static file of the same size %.0f req/s: %.2f of the baseline\n",
                gQueryRps, gFileRps, gQueryRps / gFileRps);
  if (gFailed > 0) std::printf("FAILED REQUESTS: %ld (first: %s)\n", gFailed, gFirstFailure.c_str());
  return gFailed > 0 ? 1 : 0;
}
