#include "error_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>

#include "error_window_widget.h"

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

void runErrorWindow(const std::string& text) {
  if (!QApplication::instance()) return;  // no display system at all: nothing can be shown
  ErrorWindowWidget window(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  QEventLoop loop;
  QObject::connect(&window, &ErrorWindowWidget::closed, &loop, &QEventLoop::quit);
  window.show();
  window.raise();
  window.activateWindow();
  window.setFocus();
  loop.exec();
}

}  // namespace lumadata
