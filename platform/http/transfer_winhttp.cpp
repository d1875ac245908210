// The exchange over WinHTTP in asynchronous mode. WinHTTP completes each operation on a thread
// of its own and reports it to a status callback; the callback only queues the completion and
// signals an event. advance() waits on that event and takes the completions up on the caller's
// thread, where it issues the next operation (receive the reply, ask what has come, read it) and
// feeds the shared reply parsing and the body sink. One operation is outstanding at a time; none
// while the sink holds the transfer back. A read asks for no more than WinHTTP said was there:
// a read for more may wait inside the call until it is filled (Wine's does), which would block
// the caller's thread.
//
// WinHTTP has no rate rule of its own, so the stall limit is measured here: over consecutive
// windows of `stallSeconds`, from the moment the request starts (Wine reports the request as
// written only once the reply has begun, so that moment cannot be the start); a window in which
// fewer than `stallBytesPerSecond * stallSeconds` bytes came ends the exchange. A total stall
// therefore ends between one and two windows after the last byte. The time the reader holds the
// transfer back does not count. WinHTTP's own timeouts are set well beyond that, as a backstop.

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/crypto/crypto.h"
#include "platform/http/transfer.h"
#include "platform/http/url.h"
#include "platform/text/vbstring.h"
#include "platform/text/wide.h"

namespace veltrano::http::detail {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kMaxRedirects = 10;
constexpr std::size_t kReadBytes = 16 * 1024;

// One completion as WinHTTP reported it.
struct Completion {
  DWORD status = 0;
  DWORD value = 0;  // bytes read, or the error of a failed operation
};

// What WinHTTP's callback threads share with the transfer. The callback keeps it alive until
// WinHTTP closes the request handle, so a read may complete into `buffer` after the transfer
// has let go of it.
struct Channel {
  std::mutex mutex;
  std::deque<Completion> completions;
  DWORD secureFailure = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a failed certificate check
  HANDLE signal = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // set when a completion is queued
  std::vector<char> buffer = std::vector<char>(kReadBytes);
  std::string body;  // the request body, which must outlive the send

  Channel() = default;
  ~Channel() {
    if (signal) CloseHandle(signal);
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  void post(Completion c) {
    {
      std::lock_guard lock(mutex);
      completions.push_back(c);
    }
    SetEvent(signal);
  }
  bool take(Completion& c) {
    std::lock_guard lock(mutex);
    if (completions.empty()) return false;
    c = completions.front();
    completions.pop_front();
    return true;
  }
};

using ChannelRef = std::shared_ptr<Channel>;

void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD infoLength) {
  auto* ref = reinterpret_cast<ChannelRef*>(context);
  if (!ref) return;
  Channel& channel = **ref;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      channel.post({status, 0});
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      channel.post({status, info ? *static_cast<DWORD*>(info) : 0});
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      channel.post({status, infoLength});
      break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (info && infoLength >= sizeof(DWORD)) {
        std::lock_guard lock(channel.mutex);
        channel.secureFailure = *static_cast<DWORD*>(info);
      }
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      const auto* result = static_cast<WINHTTP_ASYNC_RESULT*>(info);
      channel.post({status, result ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR});
      break;
    }
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      // The last call for this handle: the callback's hold on the channel ends.
      delete ref;
      break;
    default:
      break;
  }
}

// Our own words for WinHTTP's refusals of a secure connection, for a winhttp.dll without text
// for them (Wine's has none); "" for other errors.
const char* secureReason(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return "the secure connection could not be made (TLS handshake failed or the server certificate was refused)";
    case ERROR_WINHTTP_SECURE_FAILURE: return "the server certificate was refused";
    case ERROR_WINHTTP_SECURE_INVALID_CA: return "the server certificate's authority is not trusted";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return "the server certificate does not name this host";
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return "the server certificate has expired or is not valid yet";
    case ERROR_WINHTTP_SECURE_INVALID_CERT: return "the server certificate is invalid";
    case ERROR_WINHTTP_SECURE_CERT_REVOKED: return "the server certificate has been revoked";
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED: return "the server certificate's revocation could not be checked";
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return "the server certificate is not for server authentication";
    default: return "";
  }
}

