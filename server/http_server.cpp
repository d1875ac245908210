#include "server/http_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "server/access_log.h"
#include "server/data_service.h"
#include "server/database.h"
#include "server/file_host.h"
#include "server/query_service.h"
#include "platform/text/ascii.h"

namespace veltrano::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kQueryServicePath = "/client/mysqlservice.asp";
constexpr std::size_t kFileChunk = 64 * 1024;

// What the access log needs to know about the request a worker thread is handling. The
// library handles a request from routing to logging on one thread, so per-thread state is
// enough; requests refused before routing (over-long bodies, bad ranges) carry no start time.
struct RequestStats {
  bool started = false;
  Clock::time_point start;
  std::chrono::system_clock::time_point wallStart;
  bool streamed = false;
  std::uint64_t streamedBytes = 0;
};
thread_local RequestStats tStats;

std::string_view withoutTrailingSlash(std::string_view p) {
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  return p;
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

std::string contentTypeOf(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (ext == ".txt") return "text/plain";
  if (ext == ".htm" || ext == ".html") return "text/html";
  if (ext == ".xml") return "text/xml";
  return "application/octet-stream";
}

// cpp-httplib applies the parsed Range header (Request::ranges) to the reply after the
// handler returns, but neither cuts a last-byte position beyond the end of the content nor
// refuses a first-byte position beyond it, and would then announce a wrong length. The file
// host therefore settles the ranges itself (planRanges) and hands the library the settled
// ones. The Request is the library's own non-const object for this request (the handler only
// sees it through a const reference), so writing it here is well defined.
void replaceRanges(const httplib::Request& req, httplib::Ranges ranges) {
  const_cast<httplib::Request&>(req).ranges = std::move(ranges);
}

struct OpenFile {
  int fd = -1;
  std::vector<char> buffer;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

void textResponse(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text, "text/plain; charset=utf-8");
}

}  // namespace

struct HttpServer::Impl {
  explicit Impl(ServerOptions o)
      : options(std::move(o)),
        log(options.accessLog),
        catalog(options.dataDir / "db", options.writable,
                DatabaseCatalog::Limits{options.maxRows, std::chrono::seconds(30)}),
        query(catalog),
        data(catalog),
        files(options.dataDir / "files") {}

  ServerOptions options;
  AccessLog log;
  DatabaseCatalog catalog;
  QueryService query;
  DataService data;
  FileHost files;
  httplib::Server http;
  int port = -1;
  int listenSocket = -1;  // the socket the library bound, for widening its backlog
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> runEntered{false};
  std::atomic<bool> runFinished{false};

  void configure();
  void handlePost(const httplib::Request& req, httplib::Response& res);
  void handleGet(const httplib::Request& req, httplib::Response& res);
  void logRequest(const httplib::Request& req, const httplib::Response& res);
};

void HttpServer::Impl::configure() {
  const int threads = options.threads;
  http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // SO_REUSEADDR only: the library's default (SO_REUSEPORT) would let a second server bind
  // the same port and quietly take half of its connections.
  http.set_socket_options([this](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listenSocket = sock;
  });
  // Headers and body leave in separate writes; without this, Nagle's algorithm holds the body
  // back until the client's delayed acknowledgement on kept-alive connections (40 ms a reply).
  http.set_tcp_nodelay(true);
  http.set_payload_max_length(options.maxRequestBytes);
  http.set_read_timeout(30);
  // A downloading client may pause (the download control has a pause) without losing its
  // connection for a minute.
  http.set_write_timeout(60);
  http.set_keep_alive_max_count(100);
  http.set_keep_alive_timeout(2);

  http.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    tStats = RequestStats{};
    tStats.started = true;
    tStats.start = Clock::now();
    tStats.wallStart = std::chrono::system_clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http.Post(".*", [this](const httplib::Request& req, httplib::Response& res) { handlePost(req, res); });
  http.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { handleGet(req, res); });
  http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    logRequest(req, res);
  });
}

void HttpServer::Impl::handlePost(const httplib::Request& req, httplib::Response& res) {
  replaceRanges(req, {});  // a Range header has no meaning for the services' replies
  const std::string_view path = req.path;
  Reply reply;
  if (text::EqualsNoCaseAscii(path, kQueryServicePath)) {
    reply = query.answer(req.body);
  } else if (text::EqualsNoCaseAscii(withoutTrailingSlash(path), withoutTrailingSlash(options.dataPath))) {
    reply = data.answer("", req.body);
  } else if (const auto page = orvexPage(path)) {
    reply = data.answer(*page, req.body);
  } else {
    textResponse(res, 404, "no service at this address");
    return;
  }
  res.status = reply.status;
  res.set_content(reply.body, reply.contentType);
}

