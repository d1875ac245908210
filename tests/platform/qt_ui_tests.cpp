// The Qt user interface as a Korean user meets it: message-box buttons, input box and the save
// dialog, driven by a timer while the box runs its own loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "platform/ui/qt_ui.h"
#include "support/test_support.h"

namespace ui = veltrano::ui;
namespace fs = std::filesystem;

namespace {

// Runs `act` on the first visible dialog of type T once the code under test shows it.
template <class T>
void whenShown(std::function<void(T*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* d = qobject_cast<T*>(w);
      if (!d || !d->isVisible()) continue;
      poll->stop();
      poll->deleteLater();
      act(d);
      return;
    }
  });
  poll->start(10);
}

QStringList captions(QMessageBox* box) {
  QStringList out;
  for (QAbstractButton* b : box->findChild<QDialogButtonBox*>()->buttons()) out << b->text();
  out.sort();
  return out;
}

// Shows a box with `style` and presses the button captioned `press`; returns the answer and
// the captions seen.
std::pair<ui::Answer, QStringList> answer(int style, const QString& press, const fs::path& shot = {}) {
  ui::QtUi qt;
  QStringList seen;
  whenShown<QMessageBox>([&](QMessageBox* box) {
    seen = captions(box);
    if (!shot.empty()) box->grab().save(QString::fromStdString(shot.string()));
    for (QAbstractButton* b : box->buttons())
      if (b->text() == press) b->click();
  });
  const ui::Answer a = qt.messageBox(ui::MessageBoxSpec::fromStyle("최신버젼으로 업데이트가 완료 되었습니다.\r\r주요 업데이트 기록을 보시겠습니까?",
                                                                   style, "업데이트"));
  return {a, seen};
}

QStringList sorted(QStringList l) {
  l.sort();
  return l;
}

}  // namespace

TEST(QtUiKorean, MessageBoxButtonsReadAsOnAKoreanDesktop) {
  const fs::path dir = veltrano::test::builtProgram("ui-output");
  fs::create_directories(dir);
  const fs::path shot = dir / "message-box-korean.png";
  fs::remove(shot);

  auto [yes, yesNo] = answer(ui::vbYesNo + ui::vbQuestion, QStringLiteral("예(&Y)"), shot);
  EXPECT_EQ(yes, ui::Answer::Yes);
  EXPECT_EQ(yesNo, sorted({"예(&Y)", "아니요(&N)"}));
  EXPECT_TRUE(fs::exists(shot)) << "a picture of the box for people to look at";

  auto [retry, ari] = answer(ui::vbAbortRetryIgnore, QStringLiteral("다시 시도(&R)"));
  EXPECT_EQ(retry, ui::Answer::Retry);
  EXPECT_EQ(ari, sorted({"중단(&A)", "다시 시도(&R)", "무시(&I)"}));

  auto [cancel, okCancel] = answer(ui::vbOKCancel + ui::vbDefaultButton2, QStringLiteral("취소"));
  EXPECT_EQ(cancel, ui::Answer::Cancel);
  EXPECT_EQ(okCancel, sorted({"확인", "취소"}));

  auto [no, ync] = answer(ui::vbYesNoCancel, QStringLiteral("아니요(&N)"));
  EXPECT_EQ(no, ui::Answer::No);
  EXPECT_EQ(ync, sorted({"예(&Y)", "아니요(&N)", "취소"}));
}

TEST(QtUiKorean, InputBoxButtons) {
  ui::QtUi qt;
  QStringList seen;
  whenShown<QInputDialog>([&](QInputDialog* d) {
    for (QAbstractButton* b : d->findChild<QDialogButtonBox*>()->buttons()) seen << b->text();
    d->findChild<QLineEdit*>()->setText(QStringLiteral("부산특송"));
    d->accept();
  });
  EXPECT_EQ(qt.inputBox({"화주명을 입력하십시오", "검색", ""}), "부산특송");
  EXPECT_EQ(sorted(seen), sorted({"확인", "취소"}));
}

TEST(QtUiKorean, SaveDialogIsKoreanAndAddsTheDefaultExtension) {
  veltrano::test::TempDir dir;
  ui::QtUi qt;
  QString title, accept;
  whenShown<QFileDialog>([&](QFileDialog* d) {
    title = d->windowTitle();
    if (auto* box = d->findChild<QDialogButtonBox*>()) accept = box->buttons().front()->text();
    d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("운임내역"));
    QMetaObject::invokeMethod(d, "accept");  // the save button's slot
  });
  ui::FileDialogSpec dlg{"", "Excel Files (*.xls)|*.xls", 2, "", dir.path().string()};
  dlg.defaultExt = "xls";
  EXPECT_EQ(qt.saveFileDialog(dlg), (dir.path() / "운임내역.xls").string());
  EXPECT_EQ(title, QStringLiteral("다른 이름으로 저장"));
  EXPECT_EQ(accept, QStringLiteral("저장(&S)"));
}

// Qt programs started without XDG_RUNTIME_DIR (as root, from a service) do not complain.
TEST(QtPrograms, StartQuietlyWithoutXdgRuntimeDir) {
  veltrano::test::TempDir dir;
  const auto r = veltrano::test::run("env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen '" +
                                     veltrano::test::builtProgram("tools/pbgallery/pbgallery").string() + "' '" +
                                     (dir / "gallery.png").string() + "' 2>&1");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.find("XDG_RUNTIME_DIR"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir / "gallery.png"));
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