// The reasons named by the flags of a failed certificate check (WINHTTP_CALLBACK_STATUS_SECURE_FAILURE).
std::string secureFailureReasons(DWORD flags) {
  static constexpr std::pair<DWORD, DWORD> kFlagErrors[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, ERROR_WINHTTP_SECURE_INVALID_CA},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, ERROR_WINHTTP_SECURE_CERT_CN_INVALID},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, ERROR_WINHTTP_SECURE_CERT_DATE_INVALID},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, ERROR_WINHTTP_SECURE_INVALID_CERT},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, ERROR_WINHTTP_SECURE_CERT_REVOKED},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, ERROR_WINHTTP_SECURE_CERT_REV_FAILED},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE},
      {WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR, ERROR_WINHTTP_SECURE_CHANNEL_ERROR}};
  std::string reasons;
  for (const auto& [flag, error] : kFlagErrors) {
    if (!(flags & flag)) continue;
    if (!reasons.empty()) reasons += "; ";
    reasons += secureReason(error);
  }
  return reasons.empty() ? "flags " + std::to_string(flags) : reasons;
}

std::string describe(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                     FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 GetModuleHandleW(L"winhttp.dll"), error, 0, reinterpret_cast<wchar_t*>(&text),
                                 0, nullptr);
  std::string message = "WinHTTP error " + std::to_string(error);
  std::string detail;
  if (n > 0 && text) {
    detail = std::string(text::Trim(text::narrow(std::wstring_view(text, n))));
    while (!detail.empty() && (detail.back() == '\r' || detail.back() == '\n' || detail.back() == '.'))
      detail.pop_back();
  }
  if (text) LocalFree(text);
  if (detail.empty()) detail = secureReason(error);
  if (!detail.empty()) message += ": " + detail;
  return message;
}

DWORD clampedMs(long ms) { return static_cast<DWORD>(std::clamp<long>(ms, 1, 0x7FFFFFFF)); }

}  // namespace

struct Transfer::Engine {
  ChannelRef channel = std::make_shared<Channel>();
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  TransportLimits limits;
  bool head = false;            // a HEAD request: no body follows the headers
  bool sent = false;            // the request has been written
  std::size_t heldBytes = 0;    // read into the channel's buffer, refused by the sink
  long long expectedBody = -1;  // the reply's Content-Length, -1 when the body runs to its close
  long long bodyBytes = 0;
  Clock::time_point windowStart;
  long long windowBytes = 0;

