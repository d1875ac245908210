#include "platform/http/inet.h"

#include <algorithm>

#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"

namespace veltrano::http {
namespace {

// Longest single wait on the socket inside StillExecuting and GetChunk.
constexpr int kPollWaitMs = 5;
// A paused transfer is resumed once this much room is free: more than the transport ever
// offers at once, so the held bytes fit.
constexpr std::size_t kResumeRoom = 32 * 1024;

}  // namespace

Inet::Inet() : limits_(TransportLimits::fromDeploySettings()), transfer_([this](const char* d, std::size_t n) { return sinkBody(d, n); }) {}

Inet::~Inet() = default;

void Inet::Execute(std::string_view url, std::string_view operation, std::string_view data,
                   std::string_view requestHeaders) {
  if (!url.empty()) url_ = std::string(url);
  std::string op = text::UCase(text::Trim(operation.empty() ? std::string_view("GET") : operation));
  if (op != "GET" && op != "HEAD" && op != "POST")
    throw RuntimeError(err::kInvalidProcedureCall, "Inet", "Unsupported operation: " + op);

  detail::Transfer::Request request;
  request.method = op;
  request.url = url_;
  request.body = std::string(data);
  request.limits = limits_;
  std::size_t pos = 0;
  while (pos < requestHeaders.size()) {
    std::size_t end = requestHeaders.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = requestHeaders.size();
    std::string_view line = requestHeaders.substr(pos, end - pos);
    if (!text::Trim(line).empty()) {
      if (line.find(':') == std::string_view::npos)
        throw RuntimeError(err::kInvalidProcedureCall, "Inet", "Invalid request header: " + std::string(line));
      request.headerLines.emplace_back(line);
    }
    pos = end + 1;
  }

  if (!ring_.allocated()) ring_.allocate(kBufferBytes);
  ring_.clear();
  transfer_.start(request);
}

bool Inet::StillExecuting() {
  if (!transfer_.active()) return false;
  if (!transfer_.headersComplete()) transfer_.advance(kPollWaitMs);
  return !transfer_.headersComplete();
}

std::string Inet::GetHeader() const {
  std::string all;
  for (const auto& line : transfer_.headerLines()) {
    all += line;
    all += "\r\n";
  }
  return all;
}

std::string Inet::GetHeader(std::string_view name) const { return transfer_.header(name); }

Bytes Inet::GetChunk(long size) {
  Bytes out;
  GetChunk(size, out);
  return out;
}

void Inet::GetChunk(long size, Bytes& out) {
  const std::span<const std::uint8_t> chunk = ReadChunk(size);
  out.assign(chunk.begin(), chunk.end());
  resumeWhenRoom();
}

std::span<const std::uint8_t> Inet::ReadChunk(long size) {
  if (!transfer_.active())
    throw RuntimeError(err::kDeviceIOError, "Inet", "GetChunk: no request is open.");
  if (size <= 0) return {};
  const std::size_t asked = static_cast<std::size_t>(size);
  const std::size_t want = std::min(asked, kBufferBytes / 2);

  while (ring_.size() < want && !transfer_.finished()) {
    resumeWhenRoom();
    transfer_.advance(kPollWaitMs);
    if (ring_.size() < want && !transfer_.finished()) ui::DoEvents();
  }

  if (transfer_.finished() && !transfer_.succeeded() && ring_.size() < std::min<std::size_t>(asked, 2)) {
    // The bytes that came before the failure have been handed out; a chunk of one byte or
    // none would read as the normal end of the body, so the failure is raised instead.
    throw RuntimeError(err::kDeviceIOError, "Inet",
                       "The transfer of " + url_ + " failed: " + transfer_.errorText());
  }
  const std::size_t n = std::min(asked, ring_.size());
  if (n == 0) return {};
  const std::span<const std::uint8_t> chunk(ring_.data(), n);
  // The bytes stay where they are until the transfer moves on, which only a later call does:
  // the pause is not lifted here, since the held bytes could land on them.
  ring_.consume(n);
  return chunk;
}

void Inet::resumeWhenRoom() {
  if (transfer_.paused() && ring_.room() >= kResumeRoom) transfer_.resume();
}

// Runs inside the transport's callback: raises nothing.
bool Inet::sinkBody(const char* data, std::size_t size) {
  if (size > ring_.room()) {
    if (ring_.size() != 0) return false;  // full: hold the transfer until GetChunk makes room
    // A single delivery larger than the whole buffer (the transport never offers one): make
    // room rather than stall for ever.
    try {
      ring_.allocate(size);
    } catch (const RuntimeError&) {
      return false;
    }
  }
  ring_.write(reinterpret_cast<const std::uint8_t*>(data), size);
  return true;
}

void Inet::Cancel() {
  transfer_.cancel();
  ring_.clear();
}

}  // namespace veltrano::http
