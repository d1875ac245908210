#include "error_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>

#include "error_window_widget.h"
#include "platform/ui/scripted_ui.h"

namespace lumadata {

void ErrorTextBox::keyPressEvent(QKeyEvent* event) {
  QPlainTextEdit::keyPressEvent(event);
  event->accept();
}

ErrorWindowWidget::ErrorWindowWidget(const QString& text) {
  setObjectName(kErrorWindowClass);
  setProperty("windowClass", QString::fromUtf8(kErrorWindowClass));
  setWindowTitle(QString::fromUtf8(kErrorWindowTitle));
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(620, 420);
  setFocusPolicy(Qt::StrongFocus);
  text_ = new ErrorTextBox(this);
  text_->setGeometry(5, 5, 600, 400);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setFocusPolicy(Qt::ClickFocus);  // the window keeps the focus until the box is clicked
  text_->setPlainText(text);
}

void ErrorWindowWidget::keyPressEvent(QKeyEvent* event) {
  event->accept();
  close();
}

void ErrorWindowWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

void ShowErrorWindow(std::string_view text) {
  const std::string body(text);
  if (auto* scripted = dynamic_cast<veltrano::ui::ScriptedUi*>(&veltrano::ui::current())) {
    scripted->windowShown("ErrorWindow", kErrorWindowTitle, body);
    return;
  }
  if (!QApplication::instance()) return;  // no display system at all: nothing can be shown
  ErrorWindowWidget window(QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size())));
  QEventLoop loop;
  QObject::connect(&window, &ErrorWindowWidget::closed, &loop, &QEventLoop::quit);
  window.show();
  window.raise();
  window.activateWindow();
  window.setFocus();
  loop.exec();
}

}  // namespace lumadata