  Engine() = default;
  ~Engine() {
    // Closing the request handle cancels what is outstanding; the callback frees its hold on the
    // channel when WinHTTP is done with the handle.
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void restartWindow() {
    windowStart = Clock::now();
    windowBytes = 0;
  }
};

Transfer::Transfer(BodySink sink) : sink_(std::move(sink)) {}

Transfer::~Transfer() = default;

void Transfer::cancel() {
  engine_.reset();
  clearReply();
}

void Transfer::start(const Request& request) {
  cancel();
  engine_ = std::make_unique<Engine>();
  Engine& e = *engine_;
  e.limits = request.limits;
  const std::string method = text::UCase(request.method);
  e.head = method == "HEAD";

  const std::wstring url = text::widen(encodedForTransport(request.url));
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) || parts.dwHostNameLength == 0) {
    onFinished("Unsupported protocol or malformed address: " + request.url);
    return;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  auto failed = [this](DWORD error) { onFinished(describe(error)); };
  // This machine is reached directly, whatever proxy the system names (Wine also takes one from
  // http_proxy).
  const std::string lowerHost = text::LCase(text::narrow(host));
  const bool loopback = lowerHost == "localhost" || lowerHost == "::1" || lowerHost.rfind("127.", 0) == 0;
  e.session = WinHttpOpen(L"Veltrano", loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (!e.session) return failed(GetLastError());
  // TLS 1.2 and later, whatever the system's default (WinHTTP on older Windows offers TLS 1.0
  // only), as on Linux, where OpenSSL 3 allows nothing older at its default security level;
  // TLS 1.2 alone where WinHTTP knows no 1.3.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!WinHttpSetOption(e.session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(e.session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
  // Name lookup and connection within the connect limit; sends and receives get WinHTTP's own
  // timeout only as a backstop behind the stall limit measured here.
  const int connectMs = static_cast<int>(clampedMs(request.limits.connectTimeoutMs));
  const int backstopMs = static_cast<int>(clampedMs(std::max<long>(request.limits.stallSeconds, 1) * 2000 + 1000));
  WinHttpSetTimeouts(e.session, connectMs, connectMs, backstopMs, backstopMs);
  e.connection = WinHttpConnect(e.session, host.c_str(), parts.nPort, 0);
  if (!e.connection) return failed(GetLastError());
  // The address is sent as given: it was percent-encoded above.
  e.request = WinHttpOpenRequest(e.connection, text::widen(method).c_str(), target.c_str(), nullptr,
                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                 WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                                     (secure ? WINHTTP_FLAG_SECURE : 0));
  if (!e.request) return failed(GetLastError());
  DWORD replyTimeout = static_cast<DWORD>(backstopMs);
  WinHttpSetOption(e.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &replyTimeout, sizeof replyTimeout);

  // One connection per exchange, as on Linux where each exchange has a transport of its own:
  // WinHTTP would otherwise hand a later exchange a kept connection the server may have closed.
  DWORD noKeepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
  WinHttpSetOption(e.request, WINHTTP_OPTION_DISABLE_FEATURE, &noKeepAlive, sizeof noKeepAlive);
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(e.request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  DWORD redirects = kMaxRedirects;
  WinHttpSetOption(e.request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
  // The callback's own hold on the channel, given up when the handle closes.
  auto* hold = new ChannelRef(e.channel);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(hold);
  if (!WinHttpSetOption(e.request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      WinHttpSetStatusCallback(e.request, onStatus,
                               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
                                   WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    const DWORD error = GetLastError();
    delete hold;
    WinHttpCloseHandle(e.request);
    e.request = nullptr;
    return failed(error);
  }

  // The caller's headers in the caller's order; credentials as Basic authorisation, sent at
  // once; a POST without a Content-Type declares a form, as the Linux transport does.
  std::string lines;
  bool hasContentType = false;
  for (const auto& line : request.headerLines) {
    lines += line + "\r\n";
    if (text::LCase(std::string_view(line).substr(0, 13)) == "content-type:") hasContentType = true;
  }
  if (!request.user.empty() || !request.password.empty()) {
    const std::string pair = request.user + ":" + request.password;
    lines += "Authorization: Basic " + crypto::base64Encode(crypto::Bytes(pair.begin(), pair.end())) + "\r\n";
  }
  const bool withBody = method != "GET" && method != "HEAD";
  if (withBody) e.channel->body = request.body;
  if (method == "POST" && !hasContentType) lines += "Content-Type: application/x-www-form-urlencoded\r\n";
  const std::wstring headers = text::widen(lines);
  const auto bodyLength = static_cast<DWORD>(e.channel->body.size());
  if (!WinHttpSendRequest(e.request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          static_cast<DWORD>(headers.size()),
                          bodyLength ? e.channel->body.data() : WINHTTP_NO_REQUEST_DATA, bodyLength, bodyLength,
                          context))
    return failed(GetLastError());
  e.restartWindow();
  advance(0);
}

void Transfer::advance(int waitMs) {
  if (!engine_ || finished_) return;
  Engine& e = *engine_;

  // Asks what has come of the body; the answer arrives as a completion.
  auto queryNext = [&] {
    if (!WinHttpQueryDataAvailable(e.request, nullptr)) onFinished(describe(GetLastError()));
  };
  auto takeUp = [&] {
    Completion c;
    while (!finished_ && e.channel->take(c)) {
      switch (c.status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
          e.sent = true;
          if (!WinHttpReceiveResponse(e.request, nullptr)) onFinished(describe(GetLastError()));
          break;
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: {
          DWORD size = 0;
          WinHttpQueryHeaders(e.request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr,
                              &size, WINHTTP_NO_HEADER_INDEX);
          std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
          size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
          if (!WinHttpQueryHeaders(e.request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                   raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
            onFinished(describe(GetLastError()));
            break;
          }
          raw.resize(size / sizeof(wchar_t));
          const std::string text = text::narrow(raw);
          e.windowBytes += static_cast<long long>(text.size());
          for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            if (end > pos) onHeaderLine(std::string_view(text).substr(pos, end - pos));
            pos = end + 2;
          }
          // WinHTTP hands over the final reply only (redirects and "100 Continue" are behind it).
          headersComplete_ = true;
          const std::string length = header("Content-Length");
          const bool noBody = e.head || statusCode_ == 204 || statusCode_ == 304;
          if (!noBody && !length.empty() && length.size() < 19 &&
              length.find_first_not_of("0123456789") == std::string::npos &&
              text::LCase(header("Transfer-Encoding")).find("chunked") == std::string::npos)
            e.expectedBody = std::stoll(length);
          queryNext();
          break;
        }
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
          if (c.value > 0) {
            const DWORD n = std::min<DWORD>(c.value, static_cast<DWORD>(e.channel->buffer.size()));
            if (!WinHttpReadData(e.request, e.channel->buffer.data(), n, nullptr))
              onFinished(describe(GetLastError()));
            break;
          }
          [[fallthrough]];  // nothing more will come
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
          if (c.value == 0) {
            // The end of the body; one cut short by a closed connection is a failure.
            if (e.expectedBody >= 0 && e.bodyBytes < e.expectedBody)
              onFinished("The connection closed after " + std::to_string(e.bodyBytes) + " of " +
                         std::to_string(e.expectedBody) + " bytes of the body.");
            else
              onFinished({});
            break;
          }
          e.bodyBytes += c.value;
          e.windowBytes += c.value;
          if (onBodyBytes(e.channel->buffer.data(), c.value))
            queryNext();
          else
            e.heldBytes = c.value;
          break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
          std::string reason = describe(c.value);
          DWORD flags = 0;
          {
            std::lock_guard lock(e.channel->mutex);
            flags = e.channel->secureFailure;
          }
          if (flags) reason += " (certificate check failed: " + secureFailureReasons(flags) + ")";
          onFinished(std::move(reason));
          break;
        }
        default:
          break;
      }
    }
  };
  // The stall limit, while the request is out and the reader is not holding the transfer back.
  auto checkStall = [&] {
    if (finished_ || paused_) return;
    const long seconds = std::max<long>(e.limits.stallSeconds, 1);
    if (Clock::now() - e.windowStart < std::chrono::seconds(seconds)) return;
    if (e.windowBytes < static_cast<long long>(e.limits.stallBytesPerSecond) * seconds) {
      onFinished("The transfer stalled: fewer than " + std::to_string(e.limits.stallBytesPerSecond) +
                 " bytes per second for " + std::to_string(seconds) + " seconds.");
      return;
    }
    e.restartWindow();
  };

  takeUp();
  checkStall();
  // A paused transfer waits for its reader, not for the network.
  if (finished_ || waitMs <= 0 || paused_) return;
  WaitForSingleObject(e.channel->signal, static_cast<DWORD>(waitMs));
  takeUp();
  checkStall();
}

void Transfer::resume() {
  if (!paused_ || !engine_) return;
  Engine& e = *engine_;
  paused_ = false;
  // The time held back does not count towards a stall.
  e.restartWindow();
  if (e.heldBytes == 0) return;
  // The held bytes go to the sink at once, which may pause again.
  const std::size_t held = e.heldBytes;
  e.heldBytes = 0;
  if (!onBodyBytes(e.channel->buffer.data(), held)) {
    e.heldBytes = held;
    return;
  }
  if (!WinHttpQueryDataAvailable(e.request, nullptr)) onFinished(describe(GetLastError()));
}

bool Transfer::active() const { return engine_ != nullptr; }

bool Transfer::requestSent() const { return engine_ && (engine_->sent || finished_ || receivedAnything_); }

}  // namespace veltrano::http::detail
