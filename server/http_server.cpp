// The HTTP side of the server, on Boost.Beast over Asio: the only file that sees either.
//
// A few event loops, one thread each, serve every connection; a connection costs a socket and
// a small object, whatever its client does, and stays on one loop. Statements run on a
// separate pool of database workers, which write what the socket takes of the reply at once
// and hand the rest back to the connection's loop. Deadlines belong to each connection: the
// whole request head within --header-timeout, the body at --min-body-rate, and a reply that
// makes no progress for --stall-timeout is cut. A small file goes out read whole with its head
// in one write; a larger one with sendfile(2) straight from the page cache (plain HTTP) or in
// chunks (HTTPS).

#include "server/http_server.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "platform/text/ascii.h"
#include "server/access_log.h"
#include "server/byte_range.h"
#include "server/data_service.h"
#include "server/database.h"
#include "server/file_host.h"
#include "server/query_service.h"
#include "server/worker_pool.h"

namespace veltrano::server {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kQueryServicePath = "/client/mysqlservice.asp";
constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr std::size_t kFileChunk = 64 * 1024;           // reads of a file sent over TLS
constexpr std::size_t kWriteSlice = 1024 * 1024;        // a service reply is written in slices
constexpr std::size_t kSmallFile = 64 * 1024;           // read whole and sent with the head
constexpr std::size_t kReadRoom = 4 * 1024;  // a typical request's head and form in one read
constexpr std::size_t kSendfileTurn = 8 * 1024 * 1024;  // then other connections get a turn
constexpr std::size_t kDrainLimit = 1024 * 1024;        // read and dropped after a refusal

std::string_view sv(beast::string_view s) { return {s.data(), s.size()}; }

std::string_view withoutTrailingSlash(std::string_view p) {
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  return p;
}

std::string_view pathOf(std::string_view target) {
  const auto cut = target.find_first_of("?#");
  return cut == std::string_view::npos ? target : target.substr(0, cut);
}

// The page name of "/ORVEX/<page>.ASP" (any case), or nothing.
std::optional<std::string> orvexPage(std::string_view path) {
  constexpr std::string_view prefix = "/orvex/";
  constexpr std::string_view suffix = ".asp";
  if (path.size() <= prefix.size() + suffix.size()) return std::nullopt;
  if (!text::EqualsNoCaseAscii(path.substr(0, prefix.size()), prefix)) return std::nullopt;
  if (!text::EqualsNoCaseAscii(path.substr(path.size() - suffix.size()), suffix)) return std::nullopt;
  std::string page(path.substr(prefix.size(), path.size() - prefix.size() - suffix.size()));
  if (page.find('/') != std::string::npos) return std::nullopt;
  return page;
}

const char* contentTypeOf(const std::filesystem::path& file) {
  const std::string_view name = file.native();
  // The extension as std::filesystem sees it: none for a name that only starts with a dot.
  const auto dot = name.find_last_of("./");
  const bool none = dot == std::string_view::npos || name[dot] == '/' || dot == 0 || name[dot - 1] == '/';
  const std::string_view ext = none ? std::string_view() : name.substr(dot);
  if (text::EqualsNoCaseAscii(ext, ".txt")) return "text/plain";
  if (text::EqualsNoCaseAscii(ext, ".htm") || text::EqualsNoCaseAscii(ext, ".html")) return "text/html";
  if (text::EqualsNoCaseAscii(ext, ".xml")) return "text/xml";
  return "application/octet-stream";
}

const char* reasonOf(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

void appendNumber(std::string& out, std::uint64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// A reply head into `h` (its room reused); `extra` holds whole header lines ("Name: value\r\n").
void replyHead(std::string& h, int status, std::string_view type, std::uint64_t length, bool keepAlive,
               std::string_view extra = {}) {
  h.clear();
  h += "HTTP/1.1 ";
  appendNumber(h, static_cast<std::uint64_t>(status));
  h += ' ';
  h += reasonOf(status);
  h += "\r\nServer: veltrano-server\r\n";
  if (!type.empty()) {
    h += "Content-Type: ";
    h += type;
    h += "\r\n";
  }
  h += "Content-Length: ";
  appendNumber(h, length);
  h += "\r\n";
  h += extra;
  h += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
}

class Session;

// What every connection shares: the services, the limits, the database workers, and the
// list of open connections (for stopping).
struct Shared {
  explicit Shared(ServerOptions o)
      : options(std::move(o)),
        log(options.accessLog),
        catalog(openCatalog(options)),
        query(*catalog),
        data(*catalog),
        files(options.dataDir / "files"),
        workers(static_cast<std::size_t>(options.threads), std::thread::hardware_concurrency()) {}

  ServerOptions options;
  AccessLog log;
  std::unique_ptr<DatabaseCatalog> catalog;
  QueryService query;
  DataService data;
  FileHost files;
  WorkerPool workers;
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::unordered_map<const Session*, std::weak_ptr<Session>> sessions;
};

// One connection, plain or TLS; its handlers run on its loop's thread, one at a time.
class Session : public std::enable_shared_from_this<Session> {
 public:
  virtual ~Session() = default;
  virtual void start() = 0;
  // Closes the connection when it waits for a request; otherwise it closes after its reply.
  virtual void stopSoon() = 0;
};

template <bool Tls>
class Connection final : public Session {
 public:
  using Stream = std::conditional_t<Tls, beast::ssl_stream<beast::tcp_stream>, beast::tcp_stream>;

  Connection(Shared& shared, tcp::socket socket, ssl::context* tls)
      : s_(shared), stream_(makeStream(std::move(socket), tls)), timer_(lowest().get_executor()) {
    ErrorCode ec;
    const auto peer = lowest().socket().remote_endpoint(ec);
    if (!ec) client_ = peer.address().to_string() + ":" + std::to_string(peer.port());
    lowest().socket().set_option(tcp::no_delay(true), ec);
    buffer_.reserve(kReadRoom);
  }

  ~Connection() override {
    closeFile();
    std::lock_guard lock(s_.mutex);
    s_.sessions.erase(this);
  }

  void start() override {
    {
      std::lock_guard lock(s_.mutex);
      s_.sessions.emplace(this, weak_from_this());
    }
    asio::dispatch(lowest().get_executor(), [self = self()] {
      if constexpr (Tls) {
        self->lowest().expires_after(self->headerTime());
        self->stream_.async_handshake(ssl::stream_base::server, [self](ErrorCode ec) {
          if (ec) return self->close();
          self->readRequest();
        });
      } else {
        self->readRequest();
      }
    });
  }

  void stopSoon() override {
    asio::dispatch(lowest().get_executor(), [self = self()] {
      std::lock_guard lock(self->handOver_);
      if (self->waiting_) self->close();
    });
  }

 private:
  static Stream makeStream(tcp::socket socket, ssl::context* tls) {
    if constexpr (Tls) return Stream(beast::tcp_stream(std::move(socket)), *tls);
    else return Stream(std::move(socket));
  }

  std::shared_ptr<Connection> self() {
    return std::static_pointer_cast<Connection>(shared_from_this());
  }
  beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }
  std::chrono::seconds headerTime() const { return std::chrono::seconds(s_.options.headerSeconds); }
  std::chrono::seconds stallTime() const { return std::chrono::seconds(s_.options.stallSeconds); }

  // ---- reading a request ----

  void readRequest() {
    if (s_.stopping) return close();
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(s_.options.maxRequestBytes);
    waiting_ = true;
    started_.reset();
    bytesSent_ = 0;
    // One deadline for the whole head, however it trickles in.
    lowest().expires_after(headerTime());
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = self()](ErrorCode ec, std::size_t) { self->onHead(ec); });
  }

