// One million cells written with cls_Excel, beside a raw buffered write of the same bytes to a
// file in the same run. Target: the writer at least half the raw rate (writer/raw >= 0.5).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/xls_writer.h"
#include "lumagrid/cls_excel.h"

namespace {

constexpr int kRows = 25000, kColumns = 40;  // 1,000,000 cells
const std::string kText = "화물 운송 12345";

std::filesystem::path benchFile(const char* name) { return std::filesystem::temp_directory_path() / name; }

// Cell r, c of the workload: a mix of integers, negative integers, numbers and Korean text.
template <typename Writer>
void writeCells(Writer&& write) {
  for (int r = 1; r <= kRows; ++r) {
    for (int c = 1; c <= kColumns; ++c) {
      switch (c % 4) {
        case 0: write(lumagrid::xlsInteger, r, c, veltrano::Variant(static_cast<std::int32_t>((r * c) % 30000))); break;
        case 1: write(lumagrid::xlsInteger, r, c, veltrano::Variant(static_cast<std::int32_t>(-(r % 1000)))); break;
        case 2: write(lumagrid::xlsNumber, r, c, veltrano::Variant(r * 0.25 + c)); break;
        default: write(lumagrid::xlsText, r, c, veltrano::Variant(kText)); break;
      }
    }
  }
}

// A sink that appends into a buffer the caller keeps (the writer drops its sink at close).
class Collect final : public veltrano::common::ByteSink {
 public:
  explicit Collect(std::vector<std::uint8_t>& out) : out_(out) {}
  void write(std::span<const std::uint8_t> b) override { out_.insert(out_.end(), b.begin(), b.end()); }
  void flush() override {}

 private:
  std::vector<std::uint8_t>& out_;
};

// The records of the whole workload, one string each, as the writer produces them.
const std::vector<std::string>& records() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> out;
    out.reserve(kRows * kColumns + 3);
    std::vector<std::uint8_t> bytes;
    veltrano::common::XlsWriter w;
    w.CreateOn(std::make_unique<Collect>(bytes));
    std::size_t seen = 0;
    auto take = [&] {
      out.emplace_back(bytes.begin() + static_cast<long>(seen), bytes.end());
      seen = bytes.size();
    };
    take();
    writeCells([&](std::int32_t type, int r, int c, const veltrano::Variant& v) {
      w.WriteValue(type, 0, 0, 0, r, c, v);
      take();
    });
    w.CloseFile();
    take();
    return out;
  }();
  return all;
}

std::size_t totalBytes() {
  std::size_t n = 0;
  for (const auto& r : records()) n += r.size();
  return n;
}

void BM_RawBufferedWrite(benchmark::State& state) {
  const auto& recs = records();
  const auto path = benchFile("bench_xls_raw.bin");
  std::vector<char> buffer(veltrano::common::BufferedFileSink::kDefaultCapacity);
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    for (const auto& r : recs) std::fwrite(r.data(), 1, r.size(), f);
    std::fclose(f);
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes()));
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}

void BM_ClsExcelWrite(benchmark::State& state) {
  const auto path = benchFile("bench_xls_writer.xls");
  for (auto _ : state) {
    lumagrid::cls_Excel x;
    x.CreateFile(path.string());
    writeCells([&](std::int32_t type, int r, int c, const veltrano::Variant& v) {
      x.WriteValue(static_cast<lumagrid::ValueTypes>(type), lumagrid::xlsFont0, lumagrid::xlsGeneralAlign,
                   lumagrid::xlsNormal, r, c, v);
    });
    x.CloseFile();
  }
  if (std::filesystem::file_size(path) != totalBytes()) state.SkipWithError("the writer's file differs in size");
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes()));
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}

// Both write a file: wall-clock time is what a user waits for.
BENCHMARK(BM_RawBufferedWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClsExcelWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the writer's rate as a share of the raw rate after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      const bool usable = r.run_type == Run::RT_Iteration || r.aggregate_name == "mean";
      if (it != r.counters.end() && usable) rates_[r.run_name.function_name] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double raw = rates_["BM_RawBufferedWrite"], writer = rates_["BM_ClsExcelWrite"];
    if (raw > 0) std::printf("cls_Excel / raw buffered write: %.2f (target >= 0.50)\n", writer / raw);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
