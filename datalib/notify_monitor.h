#pragma once
// Transaction notices to the monitor window: WM_COPYDATA to the window titled "(주)라움트랜스",
// dwData 4000, a 255-byte zero-filled CP949 buffer holding the text, cbData = text bytes + 1.

#include <string>
#include <string_view>

namespace lumadata {

inline constexpr const char* kMonitorTitle = "(주)라움트랜스";
inline constexpr unsigned kMonitorNotice = 4000;

// Sends one notice; returns nothing and never fails towards its caller. A text whose CP949
// form is longer than 254 bytes is cut at the last whole character within 254 bytes, so the
// buffer always ends in a zero and no double-byte character is split.
void NotifyMonitor(std::string_view text);

// The bytes of the buffer and cbData for a text (exposed for the tests).
struct MonitorBlock {
  std::string buffer;  // 255 bytes
  unsigned cbData;
};
MonitorBlock monitorBlock(std::string_view text);

}  // namespace lumadata
