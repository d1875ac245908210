// SpreadDisplay of a 100,000-record, 20-field recordset (bind, fill, SumFormula) beside the
// baseline: a plain copy of the same values out of the recordset into a vector of strings, in
// the same run. Reports
// the time ratio and the peak heap memory of each (counted by the global allocator below).

#include "bench/paired_rounds.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "lumagrid/spread.h"
#include "platform/ado/recordset.h"
#include "platform/grid/grid.h"

namespace {

std::atomic<long long> liveBytes{0}, peakBytes{0};

void* counted(std::size_t n) {
  void* p = std::malloc(n + 16);
  if (!p) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  long long now = liveBytes += static_cast<long long>(n);
  long long peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + 16;
}
void release(void* p) {
  if (!p) return;
  char* base = static_cast<char*>(p) - 16;
  liveBytes -= static_cast<long long>(*reinterpret_cast<std::size_t*>(base));
  std::free(base);
}

constexpr int kRecords = 100000, kFields = 20;

// Integers, amounts with decimals and Korean texts, as a freight office's list holds them, in
// a Recordset of platform/ado as the data library hands it over.
const veltrano::ado::RecordsetPtr& table() {
  static veltrano::ado::RecordsetPtr rs = [] {
    auto r = veltrano::ado::Recordset::create();
    for (int f = 0; f < kFields; ++f)
      r->Fields().Append("필드" + std::to_string(f + 1),
                         f % 3 == 0 ? veltrano::ado::adVarWChar : f % 3 == 1 ? veltrano::ado::adInteger : veltrano::ado::adDouble,
                         f % 3 == 0 ? 40 : 0);
    r->Open();
    for (int row = 0; row < kRecords; ++row) {
      r->AddNew();
      for (int f = 0; f < kFields; ++f) {
        if (f % 3 == 0) r->Fields(f).setValue(veltrano::Variant("화주 " + std::to_string(row % 977) + "호점"));
        else if (f % 3 == 1) r->Fields(f).setValue(veltrano::Variant(static_cast<std::int32_t>(row * 7 + f)));
        else r->Fields(f).setValue(veltrano::Variant(row * 1.25 + f));
      }
      r->Update();
    }
    return r;
  }();
  return rs;
}

long long gridPeak = 0, copyPeak = 0;

void BM_SpreadDisplay(benchmark::State& state) {
  auto src = table();
  lumagrid::Spread spread;
  for (auto _ : state) {
    const long long before = liveBytes.load();
    peakBytes = before;
    {
      veltrano::grid::Grid grid, tot;
      spread.SpreadDisplay(src, grid, tot, false);
      benchmark::DoNotOptimize(tot.textAt(1, 2));
      gridPeak = peakBytes.load() - before;
    }
  }
  state.counters["peak_MB"] = static_cast<double>(gridPeak) / 1e6;
}

void BM_CopyToStrings(benchmark::State& state) {
  auto src = table();
  for (auto _ : state) {
    const long long before = liveBytes.load();
    peakBytes = before;
    {
      std::vector<std::string> cells;
      cells.reserve(static_cast<std::size_t>(kRecords) * kFields);
      for (long long r = 0; r < kRecords; ++r)
        for (int f = 0; f < kFields; ++f) cells.push_back(src->valueAt(static_cast<std::int32_t>(r), f).toText());
      benchmark::DoNotOptimize(cells.data());
      copyPeak = peakBytes.load() - before;
    }
  }
  state.counters["peak_MB"] = static_cast<double>(copyPeak) / 1e6;
}


}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }


int main(int argc, char** argv) {
  table();  // built once, outside the measurements
  bench::Paired pair("spread_display", "SpreadDisplay", "plain copy to strings", bench::Clock::Wall);
  pair.add(5, BM_SpreadDisplay, BM_CopyToStrings, 1);
  const int rc = bench::runPaired(argc, argv);
  if (copyPeak > 0)
    std::printf("SpreadDisplay / plain copy, peak memory: %.2fx (%.1f MB / %.1f MB)\n",
                static_cast<double>(gridPeak) / static_cast<double>(copyPeak), static_cast<double>(gridPeak) / 1e6,
                static_cast<double>(copyPeak) / 1e6);
  return rc;
}
