#include "platform/winmsg/winmsg.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/runtime/runtime_folder.h"

namespace veltrano::winmsg {
namespace {

constexpr std::uint32_t kMagic = 0x314D5756;  // "VWM1"
constexpr std::uint32_t kMaxBuffer = 1 << 20;

struct Header {
  std::uint32_t magic;
  std::uint32_t cbData;
  std::uint64_t wParam;
  std::uint64_t dwData;
  std::uint32_t bufferLength;
  std::uint32_t reserved;
};

bool waitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int r;
  do r = ::poll(&p, 1, timeoutMs); while (r < 0 && errno == EINTR);
  return r > 0;
}

bool writeAll(int fd, const void* data, std::size_t n, int timeoutMs) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    if (!waitFor(fd, POLLOUT, timeoutMs)) return false;
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool readAll(int fd, void* data, std::size_t n, int timeoutMs) {
  auto* p = static_cast<std::uint8_t*>(data);
  while (n > 0) {
    if (!waitFor(fd, POLLIN, timeoutMs)) return false;
    ssize_t r = ::recv(fd, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool fillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

int connectTo(const std::string& path) {
  // No socket file, no window: a stat is far cheaper than a failed connect.
  if (::access(path.c_str(), F_OK) != 0) return -1;
  sockaddr_un addr;
  if (!fillAddress(path, addr)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string endpointFolder() {
  if (const char* dir = std::getenv("VELTRANO_WINMSG_DIR"); dir && *dir) return dir;
  return runtimeFolder() + "/veltrano-winmsg";
}

std::string endpointPath(std::string_view title) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a of the UTF-8 title
  for (unsigned char c : title) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char name[40];
  std::snprintf(name, sizeof name, "/w-%016llx.sock", static_cast<unsigned long long>(h));
  return endpointFolder() + name;
}

std::unique_ptr<Endpoint> Endpoint::create(std::string title, Handler handler) {
  const std::string folder = endpointFolder();
  ::mkdir(folder.c_str(), 0700);
  const std::string path = endpointPath(title);
  if (int live = connectTo(path); live >= 0) {
    ::close(live);
    return nullptr;
  }
  ::unlink(path.c_str());  // a stale socket of an ended process
  sockaddr_un addr;
  if (!fillAddress(path, addr)) return nullptr;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<Endpoint>(new Endpoint(std::move(title), path, fd, std::move(handler)));
}

Endpoint::Endpoint(std::string title, std::string path, std::intptr_t handle, Handler handler)
    : title_(std::move(title)), path_(std::move(path)), handle_(handle), handler_(std::move(handler)) {}

Endpoint::~Endpoint() {
  ::close(static_cast<int>(handle_));
  ::unlink(path_.c_str());
}

int Endpoint::service(int timeoutMs) {
  int handled = 0;
  const int fd = static_cast<int>(handle_);
  if (!waitFor(fd, POLLIN, timeoutMs)) return 0;
  while (true) {
    int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
      if (errno == EINTR) continue;
      break;  // nothing more waiting
    }
    Header h{};
    CopyData msg;
    if (readAll(c, &h, sizeof h, kSendTimeoutMs) && h.magic == kMagic && h.bufferLength <= kMaxBuffer) {
      msg.wParam = h.wParam;
      msg.dwData = h.dwData;
      msg.cbData = h.cbData;
      msg.buffer.resize(h.bufferLength);
      if (readAll(c, msg.buffer.data(), msg.buffer.size(), kSendTimeoutMs)) {
        std::int64_t result = handler_ ? handler_(msg) : 0;
        writeAll(c, &result, sizeof result, kSendTimeoutMs);
        ++handled;
      }
    }
    ::close(c);
  }
  return handled;
}

bool findWindow(std::string_view title) {
  int fd = connectTo(endpointPath(title));
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::optional<std::int64_t> sendCopyData(std::string_view title, std::uint64_t wParam, std::uint64_t dwData,
                                         std::uint32_t cbData, std::span<const std::uint8_t> buffer) {
  if (buffer.size() > kMaxBuffer) return std::nullopt;
  int fd = connectTo(endpointPath(title));
  if (fd < 0) return std::nullopt;
  Header h{kMagic, cbData, wParam, dwData, static_cast<std::uint32_t>(buffer.size()), 0};
  std::optional<std::int64_t> result;
  std::int64_t reply = 0;
  if (writeAll(fd, &h, sizeof h, kSendTimeoutMs) && writeAll(fd, buffer.data(), buffer.size(), kSendTimeoutMs) &&
      readAll(fd, &reply, sizeof reply, kSendTimeoutMs))
    result = reply;
  ::close(fd);
  return result;
}

}  // namespace veltrano::winmsg
