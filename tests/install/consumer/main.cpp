// A product program calling a class of each library, as the suite's programs do: settings
// through both REGISTRY classes, and one Lumadata transaction against a tiny data service of its
// own on loopback, whose recordset Lumagrid then shows in a grid.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "lumadata/dictionary.h"
#include "lumadata/registry.h"
#include "lumadata/vbf.h"
#include "lumagrid/registry.h"
#include "lumagrid/spread.h"
#include "platform/ado/recordset.h"

namespace {

// Answers one HTTP request on 127.0.0.1 with `reply`, waiting at most 10 s for it.
class OneShotServer {
 public:
  explicit OneShotServer(std::string body) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 1) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, body] { serve(body); });
  }
  ~OneShotServer() {
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }
  int port() const { return port_; }
  const std::string& request() const { return request_; }

 private:
  void serve(const std::string& body) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 10000) != 1) return;
    const int c = accept(fd_, nullptr, nullptr);
    if (c < 0) return;
    char buf[4096];
    std::size_t want = std::string::npos;
    while (request_.size() < want) {
      pollfd q{c, POLLIN, 0};
      if (poll(&q, 1, 10000) != 1) break;
      const ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request_.append(buf, static_cast<std::size_t>(n));
      const auto head = request_.find("\r\n\r\n");
      const auto cl = request_.find("Content-Length: ");
      if (head != std::string::npos && cl != std::string::npos && cl < head)
        want = head + 4 + std::strtoul(request_.c_str() + cl + 16, nullptr, 10);
    }
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    (void)!send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(c);
  }

  int fd_ = -1;
  int port_ = 0;
  std::string request_;
  std::thread thread_;
};

std::string sampleRowset() {
  auto rs = veltrano::ado::Recordset::create();
  rs->Fields().Append("CUSTNO", veltrano::ado::adVarChar, 10);
  rs->Fields().Append("CUSTNAME", veltrano::ado::adVarWChar, 40);
  rs->Open();
  rs->AddNew();
  rs->Fields(0).setValue(veltrano::Variant("C-001"));
  rs->Fields(1).setValue(veltrano::Variant("라움 물류"));
  rs->Update();
  return rs->SaveXml();
}

// One EXECUTE through Lumadata, its recordset shown by Lumagrid; true when the grid shows the
// sample row.
bool dataTransaction() {
  OneShotServer server(sampleRowset());
  if (server.port() == 0) return false;
  setenv("VELTRANO_APP_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
  veltrano::ado::RecordsetPtr rs;
  {
    lumadata::VBF db;
    db.DB_OPEN("tarvic");
    lumadata::Dictionary param;
    param.Add("custNo", veltrano::Variant("C-001"));
    rs = db.EXECUTE(&param, "CUSTOMER");
  }
  if (!rs || rs->State() != veltrano::ado::adStateOpen || rs->RecordCount() != 1) return false;
  lumagrid::Spread spread;
  lumagrid::Grid grid;
  spread.SpreadDisplayOne(rs, grid, false);
  const std::string name = grid.textAt(1, 2);
  std::printf("%d row: %s %s\n", grid.MaxRows(), grid.textAt(1, 1).c_str(), name.c_str());
  return grid.MaxRows() == 1 && name == "라움 물류" && server.request().find("POST /ORVEX/CUSTOMER.ASP ") == 0;
}

// The error path every product program needs: a server error report completes the exchange
// (fine is True) but gives a closed recordset, which must not be read. True when it is told
// apart from a result.
bool serverErrorIsToldApart() {
  OneShotServer server("[에러번호] 102 '<' 근처의 구문이 잘못되었습니다.");
  if (server.port() == 0) return false;
  setenv("VELTRANO_APP_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
  lumadata::VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT * FROM 화주 WHERE <");
  lumadata::VARIANT_BOOL fine = lumadata::VARIANT_FALSE;
  const veltrano::ado::RecordsetPtr rs = db.DB_EXECUTE(&fine);
  if (!rs || rs->State() != veltrano::ado::adStateOpen) {
    std::printf("server error reported (fine %d), no rows read\n", fine);
    return fine == lumadata::VARIANT_TRUE && rs != nullptr;
  }
  std::printf("%d rows\n", rs->RecordCount());
  return false;
}

}  // namespace

int main() {
  lumagrid::REGISTRY grid;
  grid.HKEY(lumagrid::HKEY_CURRENT_USER);
  grid.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  grid.KeyName("DISPLAY");
  grid.KeyValue("FONTNAME");
  grid.SetRegistry("굴림체");

  if (!dataTransaction()) {
    std::printf("Lumadata transaction failed\n");
    return 1;
  }
  if (!serverErrorIsToldApart()) {
    std::printf("Lumadata server error not told apart\n");
    return 1;
  }

  lumadata::REGISTRY data;
  data.HKEY(lumadata::HKEY_CURRENT_USER);
  data.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  data.KeyName("DISPLAY");
  data.KeyValue("FONTNAME");
  const std::string back = data.GetRegistry();
  // The test passes on this text: printed only when every step before it succeeded.
  if (back == "굴림체") std::printf("%s\n", back.c_str());
  return back == "굴림체" ? 0 : 1;
}
