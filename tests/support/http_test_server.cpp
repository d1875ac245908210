#include "http_test_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>

namespace veltrano::test {
namespace {

// The few socket calls that differ between POSIX and Winsock.
#ifdef _WIN32
using IoSize = int;
constexpr int kNoSignal = 0;
constexpr int kShutBoth = SD_BOTH;
SOCKET native(SocketId s) { return static_cast<SOCKET>(s); }
void closeSocket(SocketId s) { closesocket(native(s)); }
bool validSocket(SocketId s) { return native(s) != INVALID_SOCKET; }
SocketId newSocket() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started ? static_cast<SocketId>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) : static_cast<SocketId>(INVALID_SOCKET);
}
bool readable(SocketId s, int ms) {
  WSAPOLLFD p{native(s), POLLRDNORM, 0};
  return WSAPoll(&p, 1, ms) > 0;
}
SocketId acceptOne(SocketId s) { return static_cast<SocketId>(accept(native(s), nullptr, nullptr)); }
void setTimeouts(SocketId s, int seconds) {
  DWORD ms = static_cast<DWORD>(seconds) * 1000;
  setsockopt(native(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  setsockopt(native(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
#else
using IoSize = std::size_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kShutBoth = SHUT_RDWR;
int native(SocketId s) { return static_cast<int>(s); }
void closeSocket(SocketId s) { close(native(s)); }
bool validSocket(SocketId s) { return s >= 0; }
SocketId newSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
bool readable(SocketId s, int ms) {
  pollfd p{native(s), POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}
SocketId acceptOne(SocketId s) { return accept4(native(s), nullptr, nullptr, SOCK_CLOEXEC); }
void setTimeouts(SocketId s, int seconds) {
  timeval tv{seconds, 0};
  setsockopt(native(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(native(s), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}
#endif

// Bytes received, 0 when the peer closed, negative on error or timeout.
long receiveSome(SocketId s, char* data, std::size_t size) {
  return static_cast<long>(recv(native(s), data, static_cast<IoSize>(size), 0));
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The generated content repeats with a prime period, read from a table twice that long so
// any stretch up to one period is one copy.
constexpr std::size_t kPeriod = 65521;
const std::vector<std::uint8_t>& patternTable() {
  static const std::vector<std::uint8_t> table = [] {
    std::vector<std::uint8_t> t(2 * kPeriod);
    std::uint32_t x = 2463534242u;
    for (std::size_t i = 0; i < kPeriod; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      t[i] = t[i + kPeriod] = static_cast<std::uint8_t>(x >> 24);
    }
    return t;
  }();
  return table;
}

// Reads one request (head and Content-Length body); false when the peer sent none.
bool readRequest(SocketId fd, SeenRequest& out) {
  std::string data;
  std::array<char, 4096> buf;
  std::size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    long n = receiveSome(fd, buf.data(), buf.size());
    if (n <= 0 || data.size() > 1 << 20) return false;
    data.append(buf.data(), static_cast<std::size_t>(n));
  }
  std::string head = data.substr(0, headEnd);
  out.body = data.substr(headEnd + 4);
  std::size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  std::size_t s1 = requestLine.find(' '), s2 = requestLine.rfind(' ');
  out.method = requestLine.substr(0, s1);
  out.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
  out.version = requestLine.substr(s2 + 1);
  std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    std::size_t e = head.find("\r\n", pos);
    if (e == std::string::npos) e = head.size();
    out.headerLines.push_back(head.substr(pos, e - pos));
    pos = e + 2;
  }
  std::string length = out.header("Content-Length");
  std::size_t want = length.empty() ? 0 : std::stoul(length);
  while (out.body.size() < want) {
    long n = receiveSome(fd, buf.data(), buf.size());
    if (n <= 0) return false;
    out.body.append(buf.data(), static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string SeenRequest::header(std::string_view name) const {
  for (const auto& line : headerLines) {
    std::size_t colon = line.find(':');
    if (colon != std::string::npos && equalNoCase(std::string_view(line).substr(0, colon), name)) {
      std::size_t v = line.find_first_not_of(' ', colon + 1);
      return v == std::string::npos ? std::string() : line.substr(v);
    }
  }
  return {};
}

std::uint8_t generatedByte(std::uint64_t offset) { return patternTable()[offset % kPeriod]; }

std::string generatedContent(std::uint64_t size) {
  std::string out(size, '\0');
  for (std::uint64_t i = 0; i < size; ++i) out[i] = static_cast<char>(generatedByte(i));
  return out;
}

// ---------------------------------------------------------------------------------------------

FileServer::FileServer() : server_([this](const SeenRequest& r, RawConnection& c) { handle(r, c); }) {}

FileServer::~FileServer() = default;

void FileServer::addFile(const std::string& path, std::string content) {
  std::lock_guard lock(mutex_);
  routes_[path] = Route{std::move(content), 0, false, ""};
}

void FileServer::addGeneratedFile(const std::string& path, std::uint64_t size) {
  std::lock_guard lock(mutex_);
  routes_[path] = Route{"", size, true, ""};
}

void FileServer::addRedirect(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  routes_[from] = Route{"", 0, false, to};
}

void FileServer::handle(const SeenRequest& request, RawConnection& connection) {
  Route route;
  bool found = false;
  {
    std::lock_guard lock(mutex_);
    auto it = routes_.find(request.target);
    if (it != routes_.end()) {
      route = it->second;
      found = true;
    }
  }
  if (!found || request.method != "GET") {
    connection.send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
    return;
  }
  if (!route.redirectTo.empty()) {
    connection.send("HTTP/1.1 302 Found\r\nLocation: " + url(route.redirectTo) +
                    "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nmoved");
    return;
  }
  const std::uint64_t size = route.generated ? route.generatedSize : route.content.size();
  std::uint64_t from = 0, to = size == 0 ? 0 : size - 1;
  std::string status = "200 OK", extra;
  const std::string range = request.header("Range");
  if (range.rfind("bytes=", 0) == 0) {
    std::string spec = range.substr(6);
    std::size_t dash = spec.find('-');
    from = std::stoull(spec.substr(0, dash));
    if (dash + 1 < spec.size()) to = std::min<std::uint64_t>(to, std::stoull(spec.substr(dash + 1)));
    if (from >= size || from > to) {
      connection.send("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
    status = "206 Partial Content";
    extra = "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(to) + "/" + std::to_string(size) + "\r\n";
  }
  const std::uint64_t length = size == 0 ? 0 : to - from + 1;
  if (!connection.send("HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(length) + "\r\n" + extra + "Connection: close\r\n\r\n"))
    return;
  std::uint64_t offset = from;
  const std::uint64_t end = from + length;
  while (offset < end) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, kPeriod));
    const char* data = route.generated
                           ? reinterpret_cast<const char*>(patternTable().data() + offset % kPeriod)
                           : route.content.data() + offset;
    if (!connection.send(std::string_view(data, n))) return;
    offset += n;
  }
}

// ---------------------------------------------------------------------------------------------

bool RawConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::send(native(fd_), bytes.data(), static_cast<IoSize>(bytes.size()), kNoSignal);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void RawConnection::pause(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopping_ && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = newSocket();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (!validSocket(listenFd_) || bind(native(listenFd_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(native(listenFd_), 16) != 0)
    throw std::runtime_error("RawHttpServer: cannot listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  getsockname(native(listenFd_), reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

RawHttpServer::~RawHttpServer() {
  stopping_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (SocketId fd : openConnections_) shutdown(native(fd), kShutBoth);
  }
  for (auto& w : workers_) w.join();
  closeSocket(listenFd_);
}

std::string RawHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<SeenRequest> RawHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawHttpServer::acceptLoop() {
  while (!stopping_) {
    if (!readable(listenFd_, 20)) continue;
    const SocketId fd = acceptOne(listenFd_);
    if (!validSocket(fd)) continue;
    if (workers_.size() >= 64) {  // a runaway client: refuse rather than grow without end
      closeSocket(fd);
      continue;
    }
    workers_.emplace_back([this, fd] { serve(fd); });
  }
}

void RawHttpServer::serve(SocketId fd) {
  setTimeouts(fd, 30);
  {
    std::lock_guard lock(mutex_);
    openConnections_.push_back(fd);
  }
  SeenRequest request;
  if (readRequest(fd, request)) {
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    RawConnection connection(fd, stopping_);
    handler_(request, connection);
  }
  {
    std::lock_guard lock(mutex_);
    openConnections_.erase(std::find(openConnections_.begin(), openConnections_.end(), fd));
    shutdown(native(fd), kShutBoth);
    closeSocket(fd);
  }
}

int unusedLoopbackPort() {
  const SocketId fd = newSocket();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(native(fd), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(native(fd), reinterpret_cast<sockaddr*>(&addr), &len);
  closeSocket(fd);
  return ntohs(addr.sin_port);
}

}  // namespace veltrano::test