void HttpServer::Impl::handleGet(const httplib::Request& req, httplib::Response& res) {
  const FileHost::Lookup found = files.find(req.target);
  switch (found.outcome) {
    case FileHost::Outcome::Found: break;
    case FileHost::Outcome::NotFound:
      replaceRanges(req, {});
      return textResponse(res, 404, "not found");
    case FileHost::Outcome::Refused:
      replaceRanges(req, {});
      return textResponse(res, 403, "forbidden");
    case FileHost::Outcome::BadRequest:
      replaceRanges(req, {});
      return textResponse(res, 400, "bad request path");
  }

  auto file = std::make_shared<OpenFile>();
  // The path is canonical (no links left in it); O_NOFOLLOW keeps a link swapped in since
  // from being followed.
  file->fd = ::open(found.file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat st {};
  if (file->fd < 0 || ::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    replaceRanges(req, {});
    return textResponse(res, 404, "not found");
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);

  RequestedRanges requested;
  for (const auto& [first, last] : req.ranges) requested.emplace_back(first, last);
  const RangePlan plan = planRanges(requested, size);
  switch (plan.kind) {
    case RangePlan::Kind::Whole:
      replaceRanges(req, {});
      res.status = 200;
      break;
    case RangePlan::Kind::Unsatisfiable:
      replaceRanges(req, {});
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    case RangePlan::Kind::Partial: {
      httplib::Ranges settled;
      for (const ByteRange& r : plan.ranges)
        settled.emplace_back(static_cast<ssize_t>(r.first), static_cast<ssize_t>(r.last));
      replaceRanges(req, std::move(settled));
      res.status = 206;
      break;
    }
  }

  const std::string type = contentTypeOf(found.file);
  res.set_header("Accept-Ranges", "bytes");
  if (size == 0) {
    res.set_content("", type);
    return;
  }
  tStats.streamed = true;
  file->buffer.resize(kFileChunk);
  // The file is streamed in chunks read at the offsets the library asks for, never loaded
  // whole; the library calls the provider on this thread.
  res.set_content_provider(
      static_cast<std::size_t>(size), type,
      [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::size_t want = std::min(length, file->buffer.size());
        const ssize_t n = ::pread(file->fd, file->buffer.data(), want, static_cast<off_t>(offset));
        if (n <= 0) return false;  // the file shrank under us: end the reply short
        if (!sink.write(file->buffer.data(), static_cast<std::size_t>(n))) return false;
        tStats.streamedBytes += static_cast<std::uint64_t>(n);
        return true;
      });
}

void HttpServer::Impl::logRequest(const httplib::Request& req, const httplib::Response& res) {
  if (log.enabled()) {
    AccessRecord r;
    r.time = tStats.started ? tStats.wallStart : std::chrono::system_clock::now();
    r.client = req.remote_addr + ":" + std::to_string(req.remote_port);
    r.method = req.method;
    r.target = req.target;
    r.status = res.status;
    if (req.method != "HEAD") r.bytes = tStats.streamed ? tStats.streamedBytes : res.body.size();
    if (tStats.started) r.duration = Clock::now() - tStats.start;
    log.write(r);
  }
  tStats = RequestStats{};
}

HttpServer::HttpServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  impl_->configure();
}

HttpServer::~HttpServer() {
  stop();
}

int HttpServer::bind() {
  const ServerOptions& o = impl_->options;
  if (o.port == 0) {
    impl_->port = impl_->http.bind_to_any_port(o.host);
    if (impl_->port < 0) throw std::runtime_error("cannot listen on " + o.host + ":0");
  } else {
    if (!impl_->http.bind_to_port(o.host, o.port))
      throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port) +
                               " (address in use or not available)");
    impl_->port = o.port;
  }
  // The library listens with a backlog of 5; clients connecting at once beyond that overflow
  // the accept queue and some of their connections are reset. Listening again on the bound
  // socket widens the queue.
  if (impl_->listenSocket >= 0) ::listen(impl_->listenSocket, SOMAXCONN);
  return impl_->port;
}

std::string HttpServer::address() const {
  const std::string& host = impl_->options.host;
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return h + ":" + std::to_string(impl_->port);
}

void HttpServer::run() {
  impl_->runEntered = true;
  if (!impl_->stopRequested) impl_->http.listen_after_bind();
  impl_->runFinished = true;
}

void HttpServer::stop() {
  impl_->stopRequested = true;
  if (!impl_->runEntered) return;
  // run() may be between its check and the library's start; wait until the library runs (or
  // gave up) so that its stop is not lost.
  while (!impl_->http.is_running() && !impl_->runFinished)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  impl_->http.stop();
}

}  // namespace veltrano::server
