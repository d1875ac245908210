// The transaction monitor: the window the data library announces its transactions to. Shows
// each notice with a time stamp, in a window or, with --console, on standard output. Without
// a display (no DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM offscreen) it says so in one line
// on standard error and prints on standard output as with --console.
#include <QApplication>
#include <QListWidget>
#include <QSocketNotifier>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "notice_format.h"
#include "platform/runtime/runtime_folder.h"
#include "platform/winmsg/winmsg.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
constexpr const char* kTitle = "(주)라움트랜스";

void usage() {
  std::printf(
      "Usage: monitor [--console] [--hex] [--count N] [--idle SECONDS]\n"
      "Receives the transaction notices of the data library (window title \"%s\").\n"
      "  --console       print each notice on standard output instead of opening a window\n"
      "  --hex           also show the bytes of each notice in hexadecimal\n"
      "  --count N       end after N notices\n"
      "  --idle SECONDS  end after that many seconds without a notice\n"
      "  -h, --help      this text\n"
      "Without a display the notices are printed as with --console.\n",
      kTitle);
}

bool displayPresent() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && (std::string(platform) == "offscreen" || std::string(platform) == "minimal")) return false;
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// The whole of `text` as a number of at least 0, or nothing.
template <typename T>
std::optional<T> nonNegative(const std::string& text) {
  T v{};
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || at != end || !(v >= 0)) return std::nullopt;  // NaN too
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  bool console = false, hex = false;
  long count = -1;
  double idle = -1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--console") console = true;
    else if (a == "--hex") hex = true;
    else if (a == "--count" || a == "--idle") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "monitor: %s needs a value (see --help)\n", a.c_str());
        return 2;
      }
      const std::string value = argv[++i];
      bool ok = false;
      if (a == "--count") {
        const auto n = nonNegative<long>(value);
        if ((ok = n.has_value())) count = *n;
      } else {
        const auto s = nonNegative<double>(value);
        if ((ok = s.has_value())) idle = *s;
      }
      if (!ok) {
        std::fprintf(stderr, "monitor: %s wants %s, not \"%s\"\n", a.c_str(),
                     a == "--count" ? "a whole number of notices (0 or more)" : "a number of seconds (0 or more)",
                     value.c_str());
        return 2;
      }
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      std::fprintf(stderr, "monitor: unknown option %s\n", a.c_str());
      usage();
      return 2;
    }
  }
  if (!console && !displayPresent()) {
    std::fprintf(stderr, "monitor: no display (DISPLAY or WAYLAND_DISPLAY); printing the notices here\n");
    console = true;
  }

  long received = 0;
  QListWidget* list = nullptr;
  auto endpoint = veltrano::winmsg::Endpoint::create(kTitle, [&](const veltrano::winmsg::CopyData& notice) {
    const std::string line = monitor::formatNotice(notice, hex);
    if (list) {
      list->addItem(QString::fromStdString(line));
      list->scrollToBottom();
    } else {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
    ++received;
    return std::int64_t{1};
  });
  if (!endpoint) {
    std::fprintf(stderr, "monitor: another monitor is already running (window \"%s\")\n", kTitle);
    return 1;
  }

  if (console) {
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::printf("monitor: waiting for notices\n");
    std::fflush(stdout);
    double quiet = 0;
    while (!g_stop && (count < 0 || received < count)) {
      const int handled = endpoint->service(200);
      quiet = handled ? 0 : quiet + 0.2;
      if (idle >= 0 && quiet >= idle) break;
    }
    return 0;
  }

  veltrano::useRuntimeFolder();
  QApplication app(argc, argv);
  QListWidget window;
  list = &window;
  window.setWindowTitle(QString::fromUtf8(kTitle));
  window.resize(640, 420);
  QSocketNotifier notifier(static_cast<qintptr>(endpoint->waitHandle()), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    endpoint->service(0);
    if (count >= 0 && received >= count) app.quit();
  });
  window.show();
  return app.exec();
}
