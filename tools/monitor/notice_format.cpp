#include "notice_format.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/text/ansi.h"

namespace monitor {

std::string formatNotice(const veltrano::winmsg::CopyData& notice, bool hex) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));

  std::size_t n = notice.cbData > 0 ? notice.cbData - 1 : 0;
  if (n > notice.buffer.size()) n = notice.buffer.size();
  std::string text;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= n; ++i) {
    if (i == n || notice.buffer[i] == 0) {
      text += veltrano::text::fromAnsi(std::span<const std::uint8_t>(notice.buffer.data() + start, i - start));
      if (i < n) text += "\\0";
      start = i + 1;
    }
  }
  std::string line = std::string(stamp) + "  [" + std::to_string(notice.dwData) + "] cb=" +
                     std::to_string(notice.cbData) + "  " + text;
  if (hex) {
    line += "  |";
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
      std::snprintf(b, sizeof b, " %02X", notice.buffer[i]);
      line += b;
    }
  }
  return line;
}

}  // namespace monitor
