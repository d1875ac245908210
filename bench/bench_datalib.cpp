// Transactions of the data library over loopback, beside the same HTTP posts made with bare
// libcurl in the same run.
//
// A small data service in this process answers every POST with a 100-row rowset (ID, NAME,
// AMOUNT, DAY; about 20 KB of ADO XML), one connection per request as the data service does.
// BM_BareCurlPost posts the request XML of a VBF with the same four headers through one libcurl
// easy handle and keeps the reply bytes. BM_VbfTransaction runs DB_ADD + DB_EXECUTE on one VBF
// and checks that the recordset that comes back holds the 100 rows. Each runs 1,000 times; the VBF
// figure carries `vs_bare_curl`, its transaction rate as a share of libcurl's (target: at least
// 0.5).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "lumadata/vbf.h"
#include "platform/ado/recordset.h"
#include "platform/ui/scripted_ui.h"

namespace {

constexpr int kTransactions = 1000;
constexpr int kRows = 100;

std::string hundredRows() {
  namespace ado = veltrano::ado;
  auto rs = ado::Recordset::create();
  rs->Fields().Append("ID", ado::adInteger);
  rs->Fields().Append("NAME", ado::adVarWChar, 40);
  rs->Fields().Append("AMOUNT", ado::adCurrency);
  rs->Fields().Append("DAY", ado::adDate);
  rs->Open();
  for (int i = 1; i <= kRows; ++i) {
    rs->AddNew();
    rs->Fields(0).setValue(veltrano::Variant(std::int32_t{i}));
    rs->Fields(1).setValue(veltrano::Variant("화물 운송 " + std::to_string(i)));
    rs->Fields(2).setValue(veltrano::Variant(veltrano::CurrencyValue{i * 125000}));
    rs->Fields(3).setValue(veltrano::Variant(veltrano::makeDate(2026, 1, 1 + i % 28, 9, 30, 0)));
    rs->Update();
  }
  return rs->SaveXml();
}

// Answers each request on 127.0.0.1 with one fixed reply and closes the connection; serves one
// connection at a time (the clients here are sequential). Every wait is bounded.
class ReplyServer {
 public:
  explicit ReplyServer(const std::string& body)
      : reply_("HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 64) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      std::abort();
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { loop(); });
  }
  ~ReplyServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  int port() const { return port_; }

 private:
  void loop() {
    std::string request;
    char buf[65536];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      request.clear();
      std::size_t want = std::string::npos;
      while (request.size() < want) {
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 5000) != 1) break;
        const ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
        const auto head = request.find("\r\n\r\n");
        if (head == std::string::npos) continue;
        const auto cl = request.find("Content-Length: ");
        want = head + 4 + (cl != std::string::npos && cl < head ? std::strtoul(request.c_str() + cl + 16, nullptr, 10) : 0);
      }
      for (std::size_t sent = 0; sent < reply_.size();) {
        const ssize_t n = send(c, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      close(c);
    }
  }

  std::string reply_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

ReplyServer& server() {
  static ReplyServer s(hundredRows());
  return s;
}

constexpr const char* kSql = "SELECT ID, NAME, AMOUNT, DAY FROM orders ORDER BY ID LIMIT 100";

// The request XML a VBF posts for kSql.
std::string requestXml() {
  namespace ado = veltrano::ado;
  auto rs = ado::Recordset::create();
  rs->setCursorLocation(ado::adUseClient);
  rs->Fields().Append("SQL", ado::adVarChar, 65534);
  rs->Fields().Append("DATABASE", ado::adVarChar, 65534);
  rs->Fields().Append("BYTESDATA", ado::adVariant, 0);
  rs->Open();
  rs->AddNew();
  rs->Fields(0).setValue(veltrano::Variant(kSql));
  rs->Fields(1).setValue(veltrano::Variant("tarvic"));
  rs->Update();
  return rs->SaveXml();
}

std::size_t keep(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

double g_curlRate = 0;

void BM_BareCurlPost(benchmark::State& state) {
  const std::string url = "http://127.0.0.1:" + std::to_string(server().port()) + "/Database/ORVEX/";
  const std::string body = requestXml();
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const char* h : {"Content-Type: application/x-www-form-urlencoded", "Charset: euc-kr", "Pragma: no-cache", "Expires: 0"})
    headers = curl_slist_append(headers, h);
  std::string reply;
  for (auto _ : state) {
    reply.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK || curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
        status != 200 || reply.empty()) {
      state.SkipWithError("libcurl post failed");
      break;
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  state.counters["rate"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_VbfTransaction(benchmark::State& state) {
  veltrano::ui::ScriptedUi ui;
  veltrano::ui::ScopedUi scoped(ui);
  setenv("VELTRANO_APP_HOST", ("127.0.0.1:" + std::to_string(server().port())).c_str(), 1);
  lumadata::VBF db;
  db.DB_OPEN("tarvic");
  std::int64_t sum = 0;
  for (auto _ : state) {
    db.DB_ADD(kSql);
    lumadata::VARIANT_BOOL fine = lumadata::VARIANT_FALSE;
    auto rs = db.DB_EXECUTE(&fine);
    if (!rs || fine != lumadata::VARIANT_TRUE || rs->State() != veltrano::ado::adStateOpen || rs->RecordCount() != kRows) {
      state.SkipWithError("transaction failed");
      break;
    }
    sum += rs->RecordCount();
  }
  benchmark::DoNotOptimize(sum);
  state.counters["rate"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// `vs_bare_curl` needs both rates in hand, so the reporter works it out.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> copy = runs;
    for (auto& run : copy) {
      auto rate = run.counters.find("rate");
      if (rate == run.counters.end()) continue;
      const double perSecond = rate->second.value;
      if (run.run_name.function_name == "BM_BareCurlPost") g_curlRate = perSecond;
      else if (g_curlRate > 0) run.counters["vs_bare_curl"] = perSecond / g_curlRate;
      run.counters["per_s"] = perSecond;
      run.counters.erase("rate");
    }
    ConsoleReporter::ReportRuns(copy);
  }
};

}  // namespace

BENCHMARK(BM_BareCurlPost)->Iterations(kTransactions)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VbfTransaction)->Iterations(kTransactions)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
