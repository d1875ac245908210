#include "server/access_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace veltrano::server {

namespace {

void appendEscaped(std::string& out, std::string_view s) {
  static const char* hex = "0123456789ABCDEF";
  for (unsigned char c : s) {
    if (c > 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 0xF]);
    }
  }
}

}  // namespace

std::string formatAccessRecord(const AccessRecord& r) {
  using namespace std::chrono;
  const auto sinceEpoch = r.time.time_since_epoch();
  const std::time_t secs = duration_cast<seconds>(sinceEpoch).count();
  const auto millis = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(millis));

  std::string line = stamp;
  line += ' ';
  appendEscaped(line, r.client.empty() ? "-" : r.client);
  line += ' ';
  appendEscaped(line, r.method.empty() ? "-" : r.method);
  line += ' ';
  appendEscaped(line, r.target.empty() ? "-" : r.target);
  line += ' ';
  line += std::to_string(r.status);
  line += ' ';
  line += std::to_string(r.bytes);
  line += ' ';
  if (r.duration) {
    char d[32];
    std::snprintf(d, sizeof d, "%.1fms", static_cast<double>(r.duration->count()) / 1e6);
    line += d;
  } else {
    line += '-';
  }
  return line;
}

AccessLog::AccessLog(const std::string& destination) {
  if (destination.empty()) return;
  if (destination == "-") {
    out_ = stdout;
    return;
  }
  out_ = std::fopen(destination.c_str(), "a");
  if (!out_)
    throw std::runtime_error("cannot open the access log " + destination + ": " +
                             std::strerror(errno));
  ownsFile_ = true;
}

AccessLog::~AccessLog() {
  if (ownsFile_) std::fclose(out_);
}

void AccessLog::write(const AccessRecord& record) {
  if (!out_) return;
  std::string line = formatAccessRecord(record);
  line += '\n';
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace veltrano::server