  void onHead(ErrorCode ec) {
    waiting_ = false;
    if (ec == http::error::body_limit) return refuse(413, "the request body is too large");
    if (ec == http::error::header_limit) return refuse(431, "the request head is too large");
    if (ec && isParseError(ec)) return refuse(400, "malformed request");
    if (ec) return close();  // closed, reset, or the head's deadline passed

    started_ = Clock::now();
    wallStart_ = std::chrono::system_clock::now();
    const auto& req = parser_->get();
    method_ = std::string(req.method_string());
    target_ = std::string(req.target());
    keepAlive_ = req.keep_alive();

    const auto encoding = req.find(http::field::content_encoding);
    if (encoding != req.end() && !text::EqualsNoCaseAscii(sv(encoding->value()), "identity"))
      return refuse(415, "compressed request bodies are not accepted");
    if (parser_->is_done()) return route();

    // The body's deadline grows with its announced length, at the least rate allowed.
    const std::uint64_t length =
        parser_->content_length().value_or(s_.options.maxRequestBytes);
    // A form that came in with the head is parsed from the buffer: no further wait.
    if (parser_->content_length() && length <= buffer_.size() && !expects100Continue(req))
      return parseBufferedBody();
    lowest().expires_after(headerTime() +
                           std::chrono::seconds(length / s_.options.minBodyRate));
    if (expects100Continue(req)) {
      head_ = "HTTP/1.1 100 Continue\r\n\r\n";
      asio::async_write(stream_, asio::buffer(head_), [self = self()](ErrorCode e, std::size_t) {
        if (e) return self->close();
        self->readBody();
      });
      return;
    }
    readBody();
  }

