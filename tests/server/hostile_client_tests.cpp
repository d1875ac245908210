// Clients that try to hold the server down or to confuse it, on real loopback sockets: every
// wait is bounded and every count small.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/ado/recordset.h"
#include "platform/text/ansi.h"
#include "server/query_service.h"
#include "server_fixture.h"

using namespace veltrano::test;
namespace fs = std::filesystem;
namespace text = veltrano::text;
using Clock = std::chrono::steady_clock;

namespace {

// A client socket on loopback, written and read by hand.
class Socket {
 public:
  explicit Socket(int port, int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool connected() const { return connected_; }
  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // What arrives until the server closes or `limit` passes; `closed` says which.
  std::string readUntilClosed(std::chrono::milliseconds limit, bool* closed = nullptr) {
    std::string all;
    const auto end = Clock::now() + limit;
    bool eof = false;
    while (!eof && Clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 1))) <= 0) continue;
      char buf[65536];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) eof = true;
      else all.append(buf, static_cast<std::size_t>(n));
    }
    if (closed) *closed = eof;
    return all;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

int statusOf(const std::string& reply) {
  return reply.size() > 12 && reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0;
}

long kibOf(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

class HostileClientTest : public ServerProgramFixture {
 protected:
  std::string post(const std::string& path, const std::string& body, const std::string& headers = "") {
    return rawRequest(port(), "POST " + path + " HTTP/1.1\r\nHost: x\r\n" + headers +
                                  "Content-Length: " + std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body)
        .body;
  }

};

}  // namespace

TEST_F(HostileClientTest, CompressedBodiesAndBadLengthsAreAnsweredAtOnce) {
  start();
  // A compressed body is refused from its head: the server neither waits for the body nor
  // inflates it.
  {
    Socket s(port());
    ASSERT_TRUE(s.send("POST /client/mysqlservice.asp HTTP/1.1\r\nHost: x\r\n"
                       "Content-Encoding: gzip\r\nContent-Length: 1048576\r\n\r\n"));
    const auto t0 = Clock::now();
    const std::string reply = s.readUntilClosed(std::chrono::seconds(5));
    EXPECT_EQ(statusOf(reply), 415) << reply;
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
  }
  for (const char* length : {"-5", "1e23", "99999999999999999999999", "12, 13"}) {
    Socket s(port());
    ASSERT_TRUE(s.send(std::string("POST /client/mysqlservice.asp HTTP/1.1\r\nHost: x\r\nContent-Length: ") +
                       length + "\r\n\r\nSQL="));
    bool closed = false;
    const std::string reply = s.readUntilClosed(std::chrono::seconds(5), &closed);
    EXPECT_EQ(statusOf(reply), 400) << length << ": " << reply;
    EXPECT_TRUE(closed) << length;
  }
  // Identity is no encoding, and the server still answers normally.
  EXPECT_EQ(post("/client/mysqlservice.asp", queryForm("select 1 where 0", "qz_update"),
                 "Content-Encoding: identity\r\n"),
            text::toAnsiString(veltrano::server::kNoRowsText));
}

// Requests sent back to back in one write, forms and all, are answered one by one in order:
// a form read together with its head must take its own bytes and no more.
TEST_F(HostileClientTest, PipelinedRequestsAreAnsweredInOrder) {
  start();
  auto request = [](const std::string& body, const char* connection) {
    return "POST /client/mysqlservice.asp HTTP/1.1\r\nHost: x\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: " + connection + "\r\n\r\n" + body;
  };
  Socket s(port());
  ASSERT_TRUE(s.send(request(queryForm("select 'first' as w", "qz_update"), "keep-alive") +
                     request(queryForm("select 1 where 0", "qz_update"), "keep-alive") +
                     request(queryForm("select 'third' as w", "qz_update"), "close")));
  const std::string replies = s.readUntilClosed(std::chrono::seconds(5));
  const auto first = replies.find("first"), none = replies.find(text::toAnsiString(veltrano::server::kNoRowsText)),
             third = replies.find("third");
  ASSERT_NE(third, std::string::npos) << replies;
  EXPECT_TRUE(first < none && none < third) << replies;
}

