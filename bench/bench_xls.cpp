// One million cells written with cls_Excel, beside writing the same bytes to a file with one
// fwrite in the same run: what the file costs at the least. Paired rounds, CPU time of the
// process's thread (the disk is the same for both and not what is measured). The ratio is what
// building the records costs over the bytes alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/paired_rounds.h"
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

// The writer's whole file, made once in memory.
const std::vector<std::uint8_t>& fileBytes() {
  static const std::vector<std::uint8_t> all = [] {
    std::vector<std::uint8_t> bytes;
    veltrano::common::XlsWriter w;
    w.CreateOn(std::make_unique<Collect>(bytes));
    writeCells([&](std::int32_t type, int r, int c, const veltrano::Variant& v) { w.WriteValue(type, 0, 0, 0, r, c, v); });
    w.CloseFile();
    return bytes;
  }();
  return all;
}

void rawWrite(benchmark::State& state) {
  const auto& bytes = fileBytes();
  const auto path = benchFile("bench_xls_raw.bin");
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void clsExcelWrite(benchmark::State& state) {
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
  if (std::filesystem::file_size(path) != fileBytes().size()) state.SkipWithError("the writer's file differs in size");
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes().size()));
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}

}  // namespace

int main(int argc, char** argv) {
  fileBytes();  // made before the first round, so no round pays for it
  bench::Paired pair("xls_1M_cells", "cls_Excel", "one fwrite of the same bytes", bench::Clock::Cpu);
  pair.add(7, clsExcelWrite, rawWrite, 3);
  return bench::runPaired(argc, argv);
}
