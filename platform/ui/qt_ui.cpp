#include "platform/ui/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/text/vbstring.h"

namespace veltrano::ui {
namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string s(const QString& q) { return q.toUtf8().toStdString(); }

QMessageBox::StandardButton toQt(Answer a) {
  switch (a) {
    case Answer::OK: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Abort: return QMessageBox::Abort;
    case Answer::Retry: return QMessageBox::Retry;
    case Answer::Ignore: return QMessageBox::Ignore;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    default: return QMessageBox::NoButton;
  }
}

}  // namespace

std::string qtFilter(const std::string& filter) {
  auto parts = text::Split(filter, "|");
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (!out.empty()) out += ";;";
    out += parts[i];
    if (parts[i].find('(') == std::string::npos) out += " (" + text::Replace(parts[i + 1], ";", " ") + ")";
  }
  return out;
}

QtUi::QtUi() : timerPump_(std::make_unique<QTimer>()) {
  QObject::connect(timerPump_.get(), &QTimer::timeout, [] { fireDueTimers(); });
  timerPump_->start(25);
}

QtUi::~QtUi() = default;

Answer QtUi::messageBox(const MessageBoxSpec& box) {
  QMessageBox mb;
  mb.setWindowTitle(q(box.title.empty() ? appTitle_ : box.title));
  mb.setText(q(text::Replace(text::Replace(box.text, "\r\n", "\n"), "\r", "\n")));
  switch (box.icon) {
    case Icon::Critical: mb.setIcon(QMessageBox::Critical); break;
    case Icon::Question: mb.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: mb.setIcon(QMessageBox::Warning); break;
    case Icon::Information: mb.setIcon(QMessageBox::Information); break;
    default: break;
  }
  const auto answers = answersOf(box.buttons);
  QMessageBox::StandardButtons buttons;
  for (Answer a : answers) buttons |= toQt(a);
  mb.setStandardButtons(buttons);
  std::size_t def = static_cast<std::size_t>(box.defaultButton - 1);
  mb.setDefaultButton(toQt(answers[def < answers.size() ? def : 0]));
  const int r = mb.exec();
  for (Answer a : answers)
    if (r == toQt(a)) return a;
  // Closed without a button: the Cancel-like answer when there is one.
  for (Answer a : answers)
    if (a == Answer::Cancel || a == Answer::No) return a;
  return answers.front();
}

std::optional<std::string> QtUi::inputBox(const InputBoxSpec& box) {
  bool ok = false;
  QString r = QInputDialog::getText(nullptr, q(box.title.empty() ? appTitle_ : box.title),
                                    q(text::Replace(box.prompt, "\r\n", "\n")), QLineEdit::Normal,
                                    q(box.defaultText), &ok);
  if (!ok) return std::nullopt;
  return s(r);
}

std::optional<std::string> QtUi::openFileDialog(const FileDialogSpec& dlg) {
  QString r = QFileDialog::getOpenFileName(nullptr, q(dlg.title), q(dlg.initialDir.empty() ? dlg.fileName : dlg.initialDir),
                                           q(qtFilter(dlg.filter)));
  if (r.isEmpty()) return std::nullopt;
  return s(r);
}

std::optional<std::string> QtUi::saveFileDialog(const FileDialogSpec& dlg) {
  QString r = QFileDialog::getSaveFileName(nullptr, q(dlg.title), q(dlg.initialDir.empty() ? dlg.fileName : dlg.initialDir),
                                           q(qtFilter(dlg.filter)));
  if (r.isEmpty()) return std::nullopt;
  return s(r);
}

void QtUi::pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  fireDueTimers();
}

void QtUi::setMousePointer(MousePointer p) {
  if (p == pointer_) return;
  if (pointer_ != MousePointer::Default) QGuiApplication::restoreOverrideCursor();
  pointer_ = p;
  if (p == MousePointer::Hourglass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else if (p == MousePointer::Arrow) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
}

}  // namespace veltrano::ui
