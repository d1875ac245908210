// The query service's keyed hex encoding of 1 MB of SQL text, both ways, beside a bare
// transformation of the same text in the same run: its CP949 bytes written as hex digits
// (what any encoding of the request must at least do). The counter vs_bare_hex is the time of
// one encoding (or decoding) over the time of that bare transformation, both measured here.

#include "bench/paired_rounds.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/text/ansi.h"
#include "updater/query_protocol.h"

namespace {

// About 1 MB of statements, a third of them with Korean text.
const std::string& sqlText() {
  static const std::string text = [] {
    std::string s;
    int i = 0;
    while (s.size() < (1u << 20)) {
      s += "select productcode, filename, version from qz_files where productkey='TARVIC" + std::to_string(i) + "'";
      if (i % 3 == 0) s += " and memo like '%타르빅 화물관리%'";
      s += "; ";
      ++i;
    }
    s.pop_back();  // no trailing blank: the encoding covers the trimmed length
    return s;
  }();
  return text;
}

const std::string kKey = meridox::MakeDigitKey();

std::string bareHex(const std::string& text) {
  static const char* digits = "0123456789ABCDEF";
  const std::string ansi = veltrano::text::toAnsiString(text);
  std::string out;
  out.reserve(ansi.size() * 2);
  for (unsigned char b : ansi) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

// Seconds per call of `f`, the best of five.
template <typename F>
double secondsPerCall(F f) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(f());
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

void report(benchmark::State& state, double seconds) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sqlText().size()));
  state.counters["vs_bare_hex"] = seconds / secondsPerCall([] { return bareHex(sqlText()); });
}

void BM_BareHex(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(bareHex(sqlText()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sqlText().size()));
}

void BM_Encode(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(meridox::EncDecText(sqlText(), kKey, -1));
  report(state, secondsPerCall([] { return meridox::EncDecText(sqlText(), kKey, -1); }));
}

void BM_Decode(benchmark::State& state) {
  const std::string encoded = meridox::EncDecText(sqlText(), kKey, -1);
  std::string decoded;
  for (auto _ : state) {
    decoded = meridox::EncDecText(encoded, kKey, 0);
    benchmark::DoNotOptimize(decoded);
  }
  if (decoded != sqlText()) state.SkipWithError("the decoded text differs from the original");
  report(state, secondsPerCall([&] { return meridox::EncDecText(encoded, kKey, 0); }));
}

}  // namespace


int main(int argc, char** argv) {
  bench::Paired encode("keyed_hex_1MB_sql", "encode", "bare hex", bench::Clock::Cpu);
  encode.add(7, BM_Encode, BM_BareHex);
  bench::Paired decode("keyed_hex_1MB_sql_decode", "decode", "bare hex", bench::Clock::Cpu);
  decode.add(7, BM_Decode, BM_BareHex);
  return bench::runPaired(argc, argv);
}
