#include "bench/paired_rounds.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace bench {
namespace {

struct PairInfo {
  std::string family, nameA, nameB, target;
  Clock clock;
  std::map<int, double> a, b;  // seconds per iteration, by round
};

std::vector<PairInfo>& pairs() {
  static std::vector<PairInfo> all;
  return all;
}

double seconds(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond: return value * 1e-9;
    case benchmark::kMicrosecond: return value * 1e-6;
    case benchmark::kMillisecond: return value * 1e-3;
    default: return value;
  }
}

// Benchmark names are "family/side/round:k".
class PairedReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration) continue;
      const std::string& name = run.run_name.function_name;
      for (PairInfo& p : pairs()) {
        if (name.rfind(p.family + "/", 0) != 0) continue;
        const std::string rest = name.substr(p.family.size() + 1);
        const std::size_t cut = rest.rfind("/round:");
        if (cut == std::string::npos) continue;
        const std::string side = rest.substr(0, cut);
        const int round = std::stoi(rest.substr(cut + 7));
        const double t = seconds(p.clock == Clock::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime(),
                                 run.time_unit);
        if (side == p.nameA) p.a[round] = t;
        else if (side == p.nameB) p.b[round] = t;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const PairInfo& p : pairs()) {
      std::vector<double> a, b, ratio;
      for (const auto& [round, ta] : p.a) {
        auto it = p.b.find(round);
        if (it == p.b.end() || it->second <= 0) continue;
        a.push_back(ta);
        b.push_back(it->second);
        ratio.push_back(ta / it->second);
      }
      if (ratio.empty()) {
        std::printf("%s: no complete round\n", p.family.c_str());
        continue;
      }
      const char* clock = p.clock == Clock::Cpu ? "CPU" : "wall";
      std::printf("%s, %zu paired rounds, %s seconds per iteration, median [min..max]:\n", p.family.c_str(),
                  ratio.size(), clock);
      std::printf("  %-28s %s\n", p.nameA.c_str(), formatSpread(spreadOf(a)).c_str());
      std::printf("  %-28s %s\n", p.nameB.c_str(), formatSpread(spreadOf(b)).c_str());
      std::printf("  %-28s %s%s%s\n", (p.nameA + " / " + p.nameB).c_str(), formatSpread(spreadOf(ratio), "%.2f").c_str(),
                  p.target.empty() ? "" : "   target ", p.target.c_str());
    }
  }
};

}  // namespace

Paired::Paired(std::string family, std::string nameA, std::string nameB, Clock clock, std::string target) {
  pairs().push_back({std::move(family), std::move(nameA), std::move(nameB), std::move(target), clock, {}, {}});
  index_ = pairs().size() - 1;
}

void Paired::add(int rounds, Body a, Body b, int iterations, bool manualTime) {
  const PairInfo& p = pairs()[index_];
  for (int round = 1; round <= rounds; ++round) {
    const bool aFirst = round % 2 == 1;
    for (int k = 0; k < 2; ++k) {
      const bool isA = (k == 0) == aFirst;
      const std::string name = p.family + "/" + (isA ? p.nameA : p.nameB) + "/round:" + std::to_string(round);
      auto* bm = benchmark::RegisterBenchmark(name.c_str(), isA ? a : b);
      bm->Unit(benchmark::kMillisecond);
      if (iterations > 0) bm->Iterations(iterations);
      if (manualTime) bm->UseManualTime();
      else if (p.clock == Clock::Wall) bm->UseRealTime();
    }
  }
}

Spread spreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

std::string formatSpread(const Spread& s, const char* format) {
  char a[32], b[32], c[32];
  std::snprintf(a, sizeof a, format, s.median);
  std::snprintf(b, sizeof b, format, s.min);
  std::snprintf(c, sizeof c, format, s.max);
  return std::string(a) + " [" + b + ".." + c + "]";
}

int runPaired(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PairedReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