  static bool expects100Continue(const http::request<http::string_body>& req) {
    const auto expect = req.find(http::field::expect);
    return expect != req.end() && text::EqualsNoCaseAscii(sv(expect->value()), "100-continue");
  }

  void parseBufferedBody() {
    ErrorCode ec;
    while (!ec && !parser_->is_done()) {
      const std::size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (used == 0 && !ec) ec = http::error::need_more;  // cannot happen: the length is all here
    }
    if (ec == http::error::body_limit) return refuse(413, "the request body is too large");
    if (ec && isParseError(ec)) return refuse(400, "malformed request body");
    if (ec) return close();
    route();
  }

  void readBody() {
    http::async_read(stream_, buffer_, *parser_, [self = self()](ErrorCode ec, std::size_t) {
      if (ec == http::error::body_limit) return self->refuse(413, "the request body is too large");
      if (ec && isParseError(ec)) return self->refuse(400, "malformed request body");
      if (ec) return self->close();
      self->route();
    });
  }

  // The parser refused what the client sent (as opposed to the connection ending).
  static bool isParseError(ErrorCode ec) {
    return ec.category() == http::make_error_code(http::error::bad_target).category() &&
           ec != http::error::end_of_stream && ec != http::error::partial_message;
  }

  // ---- answering ----

  void route() {
    const auto& req = parser_->get();
    switch (req.method()) {
      case http::verb::post: return answerService();
      case http::verb::get:
      case http::verb::head: return answerFile(req.method() == http::verb::head);
      default:
        return sendText(405, "only GET, HEAD and POST are served", "Allow: GET, HEAD, POST\r\n");
    }
  }

  void answerService() {
    const std::string_view path = pathOf(target_);
    enum class Service { Query, Data } service;
    std::string page;
    if (text::EqualsNoCaseAscii(path, kQueryServicePath)) {
      service = Service::Query;
    } else if (text::EqualsNoCaseAscii(withoutTrailingSlash(path),
                                       withoutTrailingSlash(s_.options.dataPath))) {
      service = Service::Data;
    } else if (auto p = orvexPage(path)) {
      service = Service::Data;
      page = std::move(*p);
    } else {
      return sendText(404, "no service at this address");
    }
    // The statement runs on a database worker. Nothing else touches the connection while its
    // request is with a worker, so the worker also writes what the socket takes of the reply at
    // once, and when that is all of it, starts the wait for the next request itself (sparing
    // the loop a wake-up per request); the rest goes back to the connection's loop.
    // The tracked executor keeps the event loop running meanwhile.
    auto back = asio::prefer(lowest().get_executor(), asio::execution::outstanding_work.tracked);
    s_.workers.post([self = self(), service, page = std::move(page),
                            body = std::move(parser_->get().body()), back]() mutable {
      self->prepareReply(service == Service::Query ? self->s_.query.answer(body)
                                                   : self->s_.data.answer(page, body));
      if constexpr (!Tls) {
        self->writeNow();
        if (self->finishOnWorker()) return;
      }
      asio::post(back, [self] { self->writeRest(); });
    });
  }

