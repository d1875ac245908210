#include "platform/http/transfer.h"

#include <cctype>

#include "platform/deploy/deploy.h"

namespace veltrano::http::detail {
namespace {

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

}  // namespace

void Transfer::clearReply() {
  finished_ = false;
  error_.clear();
  headerLines_.clear();
  statusCode_ = 0;
  headersComplete_ = false;
  receivedAnything_ = false;
  paused_ = false;
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

void Transfer::onHeaderLine(std::string_view line) {
  receivedAnything_ = true;
  if (line.substr(0, 5) == "HTTP/") {
    // A new reply begins (after a "100 Continue" or a redirect that is being followed): only
    // the last one counts.
    headerLines_.assign(1, std::string(line));
    statusCode_ = parseStatusCode(line);
  } else if (line.empty()) {
    // End of one reply's headers. It is the final reply unless it is informational or a
    // redirect that the transport follows; a redirect it does not follow after all ends the
    // transfer, which completes the headers too.
    const int code = statusCode_;
    const bool informational = code >= 100 && code < 200;
    const bool followed = code >= 300 && code < 400 && code != 304 && !header("Location").empty();
    if (!informational && !followed) headersComplete_ = true;
  } else if (!headerLines_.empty()) {
    headerLines_.emplace_back(line);
  }
}

bool Transfer::onBodyBytes(const char* data, std::size_t size) {
  receivedAnything_ = true;
  headersComplete_ = true;
  if (!sink_(data, size)) {
    paused_ = true;
    return false;
  }
  return true;
}

void Transfer::onFinished(std::string error) {
  finished_ = true;
  headersComplete_ = true;
  error_ = std::move(error);
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
