#pragma once
// Paired rounds for Google Benchmark: a figure and its baseline measured in turn, round after
// round, the order alternating (A B, B A, A B, ...), so that a drift of the machine's speed
// during the run falls on both alike. Each round of each side is one benchmark of its own
// (Google Benchmark runs repetitions of one benchmark back to back, which cannot alternate).
//
//   bench::Paired pair("xls", "cls_Excel", "one fwrite", bench::Clock::Cpu, ">= 0.5");
//   pair.add(7, [](benchmark::State& s) { ... }, [](benchmark::State& s) { ... });
//   return bench::runPaired(argc, argv);
//
// After the usual table, runPaired prints for each pair the time of each side and the ratio of
// A's time to B's, each as the median of the rounds with their min and max: "0.93 [0.88..1.02]".
// A ratio of times below 1 means A is faster. A benchmark body times its iterations as usual
// (or with manual time); the round's figure is the time per iteration. Pairs are kept for the
// life of the program: make them in main, before runPaired.

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

enum class Clock { Wall, Cpu };

class Paired {
 public:
  using Body = std::function<void(benchmark::State&)>;
  // `target` is printed beside the ratio (for example "<= 1.10"), not judged.
  Paired(std::string family, std::string nameA, std::string nameB, Clock clock, std::string target = "");
  // Registers `rounds` rounds of the two bodies, each round one iteration count (`iterations`
  // 0: let Google Benchmark choose, which it does per round). `manualTime`: the bodies report
  // their own time with SetIterationTime.
  void add(int rounds, Body a, Body b, int iterations = 0, bool manualTime = false);

 private:
  std::size_t index_ = 0;
};

// Runs every registered benchmark with the paired reporter; returns main's exit status.
int runPaired(int argc, char** argv);

// Median and spread of a series, as printed: "median [min..max]".
struct Spread {
  double median = 0, min = 0, max = 0;
};
Spread spreadOf(std::vector<double> values);
std::string formatSpread(const Spread& s, const char* format = "%.3g");

}  // namespace bench
