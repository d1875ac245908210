// Full redraws of the updater's progress bar (300 x 24, percentage caption, theme 1) against a
// plain fill of the same surface in the same run, both in CPU time. Each Value let redraws
// everything: window shape, palette, four gradients, outline and the caption's text outputs.
// The ratio printed at the end is the cost of one full redraw in plain fills.
#include "bench/paired_rounds.h"

#include <cstdio>
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

// Outline: the most text outputs (five).
void BM_FullRedrawOutlineEffect(benchmark::State& state) { fullRedraw(state, 4); }


}  // namespace

int main(int argc, char** argv) {
  bench::Paired shadow("progress_bar_redraw", "full redraw (shadow)", "plain fill", bench::Clock::Cpu);
  shadow.add(7, BM_FullRedraw, BM_PlainFill);
  bench::Paired outline("progress_bar_redraw_outline", "full redraw (outline)", "plain fill", bench::Clock::Cpu);
  outline.add(7, BM_FullRedrawOutlineEffect, BM_PlainFill);
  return bench::runPaired(argc, argv);
}