  // On a database worker, the whole reply out and the connection kept: logs the request and
  // starts reading the next one. The loop reaches the connection meanwhile only through
  // stopSoon(), which takes the same lock; after the read is started this thread leaves it.
  bool finishOnWorker() {
    if (writeFailed_ || sent_ < head_.size() + body_.size() || !keepAlive_) return false;
    std::lock_guard lock(handOver_);
    if (s_.stopping) return false;
    bytesSent_ += body_.size();
    if (body_.capacity() > kWriteSlice) std::string().swap(body_);
    body_.clear();
    logRequest();
    readRequest();
    return true;
  }

  void sendText(int status, std::string_view message, std::string_view extra = {}) {
    sendReply(Reply{status, "text/plain; charset=utf-8", std::string(message)}, extra);
  }

  void sendReply(Reply reply, std::string_view extra = {}) {
    prepareReply(std::move(reply), extra);
    if constexpr (!Tls) writeNow();
    writeRest();
  }

  void prepareReply(Reply reply, std::string_view extra = {}) {
    status_ = reply.status;
    replyHead(head_, reply.status, reply.contentType, reply.body.size(), keepAlive_, extra);
    if (method_ == "HEAD") body_.clear();
    else body_ = std::move(reply.body);
    startWrite();
  }

  void startWrite() {
    sent_ = 0;
    writeFailed_ = false;
  }