TEST_F(HostileClientTest, RequestHeadsAndBodiesHaveDeadlines) {
  start({"--header-timeout", "2", "--min-body-rate", "1000"});
  // One header line every 300 ms: each line is quick, the whole head is not.
  Socket trickle(port());
  ASSERT_TRUE(trickle.send("GET /FILES/TARVIC/README.TXT HTTP/1.1\r\nHost: x\r\n"));
  const auto t0 = Clock::now();
  bool closed = false;
  while (!closed && Clock::now() - t0 < std::chrono::seconds(6)) {
    trickle.send("X-a: b\r\n");
    trickle.readUntilClosed(std::chrono::milliseconds(300), &closed);
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(3500));

  // A body of 2000 bytes at 1000 bytes/s is due within 2 + 2 s; sending it slower is cut.
  Socket slowBody(port());
  ASSERT_TRUE(slowBody.send("POST /client/mysqlservice.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 2000\r\n\r\n"));
  const auto t1 = Clock::now();
  closed = false;
  while (!closed && Clock::now() - t1 < std::chrono::seconds(8)) {
    slowBody.send("SQL=");
    slowBody.readUntilClosed(std::chrono::milliseconds(300), &closed);
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(Clock::now() - t1, std::chrono::milliseconds(5500));
}

TEST_F(HostileClientTest, SlowClientsDoNotKeepOthersWaiting) {
  start({"--threads", "2"});
  writeFile(files() / "FILES" / "big.bin", std::string(8 << 20, 'x'));
  // Twenty connections trickling a head and twenty downloads that are never read, against two
  // database workers.
  std::vector<std::unique_ptr<Socket>> slow;
  for (int i = 0; i < 20; ++i) {
    slow.push_back(std::make_unique<Socket>(port()));
    slow.back()->send("GET /FILES/BIG.BIN HTTP/1.1\r\nHost: x\r\n");
    slow.push_back(std::make_unique<Socket>(port(), 4096));
    slow.back()->send("GET /FILES/BIG.BIN HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 0; i < 8; ++i) {
    for (std::size_t k = 0; k < slow.size(); k += 2) slow[k]->send("X-a: b\r\n");
    const auto t0 = Clock::now();
    const RawReply file = rawGet(port(), "/FILES/TARVIC/README.TXT");
    EXPECT_EQ(file.status, 200);
    const std::string query = post("/client/mysqlservice.asp", queryForm("select 1 where 0", "qz_update"));
    EXPECT_EQ(query, text::toAnsiString(veltrano::server::kNoRowsText));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1)) << "round " << i;
  }
}

