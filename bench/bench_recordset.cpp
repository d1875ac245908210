// Recordset persistence against pugixml on the same text, in paired rounds, CPU time:
//  - loading a 100,000-row, 8-field rowset against a bare pugixml parse with parse_default
//    (target: at most twice its time);
//  - peak memory of each, counted by an allocator that sees every C++ and pugixml allocation
//    of the process (peak_MB), and what the loaded recordset keeps (held_MB);
//  - saving the recordset against pugixml saving its parsed document.

#include <malloc.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "bench/paired_rounds.h"
#include "platform/ado/recordset.h"

// ---- counting allocator ----

namespace {
std::size_t g_current = 0;
std::size_t g_peak = 0;

void* countedAlloc(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (p) {
    g_current += malloc_usable_size(p);
    g_peak = std::max(g_peak, g_current);
  }
  return p;
}
void countedFree(void* p) {
  if (!p) return;
  g_current -= malloc_usable_size(p);
  std::free(p);
}

// Peak bytes allocated while `f` runs, above what was allocated before.
template <typename F>
double peakMegabytes(F&& f) {
  const std::size_t base = g_current;
  g_peak = g_current;
  f();
  return static_cast<double>(g_peak - base) / (1024.0 * 1024.0);
}
}  // namespace

void* operator new(std::size_t n) {
  if (void* p = countedAlloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = countedAlloc(n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

namespace {

using namespace veltrano;
using namespace veltrano::ado;

constexpr int kRows = 100000;

// A reply as the query service sends it: plain (unchanged) rows of eight fields with Korean
// text, numbers, currency, dates, Booleans and a few characters that need escaping.
const std::string& document() {
  static const std::string text = [] {
    RecordsetPtr rs = Recordset::create();
    rs->Fields().Append("ID", adInteger);
    rs->Fields().Append("NAME", adVarWChar, 50);
    rs->Fields().Append("CODE", adVarChar, 20);
    rs->Fields().Append("AMOUNT", adCurrency);
    rs->Fields().Append("RATIO", adDouble);
    rs->Fields().Append("WHEN_AT", adDate);
    rs->Fields().Append("FLAG", adBoolean);
    rs->Fields().Append("NOTE", adVarWChar, 200, adFldIsNullable);
    rs->Open();
    const char* names[] = {"한국물류", "대한운송 주식회사", "Speedy Express", "서울 화물"};
    for (int i = 0; i < kRows; ++i) {
      rs->AddNew();
      rs->Fields(0).setValue(std::int32_t{i + 1});
      rs->Fields(1).setValue(names[i % 4]);
      rs->Fields(2).setValue("QZ-" + std::to_string(100000 + i));
      rs->Fields(3).setValue(CurrencyValue{static_cast<std::int64_t>(i) * 12345});
      rs->Fields(4).setValue(i / 7.0);
      rs->Fields(5).setValue(DateValue{40000.0 + i / 24.0});
      rs->Fields(6).setValue(i % 3 == 0);
      if (i % 5) rs->Fields(7).setValue("비고 " + std::to_string(i) + " <A&B> 'quoted'");
    }
    rs->Update();
    std::string xml = rs->SaveXml();
    // Make the pending inserts plain rows, as a query reply carries them.
    std::string out;
    out.reserve(xml.size());
    std::size_t pos = 0;
    while (pos < xml.size()) {
      std::size_t end = xml.find("\r\n", pos);
      end = end == std::string::npos ? xml.size() : end + 2;
      std::string_view line(xml.data() + pos, end - pos);
      if (line == "\t<rs:insert>\r\n" || line == "\t</rs:insert>\r\n") {
      } else if (line.starts_with("\t\t<z:row")) {
        out.append(line.substr(1));
      } else {
        out.append(line);
      }
      pos = end;
    }
    return out;
  }();
  return text;
}

void bareParse(const std::string& text) {
  pugi::xml_document doc;
  const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  benchmark::DoNotOptimize(r.status);
}

void load(const std::string& text) {
  Recordset rs;
  const LoadResult r = rs.loadXml(text);
  if (!r || rs.RecordCount() != kRows) std::abort();
  benchmark::DoNotOptimize(rs.RecordCount());
}

void BM_BareParse_PugixmlDefault(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) bareParse(text);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["input_MB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
  state.counters["peak_MB"] = peakMegabytes([&] { bareParse(text); });
}

void BM_RecordsetLoad(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) load(text);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["peak_MB"] = peakMegabytes([&] { load(text); });
  Recordset held;
  held.OpenXml(text);
  state.counters["held_MB"] = static_cast<double>(held.memoryBytes()) / (1024.0 * 1024.0);
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// Baseline of the save: pugixml writing the document it parsed from the same text.
void BM_PugixmlSave(benchmark::State& state) {
  const std::string& text = document();
  pugi::xml_document doc;
  doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  for (auto _ : state) {
    StringWriter w;
    doc.save(w, "\t", pugi::format_raw, pugi::encoding_utf8);
    benchmark::DoNotOptimize(w.out.size());
  }
}

void BM_RecordsetSave(benchmark::State& state) {
  Recordset rs;
  rs.OpenXml(document());
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string saved = rs.SaveXml();
    size = saved.size();
    benchmark::DoNotOptimize(saved.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["output_MB"] = static_cast<double>(size) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  pugi::set_memory_management_functions(countedAlloc, countedFree);
  document();  // made once, before the first round
  bench::Paired load("recordset_load", "Recordset load", "bare pugixml parse", bench::Clock::Cpu, "<= 2");
  load.add(7, BM_RecordsetLoad, BM_BareParse_PugixmlDefault);
  bench::Paired save("recordset_save", "Recordset save", "pugixml save", bench::Clock::Cpu);
  save.add(7, BM_RecordsetSave, BM_PugixmlSave);
  return bench::runPaired(argc, argv);
}
