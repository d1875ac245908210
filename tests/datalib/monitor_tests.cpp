#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include "error_window.h"
#include "error_window_widget.h"
#include "notify_monitor.h"
#include "platform/ui/qt_ui.h"
#include "platform/ui/scripted_ui.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"

using namespace veltrano;

namespace {
struct WinmsgFolder {
  test::TempDir dir;
  test::ScopedEnv env{"VELTRANO_WINMSG_DIR", dir.path().string()};
};
}  // namespace

TEST(MonitorNotice, ReachesTheMonitorWindowAndNothingWithoutOne) {
  WinmsgFolder folder;
  lumadata::NotifyMonitor("TR_OPEN|");  // no monitor: nothing happens, nothing fails
  // The send waits for the receiver's reply, so the monitor runs in another process.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  if (child == 0) {
    int n = 0;
    auto ep = winmsg::Endpoint::create(lumadata::kMonitorTitle, [&](const winmsg::CopyData& m) {
      std::uint32_t head[2] = {static_cast<std::uint32_t>(m.dwData), m.cbData};
      (void)!write(fds[1], head, sizeof head);
      (void)!write(fds[1], m.buffer.data(), m.buffer.size());
      ++n;
      return std::int64_t{1};
    });
    char ready = ep ? 'y' : 'n';
    (void)!write(fds[1], &ready, 1);
    for (int i = 0; i < 50 && n < 1; ++i) ep->service(100);
    _exit(0);
  }
  char ready = 0;
  ASSERT_EQ(read(fds[0], &ready, 1), 1);
  ASSERT_EQ(ready, 'y');
  lumadata::NotifyMonitor("TR_START|1234");
  std::uint32_t head[2] = {};
  ASSERT_EQ(read(fds[0], head, sizeof head), static_cast<ssize_t>(sizeof head));
  EXPECT_EQ(head[0], 4000u);
  EXPECT_EQ(head[1], 14u);
  std::string buffer(255, '\0');
  std::size_t n = 0;
  while (n < buffer.size()) {
    ssize_t r = read(fds[0], buffer.data() + n, buffer.size() - n);
    if (r <= 0) break;
    n += static_cast<std::size_t>(r);
  }
  EXPECT_EQ(buffer.substr(0, 14), std::string("TR_START|1234\0", 14));
  waitpid(child, nullptr, 0);
}

TEST(ErrorWindow, AKeyOnTheWindowClosesItAndAKeyInTheTextBoxDoesNot) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  ui::QtUi qtUi;
  ui::ScopedUi scope(qtUi);
  bool typedIntoBox = false, sawWindow = false;
  QTimer::singleShot(50, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* window = qobject_cast<lumadata::ErrorWindowWidget*>(w);
      if (!window || !window->isVisible()) continue;
      sawWindow = true;
      EXPECT_EQ(window->windowTitle(), QString::fromUtf8("오류 알림 [debug supporter]"));
      EXPECT_EQ(window->size(), QSize(620, 420));
      EXPECT_EQ(window->textBox()->geometry(), QRect(5, 5, 600, 400));
      window->activateWindow();
      window->textBox()->setFocus(Qt::MouseFocusReason);  // as a click into the box does
      QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
      QApplication::sendEvent(window->textBox(), &typed);
      // Keys the text box has no use for stay there too.
      for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_F1, Qt::Key_F5}) {
        QKeyEvent unused(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window->textBox(), &unused);
      }
      typedIntoBox = window->isVisible();
      EXPECT_TRUE(window->textBox()->toPlainText().startsWith("a500"));
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
      QApplication::sendEvent(window, &press);
    }
  });
  QTimer::singleShot(5000, [&] { QApplication::closeAllWindows(); });  // bounded: never hang
  lumadata::ShowErrorWindow("500 Internal Server Error");
  EXPECT_TRUE(sawWindow);
  EXPECT_TRUE(typedIntoBox);
}
