// The transaction monitor: the window the data library announces its transactions to. Shows
// each notice with a time stamp, in a window or, with --console, on standard output.
#include <QApplication>
#include <QListWidget>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "notice_format.h"
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
      "  --idle SECONDS  end after that many seconds without a notice\n",
      kTitle);
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
    else if (a == "--count" && i + 1 < argc) count = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--idle" && i + 1 < argc) idle = std::strtod(argv[++i], nullptr);
    else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      std::fprintf(stderr, "monitor: unknown option %s\n", a.c_str());
      usage();
      return 2;
    }
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

  QApplication app(argc, argv);
  QListWidget window;
  list = &window;
  window.setWindowTitle(QString::fromUtf8(kTitle));
  window.resize(640, 420);
  QSocketNotifier notifier(endpoint->fd(), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    endpoint->service(0);
    if (count >= 0 && received >= count) app.quit();
  });
  window.show();
  return app.exec();
}