TEST_F(HostileClientTest, AStalledDownloadIsKeptForTheStallTimeThenCut) {
  start({"--stall-timeout", "2"});
  const fs::path big = files() / "FILES" / "big.bin";
  { std::ofstream create(big); }
  fs::resize_file(big, 256u << 20);  // sparse
  Socket s(port(), 4096);
  ASSERT_TRUE(s.send("GET /FILES/BIG.BIN HTTP/1.1\r\nHost: x\r\n\r\n"));
  // A pause shorter than the stall time (the download control's Pause) loses nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  bool closed = false;
  std::string got = s.readUntilClosed(std::chrono::milliseconds(200), &closed);
  EXPECT_FALSE(closed);
  EXPECT_EQ(statusOf(got), 200);
  // A longer one ends the reply, short of the file.
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  got += s.readUntilClosed(std::chrono::seconds(5), &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(got.size(), std::size_t{256} << 20);
}

TEST_F(HostileClientTest, RepliesAreCappedBeforeTheyAreBuilt) {
  start();
  const long before = kibOf(server_->pid(), "VmHWM");
  // 200 MB in one value is refused by the database before it exists.
  std::string reply = text::fromAnsi(post("/client/mysqlservice.asp",
                                          queryForm("select zeroblob(200000000)", "qz_update")));
  EXPECT_EQ(reply.rfind("[에러번호] 18 :", 0), 0u) << reply;
  // Many values, each small, together over the cap.
  reply = text::fromAnsi(post("/client/mysqlservice.asp",
      queryForm("with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
                "select zeroblob(60000) from n", "qz_update")));
  EXPECT_EQ(reply.rfind("[에러번호] 18 :", 0), 0u) << reply.substr(0, 200);
  EXPECT_LT(kibOf(server_->pid(), "VmHWM") - before, 160 * 1024);

  // Under the cap the reply is whole; over it, also for the data service, an error text.
  server_.reset();
  start({"--max-reply-bytes", "100000"});
  reply = text::fromAnsi(post("/client/mysqlservice.asp",
                              queryForm("select hex(zeroblob(30000)) as v", "qz_update")));
  EXPECT_NE(reply.find("<rs:data>"), std::string::npos) << reply.substr(0, 200);
  reply = text::fromAnsi(post("/client/mysqlservice.asp",
                              queryForm("select hex(zeroblob(60000)) as v", "qz_update")));
  EXPECT_EQ(reply.rfind("[에러번호] 18 :", 0), 0u) << reply.substr(0, 200);
}

TEST_F(HostileClientTest, RangeAndPathEdges) {
  start();
  const std::string content(1000, 'r');
  writeFile(files() / "FILES" / "r.bin", content);
  const RawReply all = rawGet(port(), "/FILES/R.BIN", "Range: bytes=0-18446744073709551615\r\n");
  EXPECT_EQ(all.status, 206);
  EXPECT_EQ(all.header("Content-Range"), "bytes 0-999/1000");
  EXPECT_EQ(all.body.size(), 1000u);
  for (const char* ignored : {"bytes=5-1", "bytes=-", "bytes=1-2-3", "items=0-1", "bytes=+1-2"}) {
    const RawReply r = rawGet(port(), "/FILES/R.BIN", std::string("Range: ") + ignored + "\r\n");
    EXPECT_EQ(r.status, 200) << ignored;
    EXPECT_EQ(r.header("Content-Range"), "") << ignored;
    EXPECT_EQ(r.body.size(), 1000u) << ignored;
  }
  EXPECT_EQ(rawGet(port(), "/FILES/R.BIN", "Range: bytes=1000-\r\n").status, 416);
  EXPECT_EQ(rawGet(port(), "/FILES/R.BIN/").status, 404);
  EXPECT_EQ(rawGet(port(), "/FILES/R.BIN/.").status, 404);
  EXPECT_EQ(rawGet(port(), "/FILES/R.BIN%2f").status, 404);
  EXPECT_EQ(rawGet(port(), "/FILES/R.BIN").status, 200);
}

TEST_F(HostileClientTest, TextThatIsNotUtf8) {
  start();
  // The data service: each stray byte becomes U+FFFD and the reply stays readable.
  auto rs = std::make_unique<veltrano::ado::Recordset>();
  rs->Fields().Append("SQL", veltrano::ado::adVarChar, 65534);
  rs->Fields().Append("DATABASE", veltrano::ado::adVarChar, 65534);
  rs->Open();
  rs->AddNew();
  rs->Fields("SQL").setValue(veltrano::Variant(std::string("select cast(x'80ff41' as text) as v, 1 as n")));
  rs->Fields("DATABASE").setValue(veltrano::Variant(std::string("qz_update")));
  rs->Update();
  const std::string reply = post("/Database/ORVEX/", rs->SaveXml());
  EXPECT_TRUE(text::IsValidUtf8(reply));
  veltrano::ado::Recordset result;
  ASSERT_TRUE(result.loadXml(reply)) << reply;
  EXPECT_EQ(result.Fields("v").Value().toString(), "\xEF\xBF\xBD\xEF\xBF\xBD" "A");
  EXPECT_EQ(result.Fields("n").Value().toInt64(), 1);
  // The query service (CP949) writes "?" for what CP949 cannot hold.
  const std::string cp949 = post("/client/mysqlservice.asp",
                                 queryForm("select cast(x'80ff41' as text) as v", "qz_update"));
  EXPECT_NE(cp949.find("??A"), std::string::npos) << cp949;
}
