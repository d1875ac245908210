// Transactions of the data library against the reference server on loopback, beside the same
// HTTP posts made with bare libcurl in the same run.
//
// The reference server runs in this process on 127.0.0.1 (port 0) over its sample data, with a
// table of 100 orders added through the data service. Each of the 1,000 iterations makes, in
// turn (the order rotating, so that the load of a shared machine falls on all alike):
//  - one VBF transaction, DB_ADD + DB_EXECUTE of "select the 100 orders": request built and
//    saved, notices, the post, the wait, and the reply opened as a recordset of 100 rows;
//  - one post of the same request XML with the same four headers through a bare libcurl easy
//    handle, on a fresh connection as each transaction of the library makes one, keeping the
//    reply bytes (the ADO XML of the 100 rows);
//  - the same bare post on a kept connection, which the library never has.
// The figures are the medians per transaction or post. `vs_bare_curl` is the VBF's rate as a
// share of the bare posts' on fresh connections (target: at least 0.5); `vs_keepalive` the
// same against kept connections.

#include "bench/paired_rounds.h"
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lumadata/vbf.h"
#include "platform/ado/recordset.h"
#include "platform/ui/scripted_ui.h"
#include "server/http_server.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTransactions = 1000;
constexpr int kRows = 100;
constexpr const char* kSelect = "select id, customer, amount, day from orders order by id";

// The reference server over the sample data with the orders table, for the whole run.
struct Service {
  fs::path dir;
  std::unique_ptr<veltrano::server::HttpServer> server;
  std::thread thread;
  int port = 0;
  std::string error;

  Service() {
    dir = fs::temp_directory_path() / ("veltrano-bench-datalib-" + std::to_string(getpid()));
    fs::create_directories(dir);
    veltrano::server::ServerOptions o;
    o.host = "127.0.0.1";
    o.port = 0;
    o.dataDir = dir;
    o.writable = true;
    server = std::make_unique<veltrano::server::HttpServer>(o);
    port = server->bind();
    thread = std::thread([this] { server->run(); });
    const std::string cmd = std::string("'") + VELTRANO_SAMPLE_DATA_SCRIPT + "' '" + dir.string() + "' 127.0.0.1:" +
                            std::to_string(port) + " >/dev/null";
    if (std::system(cmd.c_str()) != 0) {
      error = "make-sample-data failed";
      return;
    }
    setenv("VELTRANO_APP_HOST", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    veltrano::ui::ScriptedUi ui;
    veltrano::ui::ScopedUi scoped(ui);
    lumadata::VBF db;
    db.DB_OPEN("tarvic");
    for (const char* sql : {"create table orders (id integer primary key, customer text, amount real, day text)",
                            "insert into orders with recursive n(i) as (select 1 union all select i + 1 from n where i < 100) "
                            "select i, '화물 운송 ' || i, i * 1250.5, '2026-01-' || (1 + i % 28) from n"}) {
      db.DB_ADD(sql);
      lumadata::VARIANT_BOOL fine = 0;
      if (!db.DB_EXECUTE(&fine) || fine != lumadata::VARIANT_TRUE) error = std::string("setup failed: ") + sql;
    }
  }
  ~Service() {
    server->stop();
    thread.join();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/Database/ORVEX/"; }
};

Service& service() {
  static Service s;
  return s;
}

// The request XML a VBF posts for kSelect.
std::string requestXml() {
  namespace ado = veltrano::ado;
  auto rs = ado::Recordset::create();
  rs->setCursorLocation(ado::adUseClient);
  rs->Fields().Append("SQL", ado::adVarChar, 65534);
  rs->Fields().Append("DATABASE", ado::adVarChar, 65534);
  rs->Fields().Append("BYTESDATA", ado::adVariant, 0);
  rs->Open();
  rs->AddNew();
  rs->Fields(0).setValue(veltrano::Variant(kSelect));
  rs->Fields(1).setValue(veltrano::Variant("tarvic"));
  rs->Update();
  return rs->SaveXml();
}

std::size_t keep(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One post of the request XML through a libcurl easy handle; false when it did not bring 200
// and rows.
class BarePost {
 public:
  BarePost(std::string url, bool reuseConnection) : url_(std::move(url)), body_(requestXml()), reuse_(reuseConnection) {
    curl_ = curl_easy_init();
    for (const char* h : {"Content-Type: application/x-www-form-urlencoded", "Charset: euc-kr", "Pragma: no-cache", "Expires: 0"})
      headers_ = curl_slist_append(headers_, h);
  }
  ~BarePost() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(curl_);
  }
  bool post() {
    reply_.clear();
    curl_easy_setopt(curl_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, reuse_ ? 0L : 1L);
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body_.data());
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply_);
    long status = 0;
    return curl_easy_perform(curl_) == CURLE_OK && curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
           status == 200 && reply_.find("<z:row") != std::string::npos;
  }
  std::size_t replyBytes() const { return reply_.size(); }

