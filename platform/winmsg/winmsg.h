#pragma once
// WM_COPYDATA between processes: windows found by their title, a synchronous send that waits
// for the receiver's reply.
//
// On Windows a receiving window is a real (hidden) top-level window with that title, and a
// send is SendMessageTimeout(WM_COPYDATA): the receiver gets the cbData bytes lpData points to.
//
// On Linux a receiving window is an Endpoint: a Unix domain socket named after a hash of the
// window title in the endpoint folder ($VELTRANO_WINMSG_DIR, else veltrano-winmsg in the
// per-user runtime folder of platform/runtime/runtime_folder.h). A sender connects, writes one
// copy-data block, and waits for the receiver's result, as SendMessage does; the receiver gets
// as many bytes as the sender's buffer holds, which may exceed cbData.
//
// Either way, a receiver that does not answer within kSendTimeoutMs ends the wait (SendMessage
// would wait for ever; a hung monitor must not hang the product program with it).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::winmsg {

inline constexpr std::uint32_t WM_COPYDATA = 0x004A;
inline constexpr int kSendTimeoutMs = 5000;

// What the receiver gets: wParam, COPYDATASTRUCT's dwData and cbData, and the bytes of the
// buffer lpData points to (as many as the sender's buffer holds, which may exceed cbData).
struct CopyData {
  std::uint64_t wParam = 0;
  std::uint64_t dwData = 0;
  std::uint32_t cbData = 0;
  std::vector<std::uint8_t> buffer;
};

class Endpoint {
 public:
  using Handler = std::function<std::int64_t(const CopyData&)>;
  // Creates the window with this title. Fails (nullptr) when a live window holds the title
  // already or the folder cannot be used.
  static std::unique_ptr<Endpoint> create(std::string title, Handler handler);
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  const std::string& title() const { return title_; }
  // What an event loop watches: on Linux the listening socket (readable: call service(0)); on
  // Windows the window, whose messages come through its thread's message queue.
  std::intptr_t waitHandle() const { return handle_; }
  // Handles the messages waiting; blocks up to timeoutMs (-1: without limit) for the first.
  // Returns the number handled. Call it on the thread that created the endpoint (Windows hands
  // a window's messages to that thread only).
  int service(int timeoutMs);

 private:
  Endpoint(std::string title, std::string path, std::intptr_t handle, Handler handler);
  friend struct EndpointAccess;
  std::string title_;
  std::string path_;       // Linux: the socket file
  std::intptr_t handle_;   // Linux: the socket; Windows: the window
  Handler handler_;
  int handled_ = 0;
};

// FindWindow by title: true when a live endpoint has it.
bool findWindow(std::string_view title);

// SendMessage(hwnd, WM_COPYDATA, wParam, &cds) to the window titled `title`. `buffer` is the
// memory lpData points to. Returns the receiver's result, or nothing when there is no such
// window or it did not answer.
std::optional<std::int64_t> sendCopyData(std::string_view title, std::uint64_t wParam, std::uint64_t dwData,
                                         std::uint32_t cbData, std::span<const std::uint8_t> buffer);

// Linux: the folder of the endpoint sockets, and the socket of a title.
std::string endpointFolder();
std::string endpointPath(std::string_view title);

}  // namespace veltrano::winmsg
