#pragma once
// The asynchronous HTTP request object (the XMLHTTP request of MSXML), over libcurl on Linux and
// WinHTTP on Windows.
//
//   HttpRequest req;
//   req.open("POST", url, true);
//   req.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
//   req.send(body);
//   while (req.readyState() != 4) ui::DoEvents();
//   Bytes reply = req.responseBody();
//
// Each read of readyState() moves the exchange on, waiting on the socket for at most a few
// milliseconds, so a poll loop like the one above neither blocks the message loop nor spins a
// core. The object has no time limit of its own: the exchange ends when the server has answered
// or when the transport gives up (TransportLimits: the connection is not made within 15 s, or
// fewer than 1 byte per second moves for 60 s). An unreachable server, a refused connection or
// a reply cut short ends with readyState 4, status 0, an empty statusText and an empty body;
// the transport's reason is in transportError().
//
// Headers are sent in the order they were set, after the transport's own Host and Accept.
// Redirects are followed. Not thread-safe; one object per exchange (open() again starts over).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/transfer.h"

namespace veltrano::http {

using Bytes = std::vector<std::uint8_t>;

class HttpRequest {
 public:
  // readyState values.
  static constexpr int kUninitialized = 0;  // not opened, or aborted
  static constexpr int kLoading = 1;        // opened, not sent
  static constexpr int kLoaded = 2;         // sent, nothing received yet
  static constexpr int kInteractive = 3;    // receiving
  static constexpr int kCompleted = 4;      // done: answered, or given up

  HttpRequest() = default;
  ~HttpRequest() = default;
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Prepares a request; drops any earlier exchange of this object. With async false, send()
  // returns only when the exchange has ended (without pumping messages).
  void open(std::string_view method, std::string_view url, bool async = true,
            std::string_view user = {}, std::string_view password = {});
  // Adds a request header; raises run-time error 5 when the object is not opened or the name
  // or value would break the header line (a line break, or a name with ":" or blanks).
  void setRequestHeader(std::string_view name, std::string_view value);
  // Sends the request with the body (ignored for GET and HEAD); raises run-time error 5 when
  // the object is not opened or was sent already.
  void send(std::string_view body = {});
  void send(const Bytes& body);

  // The state of the exchange; each call first moves it on (see above).
  int readyState();
  // After send(): moves the exchange on until the request has been written to the connection,
  // for about `waitMs` milliseconds at most (a bounded number of short socket waits, whatever
  // the clock says); true when it has been, or the exchange has ended. Pumps no messages. For a
  // caller that has other work to do before it polls for the reply.
  bool pushRequest(int waitMs);
  // HTTP status of the reply, 0 until the reply headers are in and when the exchange failed.
  int status() const;
  std::string statusText() const;
  // Value of a reply header ("" when absent).
  std::string getResponseHeader(std::string_view name) const;
  // The reply body as received (complete once readyState is 4).
  const Bytes& responseBody() const { return body_; }
  // The reply body as text: CP949 when the reply declares the Korean code page (euc-kr,
  // ks_c_5601-1987, cp949), otherwise UTF-8 (bytes that are not UTF-8 become U+FFFD).
  std::string responseText() const;
  // Why the transport gave up, when it did ("" otherwise).
  std::string transportError() const;

  // Ends the exchange; readyState goes back to 0 and the reply is dropped.
  void abort();
  // Frees the transport (Set req = Nothing); the object can be opened again.
  void release() { abort(); }

  // Transport limits for the next send().
  void setLimits(const TransportLimits& limits) { limits_ = limits; }

 private:
  bool sinkBody(const char* data, std::size_t size);

  detail::Transfer::Request request_;
  detail::Transfer transfer_{[this](const char* d, std::size_t n) { return sinkBody(d, n); }};
  TransportLimits limits_;
  Bytes body_;
  int state_ = kUninitialized;
  bool async_ = true;
};

}  // namespace veltrano::http
