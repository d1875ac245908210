// Full redraws of the updater's progress bar (300 x 24, percentage caption, theme 1) against a
// plain fill of the same surface in the same run, both in CPU time. Each Value let redraws
// everything: window shape, palette, four gradients, outline and the caption's text outputs.
// The ratio printed at the end is the cost of one full redraw in plain fills.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "platform/gdi/qt_bridge.h"
#include "platform/gdi/surface.h"
#include "platform/runtime/property_bag.h"
#include "updater/progress_bar.h"

namespace {

namespace gdi = veltrano::gdi;

// A container that ignores notices, so the benchmark measures the control alone.
class QuietSite : public veltrano::ControlSite {
 public:
  void propertyChanged(std::string_view) override {}
  std::string ambientDisplayName() const override { return "SP_PB"; }
  veltrano::Font ambientFont() const override { return veltrano::Font{}; }
};

void BM_PlainFill(benchmark::State& state) {
  gdi::Surface surface(300, 24, gdi::RGB(240, 240, 240));
  gdi::ColorRef c = gdi::RGB(10, 20, 30);
  for (auto _ : state) {
    surface.fillRect(0, 0, 300, 24, c);
    c ^= 1;
    benchmark::DoNotOptimize(surface.pixel(150, 12));
  }
  state.counters["per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainFill);

void fullRedraw(benchmark::State& state, int effect) {
  QuietSite site;
  meridox::ProgressBar bar(site, 300, 24);
  bar.InitProperties();
  bar.TextStyle(2);
  bar.TextEffect(effect);
  std::int32_t v = 0;
  for (auto _ : state) {
    v = v == 100 ? 0 : v + 1;
    bar.Value(v);
    benchmark::DoNotOptimize(bar.surface().pixel(150, 12));
  }
  state.counters["per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Shadow: two text outputs, the updater's own setting of the bar.
void BM_FullRedraw(benchmark::State& state) { fullRedraw(state, 5); }
BENCHMARK(BM_FullRedraw);

// Outline: the most text outputs (five).
void BM_FullRedrawOutlineEffect(benchmark::State& state) { fullRedraw(state, 4); }
BENCHMARK(BM_FullRedrawOutlineEffect);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // One figure per benchmark (CPU time, steadier than wall time on a shared machine): the
    // median when repetitions are asked for, else the run.
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        seconds_[name] = r.GetAdjustedCPUTime();
        medians_.insert(name);
      } else if (r.run_type == Run::RT_Iteration && medians_.count(name) == 0) {
        seconds_[name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  gdi::ensureGuiApplication();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double fill = reporter.time("BM_PlainFill");
  for (const char* name : {"BM_FullRedraw", "BM_FullRedrawOutlineEffect"}) {
    const double redraw = reporter.time(name);
    if (fill > 0 && redraw > 0)
      std::printf("%s / BM_PlainFill = %.1f (one full redraw costs %.1f plain fills of the surface)\n", name,
                  redraw / fill, redraw / fill);
  }
  benchmark::Shutdown();
  return 0;
}