  // Plain HTTP: as much of the head and the body as the socket takes now, without waiting.
  void writeNow() {
    const int fd = lowest().socket().native_handle();
    while (sent_ < head_.size() + body_.size()) {
      iovec parts[2];
      int count = 0;
      if (sent_ < head_.size()) parts[count++] = {head_.data() + sent_, head_.size() - sent_};
      const std::size_t from = sent_ > head_.size() ? sent_ - head_.size() : 0;
      if (from < body_.size()) parts[count++] = {body_.data() + from, body_.size() - from};
      msghdr message{};
      message.msg_iov = parts;
      message.msg_iovlen = static_cast<std::size_t>(count);
      const ssize_t n = ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        sent_ += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        writeFailed_ = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        return;
      }
    }
  }

  // On the loop: what is left of the head and the body, in slices (the stall deadline starts
  // again with each), then the next request.
  void writeRest() {
    if (writeFailed_) return close();
    if (sent_ >= head_.size() + body_.size()) {
      bytesSent_ += body_.size();
      if (body_.capacity() > kWriteSlice) std::string().swap(body_);  // a large reply's room goes
      body_.clear();
      return finish();
    }
    std::array<asio::const_buffer, 2> buffers;
    std::size_t n = 0;
    if (sent_ < head_.size()) {
      buffers[0] = asio::buffer(head_.data() + sent_, head_.size() - sent_);
      n += head_.size() - sent_;
    }
    const std::size_t from = sent_ > head_.size() ? sent_ - head_.size() : 0;
    const std::size_t slice = std::min(kWriteSlice, body_.size() - from);
    buffers[1] = asio::buffer(body_.data() + from, slice);
    n += slice;
    lowest().expires_after(stallTime());
    asio::async_write(stream_, buffers, [self = self(), n](ErrorCode ec, std::size_t) {
      if (ec) return self->close();
      self->sent_ += n;
      self->writeRest();
    });
  }

  void answerFile(bool headOnly) {
    const auto& req = parser_->get();
    const FileHost::Lookup found = s_.files.find(target_);
    switch (found.outcome) {
      case FileHost::Outcome::Found: break;
      case FileHost::Outcome::NotFound: return sendText(404, "not found");
      case FileHost::Outcome::Refused: return sendText(403, "forbidden");
      case FileHost::Outcome::BadRequest: return sendText(400, "bad request path");
    }
    // Behind nginx: the front sends the bytes (and honours ranges) from its internal location.
    if (!s_.options.accelRedirect.empty())
      return sendReply(Reply{200, "", ""},
                       "X-Accel-Redirect: " + accelRedirectTarget(s_.options.accelRedirect, found.relative) + "\r\n");
    // The path is canonical (no links left in it); O_NOFOLLOW keeps a link swapped in since
    // from being followed.
    fd_ = ::open(found.file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      closeFile();
      return sendText(404, "not found");
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);

    // One range per request: a list of several is answered with the whole file.
    RangePlan plan;
    const auto range = req.find(http::field::range);
    if (range != req.end()) {
      if (const auto requested = parseRangeHeader(sv(range->value())))
        plan = planRanges(*requested, size, 1);
    }
    extra_ = "Accept-Ranges: bytes\r\n";
    status_ = 200;
    offset_ = 0;
    remaining_ = size;
    if (plan.kind == RangePlan::Kind::Unsatisfiable) {
      closeFile();
      extra_ += "Content-Range: bytes */";
      appendNumber(extra_, size);
      extra_ += "\r\n";
      return sendReply(Reply{416, "", ""}, extra_);
    }
    if (plan.kind == RangePlan::Kind::Partial) {
      const ByteRange& r = plan.ranges.front();
      status_ = 206;
      offset_ = r.first;
      remaining_ = r.last - r.first + 1;
      extra_ += "Content-Range: bytes ";
      appendNumber(extra_, r.first);
      extra_ += '-';
      appendNumber(extra_, r.last);
      extra_ += '/';
      appendNumber(extra_, size);
      extra_ += "\r\n";
    }
    replyHead(head_, status_, contentTypeOf(found.file), remaining_, keepAlive_, extra_);
    if (headOnly) remaining_ = 0;

    if (remaining_ <= kSmallFile) {
      // A small file is read whole and goes out with its head in one write.
      body_.resize(static_cast<std::size_t>(remaining_));
      std::size_t got = 0;
      while (got < body_.size()) {
        const ssize_t n = ::pread(fd_, body_.data() + got, body_.size() - got, static_cast<off_t>(offset_ + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return close();  // the file shrank under us: the reply cannot be completed
        got += static_cast<std::size_t>(n);
      }
      closeFile();
      startWrite();
      if constexpr (!Tls) writeNow();
      return writeRest();
    }
    lowest().expires_after(stallTime());
    asio::async_write(stream_, asio::buffer(head_), [self = self()](ErrorCode ec, std::size_t) {
      if (ec) return self->close();
      self->sendFileBody();
    });
  }

  void sendFileBody() {
    if constexpr (Tls) {
      if (remaining_ == 0) return fileDone();
      chunk_.resize(kFileChunk);
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kFileChunk));
      const ssize_t n = ::pread(fd_, chunk_.data(), want, static_cast<off_t>(offset_));
      if (n <= 0) return close();  // the file shrank under us: the reply cannot be completed
      lowest().expires_after(stallTime());
      asio::async_write(stream_, asio::buffer(chunk_.data(), static_cast<std::size_t>(n)),
                        [self = self()](ErrorCode ec, std::size_t written) {
                          if (ec) return self->close();
                          self->offset_ += written;
                          self->remaining_ -= written;
                          self->bytesSent_ += written;
                          self->sendFileBody();
                        });
    } else {
      auto& socket = lowest().socket();
      ErrorCode ec;
      socket.native_non_blocking(true, ec);
      std::size_t turn = 0;
      while (remaining_ > 0) {
        if (turn >= kSendfileTurn) {  // let the other connections of this thread have a turn
          asio::post(lowest().get_executor(), [self = self()] { self->sendFileBody(); });
          return;
        }
        auto off = static_cast<off_t>(offset_);
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, 1u << 30));
        const ssize_t n = ::sendfile(socket.native_handle(), fd_, &off, want);
        if (n > 0) {
          offset_ += static_cast<std::uint64_t>(n);
          remaining_ -= static_cast<std::uint64_t>(n);
          bytesSent_ += static_cast<std::uint64_t>(n);
          turn += static_cast<std::size_t>(n);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return waitWritable();
        return close();  // the file shrank, or the client went away
      }
      fileDone();
    }
  }

  // The client reads slower than we send: wait until the socket takes more, for at most the
  // stall time. Only the connection waits; the thread serves others meanwhile.
  void waitWritable() {
    // The wait's number tells a stall apart from a timer that expired just as the socket
    // became writable (its handler is then already queued and cannot be cancelled).
    const std::uint64_t wait = ++writeWaits_;
    timer_.expires_after(stallTime());
    timer_.async_wait([self = self(), wait](ErrorCode ec) {
      if (!ec && self->writeWaits_ == wait) self->close();
    });
    lowest().socket().async_wait(tcp::socket::wait_write, [self = self()](ErrorCode ec) {
      ++self->writeWaits_;
      self->timer_.cancel();
      if (ec) return self->close();
      self->sendFileBody();
    });
  }

  void fileDone() {
    closeFile();
    finish();
  }

  void closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // The reply is out: log it, then wait for the next request or close.
  void finish() {
    logRequest();
    if (keepAlive_ && !s_.stopping) return readRequest();
    if constexpr (Tls) {
      lowest().expires_after(std::chrono::seconds(2));
      stream_.async_shutdown([self = self()](ErrorCode) { self->close(); });
    } else {
      ErrorCode ec;
      lowest().socket().shutdown(tcp::socket::shutdown_send, ec);
      close();
    }
  }

  // Answers a request that is not read further, then reads and drops what the client still
  // sends for a moment (closing with unread data would reset the connection, and the client
  // might lose the answer).
  void refuse(int status, std::string_view message) {
    keepAlive_ = false;
    status_ = status;
    replyHead(head_, status, "text/plain; charset=utf-8", message.size(), false);
    head_ += message;
    lowest().expires_after(headerTime());
    asio::async_write(stream_, asio::buffer(head_), [self = self()](ErrorCode ec, std::size_t) {
      self->logRequest();
      if (ec) return self->close();
      if constexpr (!Tls) {
        ErrorCode e;
        self->lowest().socket().shutdown(tcp::socket::shutdown_send, e);
      }
      self->lowest().expires_after(std::chrono::seconds(2));
      self->drained_ = 0;
      self->drain();
    });
  }

  void drain() {
    chunk_.resize(kFileChunk);
    stream_.async_read_some(asio::buffer(chunk_), [self = self()](ErrorCode ec, std::size_t n) {
      self->drained_ += n;
      if (ec || self->drained_ > kDrainLimit) return self->close();
      self->drain();
    });
  }

  void close() {
    if (closed_) return;
    closed_ = true;
    waiting_ = false;
    closeFile();
    timer_.cancel();
    ErrorCode ec;
    lowest().socket().close(ec);
  }

  void logRequest() {
    if (!s_.log.enabled() || method_.empty()) return;
    AccessRecord r;
    r.time = started_ ? wallStart_ : std::chrono::system_clock::now();
    r.client = client_;
    r.method = method_;
    r.target = target_;
    r.status = status_;
    if (method_ != "HEAD") r.bytes = bytesSent_;
    if (started_) r.duration = Clock::now() - *started_;
    s_.log.write(r);
    method_.clear();
  }

  Shared& s_;
  Stream stream_;
  asio::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::string client_;
  bool waiting_ = false;  // for a request, with nothing of it read yet that matters
  std::mutex handOver_;   // a worker starting the next read, against stopSoon() on the loop
  bool closed_ = false;
  bool keepAlive_ = false;

  // The request being answered, for the access log.
  std::string method_;
  std::string target_;
  int status_ = 0;
  std::uint64_t bytesSent_ = 0;
  std::optional<Clock::time_point> started_;
  std::chrono::system_clock::time_point wallStart_;

  // The reply being written.
  std::string head_;
  std::string extra_;  // header lines of a file reply
  std::string body_;
  std::size_t sent_ = 0;  // bytes of head_ and body_ written
  bool writeFailed_ = false;
  int fd_ = -1;
  std::uint64_t offset_ = 0;
  std::uint64_t remaining_ = 0;
  std::vector<char> chunk_;
  std::uint64_t writeWaits_ = 0;
  std::size_t drained_ = 0;
};

}  // namespace