 private:
  std::string url_, body_;
  bool reuse_;
  CURL* curl_ = nullptr;
  curl_slist* headers_ = nullptr;
  std::string reply_;
};

double microseconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - from).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Each iteration makes one VBF transaction, one bare post on a fresh connection (as each
// transaction of the library opens one) and one bare post on a kept connection, in turn, so
// that the load of a shared machine falls on all three alike. The figures are the medians.
void BM_VbfTransactionVsBareCurl(benchmark::State& state) {
  Service& s = service();
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  veltrano::ui::ScriptedUi ui;
  veltrano::ui::ScopedUi scoped(ui);
  lumadata::VBF db;
  db.DB_OPEN("tarvic");
  BarePost fresh(s.url(), false), kept(s.url(), true);
  std::vector<double> vbf, curlFresh, curlKept;
  const auto transaction = [&] {
    const auto t = std::chrono::steady_clock::now();
    db.DB_ADD(kSelect);
    lumadata::VARIANT_BOOL fine = lumadata::VARIANT_FALSE;
    auto rs = db.DB_EXECUTE(&fine);
    const bool ok = rs && fine == lumadata::VARIANT_TRUE && rs->State() == veltrano::ado::adStateOpen && rs->RecordCount() == kRows;
    vbf.push_back(microseconds(t));
    return ok;
  };
  const auto bare = [](BarePost& p, std::vector<double>& times) {
    const auto t = std::chrono::steady_clock::now();
    const bool ok = p.post();
    times.push_back(microseconds(t));
    return ok;
  };
  int turn = 0;
  for (auto _ : state) {
    bool ok = true;
    for (int k = 0; k < 3; ++k) {
      switch ((turn + k) % 3) {
        case 0: ok = transaction() && ok; break;
        case 1: ok = bare(fresh, curlFresh) && ok; break;
        default: ok = bare(kept, curlKept) && ok; break;
      }
    }
    ++turn;
    if (!ok) {
      state.SkipWithError("a transaction or a post failed");
      break;
    }
  }
  std::vector<double> ratio;
  for (std::size_t i = 0; i < std::min(vbf.size(), curlFresh.size()); ++i) ratio.push_back(vbf[i] / curlFresh[i]);
  std::printf("\nmicroseconds, median [min..max] of %zu turns: VBF transaction %s, bare post %s, bare post on a kept"
              " connection %s; VBF / bare post %s\n",
              vbf.size(), bench::formatSpread(bench::spreadOf(vbf)).c_str(),
              bench::formatSpread(bench::spreadOf(curlFresh)).c_str(),
              bench::formatSpread(bench::spreadOf(curlKept)).c_str(),
              bench::formatSpread(bench::spreadOf(ratio), "%.2f").c_str());
  const double v = median(vbf), f = median(curlFresh), k = median(curlKept);
  state.counters["vbf_us"] = v;
  state.counters["curl_us"] = f;
  state.counters["curl_keepalive_us"] = k;
  state.counters["vs_bare_curl"] = v > 0 ? f / v : 0;
  state.counters["vs_keepalive"] = v > 0 ? k / v : 0;
  state.counters["reply_bytes"] = static_cast<double>(fresh.replyBytes());
}

}  // namespace

BENCHMARK(BM_VbfTransactionVsBareCurl)->Iterations(kTransactions)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
