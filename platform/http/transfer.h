#pragma once
// One HTTP exchange driven step by step on the caller's thread, shared by the request object
// (http_request.h) and the transfer control (inet.h). Not for system code: it is the engine
// under those two stand-ins.
//
// Nothing here blocks longer than the wait a caller passes to advance(), and the sink and every
// state change run on the caller's thread (WinHTTP works on threads of its own; its completions
// are queued and taken up by advance()). Redirects are followed (at most 10); only http and https
// are spoken, also after a redirect, and a request made over https is never redirected to http.
// Certificates are checked against the system's store; on Linux also against the bundle named by
// the deploy setting CA_FILE (VELTRANO_CA_FILE), which the Windows build does not read (a private
// CA goes into the machine's certificate store there). A failed check fails the request. Proxies
// come from the usual environment variables (http_proxy, no_proxy) on Linux and from the
// system's proxy settings on Windows.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::http {

// The limits of the transport under every request; the stand-ins add no time limit of their
// own. A request whose connection is not made within `connectTimeoutMs` ends as failed; a
// request that moves fewer than `stallBytesPerSecond` bytes per second for `stallSeconds` in a
// row (waiting for the reply, or in the middle of the body) ends as failed. On Linux the rate is
// libcurl's running average over the last few seconds, so a sudden total stall ends some 60 to
// 65 s after the last byte; on Windows it is measured over consecutive windows of `stallSeconds`
// from the start of the request, so a total stall ends between one and two windows after the last
// byte. A transfer that the reader itself holds back (its buffer is full) does not count as
// stalled.
struct TransportLimits {
  long connectTimeoutMs = 15000;
  long stallSeconds = 60;
  long stallBytesPerSecond = 1;

  // The defaults above, with the deploy settings CONNECT_TIMEOUT_SECONDS and
  // TRANSFER_STALL_SECONDS (VELTRANO_CONNECT_TIMEOUT_SECONDS, VELTRANO_TRANSFER_STALL_SECONDS)
  // taking their place when they hold a whole number of seconds of at least 1.
  static TransportLimits fromDeploySettings();
};

namespace detail {

class Transfer {
 public:
  struct Request {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headerLines;  // "Name: value", sent in this order
    std::string body;                      // sent for methods other than GET and HEAD
    std::string user, password;
    TransportLimits limits;
  };
  // Receives the body as it arrives. Returning false asks the transfer to hold the bytes just
  // offered and pause; they are offered again after resume().
  using BodySink = std::function<bool(const char* data, std::size_t size)>;

  explicit Transfer(BodySink sink);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Starts the exchange (cancelling any previous one) and returns at once. A request the
  // transport refuses outright (a malformed address, an unsupported scheme) ends at once as
  // failed, with the reason in errorText().
  void start(const Request& request);
  // Moves the exchange on: does the socket work that is ready now and, when `waitMs` > 0 and
  // the exchange is not finished, waits at most that long for the sockets, then works again.
  void advance(int waitMs);
  // Ends the exchange and forgets its reply.
  void cancel();

  bool active() const;      // started and not cancelled
  bool finished() const { return finished_; }  // the transport is done (completed or failed)
  bool succeeded() const { return finished_ && error_.empty(); }  // finished without a transport error
  // The headers of the final reply are all in (also true once the exchange has finished).
  bool headersComplete() const { return headersComplete_; }
  // Some reply data (a header line or body bytes) has come in.
  bool receivedAnything() const { return receivedAnything_; }
  // The request has been written to the connection (or the exchange is already further on).
  bool requestSent() const;
  // The transport's reason when the exchange failed, else "".
  std::string errorText() const { return error_; }

  // Header lines of the final reply, status line first, without line ends.
  const std::vector<std::string>& headerLines() const { return headerLines_; }
  int statusCode() const { return statusCode_; }
  std::string statusText() const;
  std::string header(std::string_view name) const;

  // Whether the body sink asked for a pause that has not been lifted yet.
  bool paused() const { return paused_; }
  // Lifts a pause: the held bytes are offered to the sink again (possibly at once, from inside
  // this call).
  void resume();

 private:
  // The transport's own state: libcurl's handles (transfer_curl.cpp) or WinHTTP's
  // (transfer_winhttp.cpp).
  struct Engine;

  // What both transports report, in arrival order, on the caller's thread.
  // One reply header line without its line end; an empty line ends one reply's headers.
  void onHeaderLine(std::string_view line);
  // Body bytes; false when the sink asked for a pause (the bytes are then held by the engine).
  bool onBodyBytes(const char* data, std::size_t size);
  // The end of the exchange: `error` empty when it succeeded, else the transport's reason.
  void onFinished(std::string error);
  // Forgets the reply (the engine is released separately).
  void clearReply();

  BodySink sink_;
  std::unique_ptr<Engine> engine_;
  bool finished_ = false;
  std::string error_;  // set when finished_ and the exchange failed
  std::vector<std::string> headerLines_;
  int statusCode_ = 0;
  bool headersComplete_ = false;
  bool receivedAnything_ = false;
  bool paused_ = false;
};

}  // namespace detail
}  // namespace veltrano::http