struct HttpServer::Impl {
  // Two event loops at most: the database workers and the clients need the rest of the CPUs.
  static unsigned loopCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, 2u); }

  explicit Impl(ServerOptions o) : shared(std::move(o)) {
    for (unsigned i = 0; i < loopCount(); ++i) loops.push_back(std::make_unique<asio::io_context>(1));
    acceptor.emplace(loops.front()->get_executor());
  }

  Shared shared;
  // One event loop per thread, each with its own connections, so a connection's handlers
  // never run concurrently and need no strand, and a loop's queue is never contended.
  std::vector<std::unique_ptr<asio::io_context>> loops;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning;
  std::size_t nextLoop = 0;
  std::optional<tcp::acceptor> acceptor;
  std::optional<ssl::context> tls;
  int port = -1;
  std::atomic<bool> stopRequested{false};

  void accept() {
    asio::io_context& loop = *loops[nextLoop++ % loops.size()];
    acceptor->async_accept(loop.get_executor(), [this](ErrorCode ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
      if (!ec) {
        std::shared_ptr<Session> session;
        if (tls) session = std::make_shared<Connection<true>>(shared, std::move(socket), &*tls);
        else session = std::make_shared<Connection<false>>(shared, std::move(socket), nullptr);
        session->start();
      }
      accept();  // also after an error such as too many open files: go on accepting
    });
  }

  void stopAll() {
    shared.stopping = true;
    ErrorCode ec;
    acceptor->close(ec);
    for (auto& guard : keepRunning) guard.reset();
    std::vector<std::shared_ptr<Session>> open;
    {
      std::lock_guard lock(shared.mutex);
      for (auto& [key, weak] : shared.sessions)
        if (auto s = weak.lock()) open.push_back(std::move(s));
    }
    for (auto& s : open) s->stopSoon();
  }
};

