#include "platform/http/transfer.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

#include "platform/deploy/deploy.h"
#include "platform/http/url.h"
#include "platform/text/vbstring.h"

namespace veltrano::http::detail {
namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURLM* asMulti(void* p) { return static_cast<CURLM*>(p); }
CURL* asEasy(void* p) { return static_cast<CURL*>(p); }

std::string_view trimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// "HTTP/1.1 404 Not Found" -> 404; 0 when the line has no three-digit code.
int parseStatusCode(std::string_view statusLine) {
  std::size_t space = statusLine.find(' ');
  if (space == std::string_view::npos || statusLine.size() < space + 4) return 0;
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (statusLine[i] < '0' || statusLine[i] > '9') return 0;
    code = code * 10 + (statusLine[i] - '0');
  }
  return code;
}

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 64 * 1024;

}  // namespace

Transfer::Transfer(BodySink sink) : sink_(std::move(sink)) { globalInit(); }

Transfer::~Transfer() { release(); }

void Transfer::release() {
  if (easy_) {
    if (multi_) curl_multi_remove_handle(asMulti(multi_), asEasy(easy_));
    curl_easy_cleanup(asEasy(easy_));
    easy_ = nullptr;
  }
  if (multi_) {
    curl_multi_cleanup(asMulti(multi_));
    multi_ = nullptr;
  }
  if (headerList_) {
    curl_slist_free_all(static_cast<curl_slist*>(headerList_));
    headerList_ = nullptr;
  }
}

void Transfer::cancel() {
  release();
  finished_ = false;
  result_ = 0;
  errorBuffer_.clear();
  headerLines_.clear();
  statusCode_ = 0;
  headersComplete_ = false;
  receivedAnything_ = false;
  paused_ = false;
}

void Transfer::start(const Request& request) {
  cancel();
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  CURL* e = asEasy(easy_);
  errorBuffer_.assign(CURL_ERROR_SIZE + 1, '\0');

  const std::string url = encodedForTransport(request.url);  // libcurl refuses a raw blank
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_.data());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  // A redirect never leads from https to plain http.
  const bool secure = text::LCase(std::string_view(request.url).substr(0, 8)) == "https://";
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  // Certificates are checked against the system's store (its folder stays the CA path) and the
  // extra bundle of CA_FILE, when one is set.
  if (const std::string caFile = deploy::get("CA_FILE"); !caFile.empty())
    curl_easy_setopt(e, CURLOPT_CAINFO, caFile.c_str());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, request.limits.connectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, request.limits.stallBytesPerSecond);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, request.limits.stallSeconds);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  if (!request.user.empty() || !request.password.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, request.password.c_str());
  }

  std::string method = text::UCase(request.method);
  if (method == "GET") {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    if (method == "POST") {
      curl_easy_setopt(e, CURLOPT_POST, 1L);
    } else {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  }

  // The caller's headers in the caller's order. "Expect:" keeps curl from holding a larger
  // body back for a "100 Continue" the servers of this system never send.
  curl_slist* list = nullptr;
  for (const auto& line : request.headerLines) list = curl_slist_append(list, line.c_str());
  list = curl_slist_append(list, "Expect:");
  headerList_ = list;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

  curl_multi_add_handle(asMulti(multi_), e);
  advance(0);
}

void Transfer::advance(int waitMs) {
  if (!easy_ || finished_) return;
  int running = 0;
  curl_multi_perform(asMulti(multi_), &running);
  collectDone();
  // A paused transfer waits for its reader, not for the socket.
  if (finished_ || waitMs <= 0 || paused_) return;
  curl_multi_poll(asMulti(multi_), nullptr, 0, waitMs, nullptr);
  curl_multi_perform(asMulti(multi_), &running);
  collectDone();
}

void Transfer::collectDone() {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(asMulti(multi_), &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == asEasy(easy_)) {
      finished_ = true;
      result_ = msg->data.result;
      headersComplete_ = true;
    }
  }
}

void Transfer::resume() {
  if (!paused_ || !easy_) return;
  paused_ = false;
  // May deliver the held bytes to the sink at once, which may pause again.
  curl_easy_pause(asEasy(easy_), CURLPAUSE_CONT);
}

bool Transfer::active() const { return easy_ != nullptr; }

bool Transfer::requestSent() const {
  if (!easy_) return false;
  if (finished_ || receivedAnything_) return true;
  long requestBytes = 0;
  curl_easy_getinfo(asEasy(easy_), CURLINFO_REQUEST_SIZE, &requestBytes);
  return requestBytes > 0;
}
bool Transfer::finished() const { return finished_; }
bool Transfer::succeeded() const { return finished_ && result_ == CURLE_OK; }
bool Transfer::headersComplete() const { return headersComplete_; }

std::string Transfer::errorText() const {
  if (!finished_ || result_ == CURLE_OK) return {};
  std::string detail(errorBuffer_.c_str());
  return detail.empty() ? std::string(curl_easy_strerror(static_cast<CURLcode>(result_))) : detail;
}

std::string Transfer::statusText() const {
  if (headerLines_.empty()) return {};
  std::string_view line = headerLines_.front();
  std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return {};
  std::size_t second = line.find(' ', first + 1);
  return second == std::string_view::npos ? std::string() : std::string(line.substr(second + 1));
}

std::string Transfer::header(std::string_view name) const {
  for (std::size_t i = 1; i < headerLines_.size(); ++i) {
    std::string_view line = headerLines_[i];
    if (line.size() > name.size() && line[name.size()] == ':' && startsWithNoCase(line, name)) {
      std::string_view value = line.substr(name.size() + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
      return std::string(value);
    }
  }
  return {};
}

std::size_t Transfer::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<Transfer*>(self);
  const std::size_t n = size * count;
  std::string_view line = trimLineEnd(std::string_view(data, n));
  t->receivedAnything_ = true;
  if (line.substr(0, 5) == "HTTP/") {
    // A new reply begins (after a "100 Continue" or a redirect that is being followed): only
    // the last one counts.
    t->headerLines_.assign(1, std::string(line));
    t->statusCode_ = parseStatusCode(line);
  } else if (line.empty()) {
    // End of one reply's headers. It is the final reply unless it is informational or a
    // redirect that the transport follows; a redirect it does not follow after all ends the
    // transfer, which completes the headers too.
    const int code = t->statusCode_;
    const bool informational = code >= 100 && code < 200;
    const bool followed = code >= 300 && code < 400 && code != 304 && !t->header("Location").empty();
    if (!informational && !followed) t->headersComplete_ = true;
  } else if (!t->headerLines_.empty()) {
    t->headerLines_.emplace_back(line);
  }
  return n;
}

std::size_t Transfer::onBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<Transfer*>(self);
  const std::size_t n = size * count;
  t->receivedAnything_ = true;
  t->headersComplete_ = true;
  if (!t->sink_(data, n)) {
    t->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  return n;
}

}  // namespace veltrano::http::detail

namespace veltrano::http {
namespace {

// A whole number of seconds of at least 1, or 0.
long secondsSetting(std::string_view name) {
  const std::string value = deploy::get(name);
  if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stol(value);
}

}  // namespace


TransportLimits TransportLimits::fromDeploySettings() {
  TransportLimits limits;
  if (const long s = secondsSetting("CONNECT_TIMEOUT_SECONDS"); s > 0) limits.connectTimeoutMs = s * 1000;
  if (const long s = secondsSetting("TRANSFER_STALL_SECONDS"); s > 0) limits.stallSeconds = s;
  return limits;
}

}  // namespace veltrano::http
