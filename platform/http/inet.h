#pragma once
// The HTTP transfer control (the Inet control of MSINET), over libcurl on Linux and WinHTTP on
// Windows: one request at a time, started by Execute and followed by polling, with the reply
// body read in chunks.
//
//   inet.setURL(url);
//   inet.Execute("", "GET");
//   while (inet.StillExecuting()) ui::DoEvents();     // until the reply headers are in
//   std::string head = inet.GetHeader();               // "HTTP/1.1 200 OK\r\nContent-Length: ..."
//   Bytes chunk;
//   do inet.GetChunk(512, chunk); while (chunk.size() > 1);   // the body, piece by piece
//   inet.Cancel();
//
// The body is never held whole: at most kBufferBytes of it wait in memory, and the transfer
// pauses while that buffer is full, so memory stays bounded whatever the size of the file. The
// bytes are copied once, from the transport into that buffer; ReadChunk hands them out in place.
// The control has no time limit of its own; the transport's limits end a dead request
// (TransportLimits: no connection within 15 s, or less than 1 byte per second for 60 s while
// waiting for the reply or in the middle of the body, but not while the reader holds the
// transfer back; the deploy settings CONNECT_TIMEOUT_SECONDS and TRANSFER_STALL_SECONDS change
// the two times). Not thread-safe.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/byte_ring.h"
#include "platform/http/transfer.h"

namespace veltrano::http {

using Bytes = std::vector<std::uint8_t>;

class Inet {
 public:
  // Body bytes held between the socket and GetChunk at most; while the buffer is full the
  // transport keeps back the one delivery (16 KiB at most) that did not fit and reads nothing.
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  Inet();
  ~Inet();
  Inet(const Inet&) = delete;
  Inet& operator=(const Inet&) = delete;

  // The address the next Execute without an address uses.
  const std::string& URL() const { return url_; }
  void setURL(std::string_view url) { url_ = std::string(url); }

  // Starts a request and returns at once; any earlier request of this control is dropped.
  // `url` empty: URL. `operation`: "GET", "HEAD" or "POST" (`data` is the body of a POST);
  // anything else raises run-time error 5. `requestHeaders`: extra header lines, each ended by
  // CR LF (for example "Range: bytes=4000-\r\n"). A request the transport cannot even start
  // (bad address) fails at once: StillExecuting is false and GetChunk raises. Raises 7 when
  // the control's buffer cannot be made (first Execute only).
  void Execute(std::string_view url = {}, std::string_view operation = "GET", std::string_view data = {},
               std::string_view requestHeaders = {});

  // True until the reply headers are in or the request has failed. Each read moves the request
  // on, waiting on the socket for a few milliseconds at most; callers pump between reads.
  bool StillExecuting();

  // The reply headers as one text: the status line first ("HTTP/1.1 200 OK"), then each header
  // line, every line ended by CR LF. Empty when no reply came (or after Cancel).
  std::string GetHeader() const;
  // The value of one reply header, matched without regard to case; "" when absent.
  std::string GetHeader(std::string_view name) const;

  // The next at most `size` bytes of the body. Waits (moving the transfer on and pumping
  // ui::DoEvents between short socket waits) until `size` bytes are there or the body has
  // ended, so a chunk shorter than asked for, and a chunk of one byte or none, comes only at
  // the end of the body (a single read is capped at half of kBufferBytes). After the end every
  // call returns an empty chunk. Raises RuntimeError 57 (device I/O error) with the transport's
  // reason when the transfer failed (connection refused or dropped mid-body, stalled, body
  // shorter than its Content-Length) once the bytes received before the failure have been
  // handed out, and when there is no request (never executed, or cancelled). `size` 0 or less
  // gives an empty chunk.
  void GetChunk(long size, Bytes& out);
  Bytes GetChunk(long size);
  // GetChunk without the copy: the same bytes, with the same waits and errors, as a view of the
  // control's buffer that stays valid until the next call on this control.
  std::span<const std::uint8_t> ReadChunk(long size);

  // Ends the request and drops its reply.
  void Cancel();

  // The transport's reason when the request failed, else "".
  std::string ResponseInfo() const { return transfer_.errorText(); }

  // Limits for the next Execute.
  void setLimits(const TransportLimits& limits) { limits_ = limits; }

 private:
  bool sinkBody(const char* data, std::size_t size);
  void resumeWhenRoom();

  std::string url_;
  TransportLimits limits_;
  detail::Transfer transfer_;
  // Body bytes waiting for GetChunk.
  detail::ByteRing ring_;
};

}  // namespace veltrano::http
