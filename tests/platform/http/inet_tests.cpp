// The transfer control against servers on 127.0.0.1.

#include "platform/http/inet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <span>
#include <string>
#include <thread>

#include "platform/http/url.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"

namespace veltrano::http {
namespace {

using test::FileServer;
using test::RawConnection;
using test::RawHttpServer;
using test::SeenRequest;

// Each StillExecuting read waits a few milliseconds at most, so this bounds a wait to well
// under a minute whatever happens.
constexpr int kMaxPolls = 10000;

bool waitForHeaders(Inet& inet) {
  for (int i = 0; i < kMaxPolls; ++i) {
    if (!inet.StillExecuting()) return true;
  }
  return false;
}

std::string asText(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Reads the whole body in chunks of `size`, recording each chunk's length.
std::string readBody(Inet& inet, long size, std::vector<std::size_t>* lengths = nullptr) {
  std::string body;
  Bytes chunk;
  for (int i = 0; i < 100000; ++i) {
    inet.GetChunk(size, chunk);
    if (lengths) lengths->push_back(chunk.size());
    body += asText(chunk);
    if (chunk.size() <= 1) break;
  }
  return body;
}

RawHttpServer::Handler reply(std::string bytes) {
  return [bytes](const SeenRequest&, RawConnection& c) { c.send(bytes); };
}

class InetTest : public ::testing::Test {
 protected:
  ui::ScriptedUi ui_;
  ui::ScopedUi scoped_{ui_};
  Inet inet_;
};

// --- Status line and headers ---------------------------------------------------------------------

TEST_F(InetTest, GetHeader_StatusLineFirstThenHeadersEachEndedByCrLf) {
  RawHttpServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Thing: a b \r\n\r\nhello"));
  inet_.setURL(server.url("/f.bin"));
  inet_.Execute("", "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader(), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Thing: a b \r\n");
  EXPECT_EQ(inet_.GetHeader("content-length"), "5");
  EXPECT_EQ(inet_.GetHeader("X-Thing"), "a b");
  EXPECT_EQ(inet_.GetHeader("Missing"), "");
  EXPECT_EQ(server.requests().at(0).method, "GET");
  EXPECT_EQ(server.requests().at(0).target, "/f.bin");
}

TEST_F(InetTest, GetHeader_KeepsTheVersionOfAnHttp10StatusLine) {
  RawHttpServer server(reply("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
  inet_.Execute(server.url("/a"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader().substr(0, 17), "HTTP/1.0 200 OK\r\n");
  EXPECT_EQ(readBody(inet_, 512), "abc");
}

TEST_F(InetTest, GetHeader_ErrorStatusesArriveWithTheirBodiesPending) {
  for (const char* status : {"404 Not Found", "403 Forbidden", "401 Unauthorized", "500 Internal Server Error"}) {
    RawHttpServer server(reply(std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 4\r\n\r\noops"));
    inet_.Execute(server.url("/x"), "GET");
    ASSERT_TRUE(waitForHeaders(inet_));
    EXPECT_EQ(inet_.GetHeader().substr(0, 9 + std::string(status).size()), std::string("HTTP/1.1 ") + status);
    EXPECT_EQ(readBody(inet_, 512), "oops") << status;
  }
}

TEST_F(InetTest, Execute_FollowsARedirectAndShowsTheFinalReply) {
  FileServer server;
  server.addFile("/real.bin", "payload");
  server.addRedirect("/old.bin", "/real.bin");
  inet_.Execute(server.url("/old.bin"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader().substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(inet_.GetHeader("Content-Length"), "7");
  EXPECT_EQ(readBody(inet_, 512), "payload");
}

TEST_F(InetTest, Execute_EncodesBlanksAndKoreanInTheAddressAsTheSystemDoes) {
  FileServer server;
  server.addFile("/files/Tarvic%20Main/%ED%99%94%EB%AC%BC.txt", "payload");
  inet_.Execute(server.url("/files/Tarvic Main/화물.txt"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader().substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(readBody(inet_, 512), "payload");
  EXPECT_EQ(http::encodedForTransport("http://h/a%20b c"), "http://h/a%20b%20c");
}

TEST_F(InetTest, Execute_SendsTheExtraHeaderLine) {
  FileServer server;
  server.addFile("/f", std::string(5000, 'x'));
  inet_.Execute(server.url("/f"), "GET", "", "Range: bytes=4000-\r\n");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader().substr(0, 12), "HTTP/1.1 206");
  EXPECT_EQ(readBody(inet_, 512).size(), 1000u);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].header("Range"), "bytes=4000-");
}

TEST_F(InetTest, Execute_RefusesUnknownOperationsAndMalformedHeaderLines) {
  try {
    inet_.Execute("http://127.0.0.1:1/", "DELETE");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
  }
  EXPECT_THROW(inet_.Execute("http://127.0.0.1:1/", "GET", "", "no colon here\r\n"), RuntimeError);
}

TEST_F(InetTest, Execute_AnotherRequestDropsTheFirst) {
  FileServer server;
  server.addFile("/one", "first body");
  server.addFile("/two", "second");
  inet_.Execute(server.url("/one"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  inet_.Execute(server.url("/two"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(readBody(inet_, 512), "second");
}

// --- Chunks ----------------------------------------------------------------------------------------

TEST_F(InetTest, GetChunk_FullChunksThenTheRestThenEmpty) {
  const std::string body = test::generatedContent(1200);
  FileServer server;
  server.addFile("/f", body);
  inet_.Execute(server.url("/f"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  std::vector<std::size_t> lengths;
  EXPECT_EQ(readBody(inet_, 512, &lengths), body);
  EXPECT_EQ(lengths, (std::vector<std::size_t>{512, 512, 176, 0}));
  // After the end every read is empty.
  EXPECT_TRUE(inet_.GetChunk(512).empty());
}

TEST_F(InetTest, GetChunk_OneByteChunkOnlyAtTheEnd) {
  FileServer server;
  server.addFile("/f", std::string(1025, 'q'));
  inet_.Execute(server.url("/f"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  std::vector<std::size_t> lengths;
  readBody(inet_, 512, &lengths);
  EXPECT_EQ(lengths, (std::vector<std::size_t>{512, 512, 1}));
}

TEST_F(InetTest, GetChunk_WaitsForDataThatComesSlowlyAndPumpsMeanwhile) {
  RawHttpServer server([](const SeenRequest&, RawConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 600\r\n\r\n");
    for (int i = 0; i < 6; ++i) {
      c.pause(30);
      c.send(std::string(100, 'a' + i));
    }
  });
  inet_.Execute(server.url("/slow"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  std::vector<std::size_t> lengths;
  const std::string body = readBody(inet_, 512, &lengths);
  EXPECT_EQ(body.size(), 600u);
  EXPECT_EQ(body.substr(500), std::string(100, 'f'));
  // The data trickled in, yet no short chunk came before the end.
  EXPECT_EQ(lengths, (std::vector<std::size_t>{512, 88, 0}));
  EXPECT_GT(ui_.pumps(), 0u);
}

TEST_F(InetTest, GetChunk_LargeBodyThroughTheBoundedBufferArrivesIntactCopiedOrReadInPlace) {
  const std::uint64_t size = 3 * 1024 * 1024 + 17;
  FileServer server;
  server.addGeneratedFile("/big", size);
  inet_.Execute(server.url("/big"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader("Content-Length"), std::to_string(size));
  std::uint64_t offset = 0;
  bool same = true;
  Bytes copy;
  for (int i = 0; i < 10000; ++i) {
    // Copied chunks and chunks read in place alternate; the odd sizes make chunks straddle the
    // end of the ring buffer at ever different places.
    const long asked = i % 2 ? 65536 : 40000 + i % 7;
    std::span<const std::uint8_t> chunk;
    if (i % 2) {
      inet_.GetChunk(asked, copy);
      chunk = copy;
    } else {
      chunk = inet_.ReadChunk(asked);
    }
    // A chunk never exceeds what was asked for, nor half the buffer.
    ASSERT_LE(chunk.size(), static_cast<std::size_t>(asked));
    for (std::size_t k = 0; k < chunk.size() && same; ++k) same = chunk[k] == test::generatedByte(offset + k);
    offset += chunk.size();
    if (chunk.size() <= 1) break;
  }
  EXPECT_EQ(offset, size);
  EXPECT_TRUE(same);
}

TEST_F(InetTest, GetChunk_ZeroSizeGivesAnEmptyChunk) {
  FileServer server;
  server.addFile("/f", "abc");
  inet_.Execute(server.url("/f"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_TRUE(inet_.GetChunk(0).empty());
  EXPECT_EQ(readBody(inet_, 512), "abc");
}

// --- Failures --------------------------------------------------------------------------------------

TEST_F(InetTest, Failure_ConnectionDroppedMidBodyRaisesAfterTheBytesReceived) {
  RawHttpServer server([](const SeenRequest&, RawConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'z'));
  });
  inet_.Execute(server.url("/cut"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  Bytes chunk;
  std::size_t total = 0;
  try {
    for (int i = 0; i < 100; ++i) {
      inet_.GetChunk(512, chunk);
      ASSERT_GT(chunk.size(), 1u) << "a short chunk would read as the end of the body";
      total += chunk.size();
    }
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kDeviceIOError);
    EXPECT_NE(e.description().find("failed"), std::string::npos) << e.description();
  }
  EXPECT_EQ(total, 600u);
}

TEST_F(InetTest, Failure_StalledBodyEndsAtTheStallLimit) {
  inet_.setLimits({.connectTimeoutMs = 15000, .stallSeconds = 1, .stallBytesPerSecond = 1});
  RawHttpServer server([](const SeenRequest&, RawConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
    c.pause(8000);
  });
  inet_.Execute(server.url("/stall"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  Bytes chunk;
  EXPECT_THROW(
      {
        inet_.GetChunk(512, chunk);
        inet_.GetChunk(512, chunk);
      },
      RuntimeError);
}

TEST_F(InetTest, Failure_ServerThatNeverAnswersEndsAtTheStallLimit) {
  inet_.setLimits({.connectTimeoutMs = 15000, .stallSeconds = 1, .stallBytesPerSecond = 1});
  RawHttpServer server([](const SeenRequest&, RawConnection& c) { c.pause(8000); });
  inet_.Execute(server.url("/silent"), "GET");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitForHeaders(inet_));
  // Ended by the limit, well before the server would have closed the connection.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7));
  EXPECT_EQ(inet_.GetHeader(), "");
  EXPECT_NE(inet_.ResponseInfo(), "");
  EXPECT_THROW(inet_.GetChunk(512), RuntimeError);
}

TEST_F(InetTest, Failure_AReaderThatHoldsTheTransferBackIsNotAStall) {
  inet_.setLimits({.connectTimeoutMs = 15000, .stallSeconds = 1, .stallBytesPerSecond = 1});
  const std::uint64_t size = 2 * 1024 * 1024;
  FileServer server;
  server.addGeneratedFile("/big", size);
  inet_.Execute(server.url("/big"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  std::uint64_t total = inet_.GetChunk(65536).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a paused download
  Bytes chunk;
  for (int i = 0; i < 1000; ++i) {
    inet_.GetChunk(65536, chunk);
    total += chunk.size();
    if (chunk.size() <= 1) break;
  }
  EXPECT_EQ(total, size);
}

TEST_F(InetTest, Failure_RefusedConnectionEndsTheWaitWithNoHeaders) {
  inet_.Execute("http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/f", "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader(), "");
  EXPECT_NE(inet_.ResponseInfo(), "");
  EXPECT_THROW(inet_.GetChunk(512), RuntimeError);
}

TEST_F(InetTest, Failure_SchemesOtherThanHttpAreRefused) {
  inet_.Execute("file:///etc/hostname", "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetHeader(), "");
  EXPECT_THROW(inet_.GetChunk(512), RuntimeError);
}

TEST_F(InetTest, Cancel_DropsTheRequestAndItsReply) {
  FileServer server;
  server.addFile("/f", std::string(4096, 'c'));
  inet_.Execute(server.url("/f"), "GET");
  ASSERT_TRUE(waitForHeaders(inet_));
  EXPECT_EQ(inet_.GetChunk(512).size(), 512u);
  inet_.Cancel();
  EXPECT_FALSE(inet_.StillExecuting());
  EXPECT_EQ(inet_.GetHeader(), "");
  EXPECT_THROW(inet_.GetChunk(512), RuntimeError);
}

TEST_F(InetTest, GetChunk_WithoutARequestRaises) {
  EXPECT_FALSE(inet_.StillExecuting());
  EXPECT_THROW(inet_.GetChunk(512), RuntimeError);
}

}  // namespace
}  // namespace veltrano::http
