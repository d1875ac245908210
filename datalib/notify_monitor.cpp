#include "notify_monitor.h"

#include "platform/text/ansi.h"
#include "platform/winmsg/winmsg.h"

namespace lumadata {

namespace {
constexpr std::size_t kBufferSize = 255;

// Length of the longest prefix of CP949 bytes within `limit` that ends on a character boundary.
std::size_t wholeCharacters(const std::string& ansi, std::size_t limit) {
  std::size_t i = 0;
  while (i < ansi.size()) {
    const auto b = static_cast<unsigned char>(ansi[i]);
    const std::size_t width = (b >= 0x81 && b <= 0xFE && i + 1 < ansi.size()) ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  return i;
}
}  // namespace

MonitorBlock monitorBlock(std::string_view text) {
  const std::string ansi = veltrano::text::toAnsiString(text);
  const std::size_t n = wholeCharacters(ansi, kBufferSize - 1);
  MonitorBlock block{std::string(kBufferSize, '\0'), static_cast<unsigned>(n + 1)};
  block.buffer.replace(0, n, ansi, 0, n);
  return block;
}

void NotifyMonitor(std::string_view text) {
  try {
    if (!veltrano::winmsg::findWindow(kMonitorTitle)) return;
    const MonitorBlock block = monitorBlock(text);
    veltrano::winmsg::sendCopyData(
        kMonitorTitle, 1, kMonitorNotice, block.cbData,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(block.buffer.data()), block.buffer.size()));
  } catch (...) {
    // A notice never fails its caller.
  }
}

}  // namespace lumadata