HttpServer::HttpServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  const ServerOptions& o = impl_->shared.options;
  if (!o.tlsCert.empty()) {
    impl_->tls.emplace(ssl::context::tls_server);
    ssl::context& c = *impl_->tls;
    c.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                  ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    ErrorCode ec;
    c.use_certificate_chain_file(o.tlsCert.string(), ec);
    if (ec) throw std::runtime_error("cannot read the certificate " + o.tlsCert.string() + ": " + ec.message());
    c.use_private_key_file(o.tlsKey.string(), ssl::context::pem, ec);
    if (ec) throw std::runtime_error("cannot read the private key " + o.tlsKey.string() + ": " + ec.message());
  }
}

HttpServer::~HttpServer() {
  stop();
}

int HttpServer::bind() {
  const ServerOptions& o = impl_->shared.options;
  const std::string where = o.host + ":" + std::to_string(o.port);
  ErrorCode ec;
  const auto address = asio::ip::make_address(o.host, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + " (not an IP address)");
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(o.port));
  tcp::acceptor& a = *impl_->acceptor;
  a.open(endpoint.protocol(), ec);
  // SO_REUSEADDR only: SO_REUSEPORT would let a second server bind the same port and quietly
  // take half of its connections.
  if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
  if (ec)
    throw std::runtime_error("cannot listen on " + where + " (address in use or not available: " +
                             ec.message() + ")");
  impl_->port = a.local_endpoint().port();
  return impl_->port;
}

std::string HttpServer::address() const {
  const std::string& host = impl_->shared.options.host;
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return h + ":" + std::to_string(impl_->port);
}

void HttpServer::run() {
  if (impl_->stopRequested || !impl_->acceptor->is_open()) return;
  for (auto& loop : impl_->loops) impl_->keepRunning.push_back(asio::make_work_guard(*loop));
  impl_->accept();
  std::vector<std::thread> extra;
  for (std::size_t i = 1; i < impl_->loops.size(); ++i)
    extra.emplace_back([loop = impl_->loops[i].get()] { loop->run(); });
  impl_->loops.front()->run();
  for (auto& t : extra) t.join();
  impl_->shared.workers.join();
}

void HttpServer::stop() {
  if (impl_->stopRequested.exchange(true)) return;
  asio::post(impl_->acceptor->get_executor(), [impl = impl_.get()] { impl->stopAll(); });
}

}  // namespace veltrano::server
