// Download throughput and memory of DN over loopback, beside curl fetching the same file in the
// same run.
//
// A 256 MiB file is served from this process by a small file server on 127.0.0.1 (generated
// bytes, never held whole in memory). BM_CurlBaseline runs `curl -o` on it; BM_DNDownload runs
// GetFileInformation + DownLoad with CHUNK 65,536 and with the default 512. Each DN figure
// carries `vs_curl`, its throughput as a share of curl's measured just before (target: at least
// 0.9 at 64 KiB chunks), and `peak_MiB`, the process's peak resident memory during the run
// (VmHWM, reset before each run; target: under 64 MiB). curl's own peak is its maxrss.
//
// Verification: BM_VerifyDigest is the cost of checking a signed file alone (SHA-256 over the
// same 256 MiB fed in 64 KiB pieces, then one Ed25519 check), BM_DNDownloadVerified the whole
// transfer with a public key set (digest as the bytes arrive, FILE.sig fetched and checked).
// `ms_per_MiB` beside each rate gives the cost per MiB of transfer and of verification in the
// same run.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/crypto/crypto.h"
#include "platform/ui/scripted_ui.h"
#include "tests/support/http_test_server.h"
#include "updater/download_control.h"

extern char** environ;

namespace {

constexpr std::uint64_t kFileBytes = 256ull * 1024 * 1024;

// The digest of the generated file, fed in 64 KiB pieces.
veltrano::crypto::Digest generatedDigest() {
  veltrano::crypto::Sha256 sha;
  std::vector<std::uint8_t> piece(64 * 1024);
  for (std::uint64_t at = 0; at < kFileBytes; at += piece.size()) {
    for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = veltrano::test::generatedByte(at + i);
    sha.update(piece.data(), piece.size());
  }
  return sha.finish();
}

struct Fixture {
  veltrano::test::FileServer server;
  std::filesystem::path dir;
  veltrano::crypto::KeyPair keys = veltrano::crypto::generateKeyPair();
  veltrano::crypto::Bytes signature;
  Fixture() {
    server.addGeneratedFile("/big.bin", kFileBytes);
    const veltrano::crypto::Digest d = generatedDigest();
    signature = veltrano::crypto::sign(keys.privateKey, {d.begin(), d.end()});
    server.addFile("/big.bin.sig", veltrano::crypto::base64Encode(signature) + "\n");
    dir = std::filesystem::temp_directory_path() / ("bench-download-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

double g_curlBytesPerSecond = 0;

void resetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

class Outcome : public meridox::DNEvents {
 public:
  bool complete = false;
  std::string error;
  void DLComplete() override { complete = true; }
  void DLError(std::string& s) override { error = s; }
};

void BM_CurlBaseline(benchmark::State& state) {
  Fixture& f = fixture();
  const std::string url = f.server.url("/big.bin");
  const std::string out = (f.dir / "curl.bin").string();
  double maxRssMiB = 0;
  for (auto _ : state) {
    const char* argv[] = {"curl", "-s", "-o", out.c_str(), url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("curl cannot be started");
      return;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || std::filesystem::file_size(out) != kFileBytes) {
      state.SkipWithError("curl failed");
      return;
    }
    maxRssMiB = std::max(maxRssMiB, usage.ru_maxrss / 1024.0);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
  state.counters["peak_MiB"] = maxRssMiB;
  state.counters["rate"] = benchmark::Counter(static_cast<double>(state.iterations() * kFileBytes),
                                              benchmark::Counter::kIsRate);
}

void BM_VerifyDigest(benchmark::State& state) {
  Fixture& f = fixture();
  std::vector<std::uint8_t> piece(64 * 1024);
  for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = veltrano::test::generatedByte(i);
  for (auto _ : state) {
    veltrano::crypto::Sha256 sha;
    for (std::uint64_t at = 0; at < kFileBytes; at += piece.size()) sha.update(piece.data(), piece.size());
    const veltrano::crypto::Digest d = sha.finish();
    // A different digest (the piece repeats): the check fails, at the same cost as one that holds.
    benchmark::DoNotOptimize(veltrano::crypto::verify(f.keys.publicKey, {d.begin(), d.end()}, f.signature));
  }
  const double bytes = static_cast<double>(state.iterations() * kFileBytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["rate"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
}

void BM_DNDownload(benchmark::State& state) {
  Fixture& f = fixture();
  veltrano::ui::ScriptedUi ui;
  veltrano::ui::ScopedUi scoped(ui);
  const std::string out = (f.dir / "dn.bin").string();
  double peak = 0;
  for (auto _ : state) {
    resetPeakMemory();
    Outcome outcome;
    meridox::DN dn;
    dn.InitProperties();
    dn.setEvents(&outcome);
    dn.setCHUNK(static_cast<std::int32_t>(state.range(0)));
    dn.setUrl(f.server.url("/big.bin"));
    dn.setSaveLocation(out);
    if (state.range(1)) dn.setPublicKey(f.keys.publicKey);
    dn.GetFileInformation();
    dn.DownLoad();
    if (!outcome.complete || std::filesystem::file_size(out) != kFileBytes) {
      state.SkipWithError(("DN failed: " + outcome.error).c_str());
      return;
    }
    peak = std::max(peak, peakMemoryMiB());
  }
  const double bytes = static_cast<double>(state.iterations() * kFileBytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["peak_MiB"] = peak;
  state.counters["rate"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
  state.counters["chunks"] = static_cast<double>(kFileBytes) / static_cast<double>(state.range(0));
}

// `vs_curl` needs both rates in hand, so it is worked out by the reporter below.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> copy = runs;
    for (auto& run : copy) {
      auto rate = run.counters.find("rate");
      if (rate == run.counters.end()) continue;
      const double bytesPerSecond = rate->second.value;  // already divided by the run's time
      if (run.run_name.function_name == "BM_CurlBaseline") g_curlBytesPerSecond = bytesPerSecond;
      else if (g_curlBytesPerSecond > 0) run.counters["vs_curl"] = bytesPerSecond / g_curlBytesPerSecond;
      run.counters["MiB_per_s"] = bytesPerSecond / (1024.0 * 1024.0);
      run.counters["ms_per_MiB"] = 1000.0 * 1024.0 * 1024.0 / bytesPerSecond;
      run.counters.erase("rate");
    }
    ConsoleReporter::ReportRuns(copy);
  }
};

}  // namespace

BENCHMARK(BM_CurlBaseline)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DNDownload)->Args({65536, 0})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DNDownload)->Args({65536, 1})->Name("BM_DNDownloadVerified")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyDigest)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DNDownload)->Args({512, 0})->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
