#pragma once
// The access log: one line per request, written whole under a lock so lines of concurrent
// requests never interleave.
//
//   2025-03-04T05:06:07.089Z 127.0.0.1:40312 GET /FILES/TARVIC/README.TXT 206 4000 0.4ms
//
// Time in UTC with milliseconds, client address and port, method, request target as sent
// (blanks, control bytes and non-ASCII bytes escaped as %XX, so a line stays one line and
// splits at blanks), status, bytes of the body
// sent, and the time from the start of the request's handling to the end of its reply ("-"
// for requests refused before handling began, such as a body over the size limit).

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace veltrano::server {

struct AccessRecord {
  std::chrono::system_clock::time_point time;
  std::string client;  // "address:port"
  std::string method;
  std::string target;
  int status = 0;
  std::uint64_t bytes = 0;
  std::optional<std::chrono::nanoseconds> duration;
};

// One formatted line, without the line end.
std::string formatAccessRecord(const AccessRecord& record);

class AccessLog {
 public:
  // destination: "" writes nothing, "-" standard output, otherwise a file opened for appending.
  // Throws std::runtime_error when the file cannot be opened.
  explicit AccessLog(const std::string& destination);
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  bool enabled() const { return out_ != nullptr; }
  void write(const AccessRecord& record);

 private:
  std::mutex mutex_;
  std::FILE* out_ = nullptr;
  bool ownsFile_ = false;
};

}  // namespace veltrano::server
