#include "platform/ui/qt_ui.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include "platform/runtime/runtime_folder.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"

namespace veltrano::ui {
namespace {

// Set when this library is loaded, before any QApplication of the process exists: Qt warns
// where XDG_RUNTIME_DIR is unset, and our own programs must agree with it on the folder.
[[maybe_unused]] const bool g_runtimeFolderSet = [] {
  useRuntimeFolder();
  return true;
}();

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

// Button captions as a Korean desktop shows them; the letter after "&" is the access key.
QString koreanCaption(Answer a) {
  switch (a) {
    case Answer::OK: return QStringLiteral("확인");
    case Answer::Cancel: return QStringLiteral("취소");
    case Answer::Abort: return QStringLiteral("중단(&A)");
    case Answer::Retry: return QStringLiteral("다시 시도(&R)");
    case Answer::Ignore: return QStringLiteral("무시(&I)");
    case Answer::Yes: return QStringLiteral("예(&Y)");
    case Answer::No: return QStringLiteral("아니요(&N)");
    default: return {};
  }
}

std::optional<std::string> fileDialog(const FileDialogSpec& dlg, QFileDialog::AcceptMode mode) {
  QFileDialog d(nullptr, q(dlg.title), q(dlg.initialDir.empty() ? dlg.fileName : dlg.initialDir));
  d.setAcceptMode(mode);
  d.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = q(qtFilter(dlg.filter)).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  if (!filters.isEmpty()) {
    d.setNameFilters(filters);
    const auto index = static_cast<qsizetype>(dlg.filterIndex - 1);
    d.selectNameFilter(filters.at(index >= 0 && index < filters.size() ? index : 0));
  }
  d.setDefaultSuffix(q(dlg.defaultExt));
  if (!dlg.fileName.empty() && !dlg.initialDir.empty()) d.selectFile(q(dlg.fileName));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
  return s(d.selectedFiles().front());
}

}  // namespace

void useKoreanTranslations() {
  auto* app = QCoreApplication::instance();
  if (!app || app->property("veltrano.korean").toBool()) return;
  app->setProperty("veltrano.korean", true);
  QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
  auto* translator = new QTranslator(app);
  if (translator->load(QLocale(QLocale::Korean), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;  // the Korean texts of Qt's own dialogs are not installed (qt6-translations-l10n)
}

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
  useKoreanTranslations();
  if (const char* log = std::getenv("VELTRANO_UI_LOG")) logPath_ = log;
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
  for (Answer a : answers) mb.button(toQt(a))->setText(koreanCaption(a));
  std::size_t def = static_cast<std::size_t>(box.defaultButton - 1);
  mb.setDefaultButton(toQt(answers[def < answers.size() ? def : 0]));
  const int r = mb.exec();
  // Closed without a button: Cancel, else No, else the first button (as Windows answers).
  Answer answer = answers.front();
  for (Answer a : answers)
    if (a == Answer::Cancel || a == Answer::No) answer = a;
  for (Answer a : answers)
    if (r == toQt(a)) answer = a;
  appendUiLog(logPath_, {"MsgBox", s(mb.windowTitle()), box.text, box.buttons, box.icon, answerName(answer)});
  return answer;
}

std::optional<std::string> QtUi::inputBox(const InputBoxSpec& box) {
  QInputDialog d;
  d.setWindowTitle(q(box.title.empty() ? appTitle_ : box.title));
  d.setLabelText(q(text::Replace(box.prompt, "\r\n", "\n")));
  d.setTextValue(q(box.defaultText));
  d.setOkButtonText(koreanCaption(Answer::OK));
  d.setCancelButtonText(koreanCaption(Answer::Cancel));
  const bool ok = d.exec() == QDialog::Accepted;
  appendUiLog(logPath_, {"InputBox", s(d.windowTitle()), box.prompt, Buttons::OKCancel, Icon::None,
                         ok ? "Input:" + s(d.textValue()) : std::string("Cancel")});
  if (!ok) return std::nullopt;
  return s(d.textValue());
}

std::optional<std::string> QtUi::openFileDialog(const FileDialogSpec& dlg) {
  auto chosen = fileDialog(dlg, QFileDialog::AcceptOpen);
  appendUiLog(logPath_, {"Open", dlg.title, dlg.filter, Buttons::OKCancel, Icon::None, chosen ? "File:" + *chosen : "Cancel"});
  return chosen;
}

std::optional<std::string> QtUi::saveFileDialog(const FileDialogSpec& dlg) {
  auto chosen = fileDialog(dlg, QFileDialog::AcceptSave);
  appendUiLog(logPath_, {"Save", dlg.title, dlg.filter, Buttons::OKCancel, Icon::None, chosen ? "File:" + *chosen : "Cancel"});
  return chosen;
}

void QtUi::showText(const std::string& title, const std::string& text) {
  QDialog window;
  window.setWindowTitle(q(title));
  auto* layout = new QVBoxLayout(&window);
  auto* view = new QPlainTextEdit(q(text::Replace(text::Replace(text, "\r\n", "\n"), "\r", "\n")), &window);
  view->setObjectName(QStringLiteral("TextView"));
  view->setReadOnly(true);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
  buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("닫기"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
  layout->addWidget(buttons);
  window.resize(640, 480);
  appendUiLog(logPath_, {"Text", title, text, Buttons::OK, Icon::None, ""});
  window.exec();
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
