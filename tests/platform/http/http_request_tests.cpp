// The request object against servers on 127.0.0.1.

#include "platform/http/http_request.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"

namespace veltrano::http {
namespace {

using test::RawConnection;
using test::RawHttpServer;
using test::SeenRequest;

// Each readyState read waits a few milliseconds at most: this bounds a poll loop in time.
int pollUntilDone(HttpRequest& req) {
  for (int i = 0; i < 10000; ++i) {
    int state = req.readyState();
    if (state == HttpRequest::kCompleted) return state;
    ui::DoEvents();
  }
  return req.readyState();
}

RawHttpServer::Handler reply(std::string bytes) {
  return [bytes](const SeenRequest&, RawConnection& c) { c.send(bytes); };
}

class HttpRequestTest : public ::testing::Test {
 protected:
  ui::ScriptedUi ui_;
  ui::ScopedUi scoped_{ui_};
  HttpRequest req_;
};

TEST_F(HttpRequestTest, Send_PostsTheBodyWithTheHeadersInTheOrderSet) {
  RawHttpServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  req_.open("POST", server.url("/client/service.asp"), true);
  EXPECT_EQ(req_.readyState(), HttpRequest::kLoading);
  req_.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
  req_.setRequestHeader("Charset", "euc-kr");
  req_.setRequestHeader("Pragma", "no-cache");
  req_.setRequestHeader("Expires", "0");
  const std::string body = "SQL=12I&DATABASE=34I&USERID=56I";
  req_.send(body);
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.status(), 200);
  EXPECT_EQ(req_.statusText(), "OK");
  EXPECT_EQ(req_.responseBody(), (Bytes{'o', 'k'}));

  ASSERT_EQ(server.requests().size(), 1u);
  const SeenRequest seen = server.requests()[0];
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/client/service.asp");
  EXPECT_EQ(seen.body, body);
  EXPECT_EQ(seen.header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(seen.header("Expect"), "");
  std::vector<std::string> ours;
  for (const auto& line : seen.headerLines) {
    for (const char* name : {"Content-Type", "Charset", "Pragma", "Expires"}) {
      if (line.rfind(std::string(name) + ":", 0) == 0) ours.push_back(line);
    }
  }
  EXPECT_EQ(ours, (std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded", "Charset: euc-kr",
                                            "Pragma: no-cache", "Expires: 0"}));
}

TEST_F(HttpRequestTest, ReadyState_MovesThroughLoadedToCompleted) {
  RawHttpServer server([](const SeenRequest&, RawConnection& c) {
    c.pause(100);
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab");
    c.pause(150);
    c.send("cd");
  });
  req_.open("GET", server.url("/"), true);
  req_.send();
  std::vector<int> states;
  for (int i = 0; i < 10000; ++i) {
    int s = req_.readyState();
    if (states.empty() || states.back() != s) states.push_back(s);
    if (s == HttpRequest::kCompleted) break;
  }
  EXPECT_EQ(states.front(), HttpRequest::kLoaded);
  EXPECT_EQ(states.back(), HttpRequest::kCompleted);
  EXPECT_NE(std::find(states.begin(), states.end(), HttpRequest::kInteractive), states.end());
  EXPECT_EQ(std::string(req_.responseBody().begin(), req_.responseBody().end()), "abcd");
}

TEST_F(HttpRequestTest, Status_ErrorPagesKeepTheirStatusAndBody) {
  RawHttpServer server(reply("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nboom!"));
  req_.open("POST", server.url("/"), true);
  req_.send("x");
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.status(), 500);
  EXPECT_EQ(req_.statusText(), "Internal Server Error");
  EXPECT_EQ(req_.responseText(), "boom!");
}

TEST_F(HttpRequestTest, Unreachable_EndsCompletedWithStatusZeroAndNoBody) {
  req_.open("POST", "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/", true);
  req_.send("SQL=1");
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.status(), 0);
  EXPECT_EQ(req_.statusText(), "");
  EXPECT_TRUE(req_.responseBody().empty());
  EXPECT_NE(req_.transportError(), "");
}

TEST_F(HttpRequestTest, CutShortReply_EndsWithStatusZeroAndNoPartialBody) {
  RawHttpServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"));
  req_.open("GET", server.url("/"), true);
  req_.send();
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.status(), 0);
  EXPECT_TRUE(req_.responseBody().empty());
}

TEST_F(HttpRequestTest, ResponseText_DecodesCp949WhenDeclaredAndUtf8Otherwise) {
  const std::string korean = "조회된 결과값이 없습니다.";
  const std::string ansi = text::toAnsiString(korean);
  RawHttpServer declared(reply("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=EUC-KR\r\nContent-Length: " +
                               std::to_string(ansi.size()) + "\r\n\r\n" + ansi));
  req_.open("GET", declared.url("/"), true);
  req_.send();
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.responseText(), korean);
  // The bytes themselves are untouched.
  EXPECT_EQ(std::string(req_.responseBody().begin(), req_.responseBody().end()), ansi);

  RawHttpServer plain(reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(korean.size() + 1) +
                            "\r\n\r\n" + korean + "\xff"));
  req_.open("GET", plain.url("/"), true);
  req_.send();
  ASSERT_EQ(pollUntilDone(req_), HttpRequest::kCompleted);
  EXPECT_EQ(req_.responseText(), korean + "\xEF\xBF\xBD");
}

TEST_F(HttpRequestTest, SyncSend_ReturnsWhenTheReplyIsIn) {
  RawHttpServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nyes"));
  req_.open("GET", server.url("/"), false);
  req_.send();
  EXPECT_EQ(req_.readyState(), HttpRequest::kCompleted);
  EXPECT_EQ(req_.status(), 200);
}

TEST_F(HttpRequestTest, Misuse_RaisesRunTimeErrors) {
  EXPECT_THROW(req_.send("x"), RuntimeError);  // not opened
  EXPECT_THROW(req_.setRequestHeader("A", "b"), RuntimeError);
  req_.open("GET", "http://127.0.0.1:1/", true);
  EXPECT_THROW(req_.setRequestHeader("A", "b\r\nInjected: yes"), RuntimeError);
  EXPECT_THROW(req_.setRequestHeader("Bad Name", "v"), RuntimeError);
}

TEST_F(HttpRequestTest, Abort_ReturnsToUninitialized) {
  RawHttpServer server([](const SeenRequest&, RawConnection& c) { c.pause(2000); });
  req_.open("GET", server.url("/"), true);
  req_.send();
  req_.readyState();
  req_.abort();
  EXPECT_EQ(req_.readyState(), HttpRequest::kUninitialized);
  EXPECT_EQ(req_.status(), 0);
}

}  // namespace
}  // namespace veltrano::http
