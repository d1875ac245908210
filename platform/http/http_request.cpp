#include "platform/http/http_request.h"

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano::http {
namespace {

// Each readyState poll waits on the socket at most this long.
constexpr int kPollWaitMs = 5;

[[noreturn]] void invalidCall(std::string description) {
  throw RuntimeError(err::kInvalidProcedureCall, "HttpRequest", std::move(description));
}

bool breaksHeaderLine(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

void HttpRequest::open(std::string_view method, std::string_view url, bool async, std::string_view user,
                       std::string_view password) {
  transfer_.cancel();
  body_.clear();
  request_ = {};
  request_.method = std::string(method);
  request_.url = std::string(url);
  request_.user = std::string(user);
  request_.password = std::string(password);
  async_ = async;
  state_ = kLoading;
}

void HttpRequest::setRequestHeader(std::string_view name, std::string_view value) {
  if (state_ != kLoading || transfer_.active()) invalidCall("The request is not open.");
  if (name.empty() || name.find_first_of(": \t") != std::string_view::npos || breaksHeaderLine(name) ||
      breaksHeaderLine(value))
    invalidCall("Invalid request header.");
  request_.headerLines.push_back(std::string(name) + ": " + std::string(value));
}

void HttpRequest::send(const Bytes& body) {
  send(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
}

void HttpRequest::send(std::string_view body) {
  if (state_ != kLoading || transfer_.active()) invalidCall("The request is not open.");
  request_.body = std::string(body);
  request_.limits = limits_;
  body_.clear();
  transfer_.start(request_);
  state_ = kLoaded;
  if (!async_) {
    while (!transfer_.finished()) transfer_.advance(100);
  }
}

int HttpRequest::readyState() {
  if (state_ == kLoaded || state_ == kInteractive) {
    transfer_.advance(kPollWaitMs);
    if (transfer_.finished()) {
      state_ = kCompleted;
      // A failed exchange leaves no partial reply behind.
      if (!transfer_.succeeded()) body_.clear();
    } else if (transfer_.receivedAnything()) {
      state_ = kInteractive;
    }
  }
  return state_;
}

bool HttpRequest::pushRequest(int waitMs) {
  if (state_ != kLoaded && state_ != kInteractive) return state_ == kCompleted;
  for (int waited = 0; !transfer_.requestSent() && !transfer_.finished() && waited < waitMs; ++waited)
    transfer_.advance(1);
  return transfer_.requestSent() || transfer_.finished();
}

int HttpRequest::status() const {
  if (!transfer_.headersComplete() || (transfer_.finished() && !transfer_.succeeded())) return 0;
  return transfer_.statusCode();
}

std::string HttpRequest::statusText() const { return status() == 0 ? std::string() : transfer_.statusText(); }

std::string HttpRequest::getResponseHeader(std::string_view name) const {
  return status() == 0 ? std::string() : transfer_.header(name);
}

std::string HttpRequest::transportError() const { return transfer_.errorText(); }

std::string HttpRequest::responseText() const {
  std::string type = text::LCase(transfer_.header("Content-Type"));
  for (const char* korean : {"charset=euc-kr", "charset=ks_c_5601-1987", "charset=cp949", "charset=x-windows-949"}) {
    if (type.find(korean) != std::string::npos) return text::fromAnsi(std::span<const std::uint8_t>(body_));
  }
  std::string_view raw(reinterpret_cast<const char*>(body_.data()), body_.size());
  return text::toUtf8(text::toU32(raw));
}

void HttpRequest::abort() {
  transfer_.cancel();
  body_.clear();
  state_ = kUninitialized;
}

bool HttpRequest::sinkBody(const char* data, std::size_t size) {
  body_.insert(body_.end(), reinterpret_cast<const std::uint8_t*>(data),
               reinterpret_cast<const std::uint8_t*>(data) + size);
  return true;
}

}  // namespace veltrano::http
