// The exchange over libcurl's multi interface, driven from advance().

#include <curl/curl.h>

#include <mutex>

#include "platform/deploy/deploy.h"
#include "platform/http/transfer.h"
#include "platform/http/url.h"
#include "platform/text/vbstring.h"

namespace veltrano::http::detail {
namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string_view trimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 64 * 1024;

}  // namespace

// Owns the easy and multi handles and the header list of one exchange.
struct Transfer::Engine {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  std::string errorBuffer = std::string(CURL_ERROR_SIZE + 1, '\0');

  Engine() : multi(curl_multi_init()), easy(curl_easy_init()) {}
  ~Engine() {
    if (multi) curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headerList);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    const std::size_t n = size * count;
    static_cast<Transfer*>(self)->onHeaderLine(trimLineEnd(std::string_view(data, n)));
    return n;
  }
  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
    const std::size_t n = size * count;
    return static_cast<Transfer*>(self)->onBodyBytes(data, n) ? n : CURL_WRITEFUNC_PAUSE;
  }
};

Transfer::Transfer(BodySink sink) : sink_(std::move(sink)) { globalInit(); }

Transfer::~Transfer() = default;

void Transfer::cancel() {
  engine_.reset();
  clearReply();
}

void Transfer::start(const Request& request) {
  cancel();
  engine_ = std::make_unique<Engine>();
  CURL* e = engine_->easy;

  const std::string url = encodedForTransport(request.url);  // libcurl refuses a raw blank
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, engine_->errorBuffer.data());
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
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Engine::onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Engine::onBody);
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
  engine_->headerList = list;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

  curl_multi_add_handle(engine_->multi, e);
  advance(0);
}

void Transfer::advance(int waitMs) {
  if (!engine_ || finished_) return;
  // The multi handle's completions: the one easy handle is done.
  auto collectDone = [this] {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(engine_->multi, &left)) {
      if (msg->msg != CURLMSG_DONE || msg->easy_handle != engine_->easy) continue;
      const CURLcode result = msg->data.result;
      std::string reason;
      if (result != CURLE_OK) {
        reason = engine_->errorBuffer.c_str();
        if (reason.empty()) reason = curl_easy_strerror(result);
      }
      onFinished(std::move(reason));
    }
  };
  int running = 0;
  curl_multi_perform(engine_->multi, &running);
  collectDone();
  // A paused transfer waits for its reader, not for the socket.
  if (finished_ || waitMs <= 0 || paused_) return;
  curl_multi_poll(engine_->multi, nullptr, 0, waitMs, nullptr);
  curl_multi_perform(engine_->multi, &running);
  collectDone();
}

void Transfer::resume() {
  if (!paused_ || !engine_) return;
  paused_ = false;
  // May deliver the held bytes to the sink at once, which may pause again.
  curl_easy_pause(engine_->easy, CURLPAUSE_CONT);
}

bool Transfer::active() const { return engine_ != nullptr; }

bool Transfer::requestSent() const {
  if (!engine_) return false;
  if (finished_ || receivedAnything_) return true;
  long requestBytes = 0;
  curl_easy_getinfo(engine_->easy, CURLINFO_REQUEST_SIZE, &requestBytes);
  return requestBytes > 0;
}

}  // namespace veltrano::http::detail
