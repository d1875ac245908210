// Transactions of the data library over loopback, beside the same HTTP posts made with bare
// libcurl in the same run.
//
// A small data service in this process answers every POST to 127.0.0.1 with a 100-row rowset
// (about 10 KB of ADO XML) and closes the connection. Each of the 1,000 iterations makes, in
// turn, one VBF transaction (DB_ADD + DB_EXECUTE: request built and saved, notices, the post,
// the wait, the reply opened as a recordset of 100 rows) and one post of the same request XML
// with the same four headers through a bare libcurl easy handle, so that the load of a shared
// machine falls on both alike. The figures are the medians; `vs_bare_curl` is the VBF's
// transaction rate as a share of libcurl's (target: at least 0.5).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "lumadata/vbf.h"
#include "platform/ado/recordset.h"
#include "platform/ui/scripted_ui.h"

namespace {

constexpr int kTransactions = 1000;
constexpr int kRows = 100;
constexpr const char* kSelect = "select id, customer, amount, day from orders order by id";

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

// The data service: answers each request on 127.0.0.1 with one fixed reply and closes the
// connection; one connection at a time (the clients here are sequential); every wait bounded.
class Service {
 public:
  Service() : reply_(replyFor(hundredRows())) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 64) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      error = "cannot listen on 127.0.0.1";
      return;
    }
    port_ = ntohs(a.sin_port);
    setenv("VELTRANO_APP_HOST", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
    thread_ = std::thread([this] { loop(); });
  }
  ~Service() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/Database/ORVEX/"; }
  std::string error;

 private:
  static std::string replyFor(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
  }
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

// Each iteration makes one VBF transaction and one bare post, in turn.
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
  BarePost fresh(s.url(), false);
  std::vector<double> vbf, curlFresh;
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
    for (int k = 0; k < 2; ++k) ok = ((turn + k) % 2 == 0 ? transaction() : bare(fresh, curlFresh)) && ok;
    ++turn;
    if (!ok) {
      state.SkipWithError("a transaction or a post failed");
      break;
    }
  }
  const double v = median(vbf), f = median(curlFresh);
  state.counters["vbf_us"] = v;
  state.counters["curl_us"] = f;
  state.counters["vs_bare_curl"] = v > 0 ? f / v : 0;
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
