// The update window without a server: start-up modes that do not query, the close box, the
// indicators, the byte counter and the activity watch, and the Qt view mirroring the form
// (buttons, check box, close box, the end of the program raised inside Qt's loop).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <chrono>
#include <optional>
#include <thread>

#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"
#include "support/test_support.h"
#include "updater/cls_sysreg.h"
#include "updater/first_query.h"
#include "updater/mod_standard.h"
#include "platform/text/vbstring.h"
#include "updater/query_protocol.h"
#include "updater/update_window.h"
#include "updater/update_window_widget.h"
#include "updater/version_check.h"

namespace meridox {
namespace {

namespace test = veltrano::test;
namespace ui = veltrano::ui;

std::string installedValue(const std::string& name) {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\COMMON");
  reg.KeyName("Installed");
  reg.KeyValue(name);
  return reg.GetRegistry();
}

struct UpdateWindowIdle : ::testing::Test {
  test::ScopedRegistry registry;
  test::TempDir dir;
  // Nothing listens there: a query would come back as the failure result.
  test::ScopedEnv host{"VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort())};
  veltrano::ManualClock clock;
  veltrano::ScopedClock clockScope{clock};
  ui::ScriptedUi scripted;
  ui::ScopedUi uiScope{scripted};

  ProgramInfo program(std::string command, std::string exeName = "meridox") const {
    ProgramInfo p;
    p.path = dir.path().string();
    p.exeName = std::move(exeName);
    p.major = 1;
    p.minor = 2;
    p.revision = 3;
    p.command = std::move(command);
    return p;
  }
};

TEST_F(UpdateWindowIdle, StartsHiddenWithTheInitialTextsAndControls) {
  UpdateWindow w(program("X"));
  const UpdateForm& f = w.form();
  EXPECT_FALSE(f.Visible());
  EXPECT_EQ(f.Caption(), "Tarvic Product Auto Update [Veltrano Only]");
  EXPECT_EQ(f.LB_MAIN.Caption(), "Tarvic 제품군 통합 업데이트");
  EXPECT_EQ(f.LB_SUBMAIN.Caption(), "잠시만 기다리세요. 서버에서 설치정보를 얻고있습니다.");
  EXPECT_EQ(f.FRM_FLAME.Caption(), "업데이트 파일 설치");
  EXPECT_FALSE(f.FRM_FLAME.Visible());
  EXPECT_EQ(f.CHK_DNALL.Value(), 0);
  EXPECT_EQ(f.Com_Cancel.Caption(), "취 소");
  EXPECT_EQ(f.LB_SETUP_PB.Caption(), "시스템에 설치된 제품확인.");
  EXPECT_EQ(w.SP_PB().Value(), 100);
  EXPECT_EQ(w.SP_PB().Theme(), 4);
  EXPECT_EQ(w.SP_PB().TextStyle(), 3);
  EXPECT_EQ(w.SP_PB().Text(), "100%");
  EXPECT_EQ(w.SP_PB().TextEffectColor(), 16777215);
  EXPECT_EQ(w.Dn().CHUNK(), 65536);
  EXPECT_EQ(w.TMR_PROC().interval(), 500);
  EXPECT_FALSE(w.TMR_PROC().enabled());
}

TEST_F(UpdateWindowIdle, OneItemCommandTextsWaitForCancelWithoutAQuery) {
  // A bare product code, "COPY" under the updater's own name and "delete" in lower case all
  // leave the window waiting with its first texts.
  for (const auto& [command, exe] : std::vector<std::pair<std::string, std::string>>{
           {"TARVIC", "meridox"}, {"COPY", "meridox"}, {"delete", "meridox"}, {"copy", "tarvic"}}) {
    UpdateWindow w(program(command, exe));
    w.Form_Load();
    EXPECT_TRUE(w.form().Visible()) << command;
    EXPECT_EQ(w.form().visibleIco(), 0);
    EXPECT_EQ(w.form().visibleStat(), 2);
    EXPECT_EQ(w.form().LB_SETUPLIST.Caption(), "");
    EXPECT_FALSE(w.form().FRM_FLAME.Visible());
    EXPECT_TRUE(w.form().Com_Cancel.shown());
    EXPECT_EQ(installedValue("1"), dir.path().string());
    w.Com_Yes_Click();  // nothing listed: nothing happens
    EXPECT_THROW(w.Com_Cancel_Click(), veltrano::ProgramEnd);
  }
  EXPECT_TRUE(scripted.shown().empty());
}

// A query service whose reply names an XML rowset it does not hold: the catalogue comes back
// as a closed recordset.
struct UpdateUnreadableCatalogue : UpdateWindowIdle {
  test::RawHttpServer service{[](const test::SeenRequest&, test::RawConnection& c) {
    const std::string body = "<?xml:stylesheet type=\"text/xsl\" href=\"Recordsetxml.xsl\"?>\r\n<xml broken";
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }};
  test::ScopedEnv serviceHost{"VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(service.port())};
};

TEST_F(UpdateUnreadableCatalogue, TheListingReportsItAsTheRunDoesAndTheWindowStays) {
  UpdateWindow w(program(""));
  w.Form_Load();
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_EQ(scripted.shown()[0].title, "ERROR");
  EXPECT_EQ(scripted.shown()[0].text, "ERROR OF RDS SERVICE");
  EXPECT_EQ(scripted.shown()[0].icon, ui::Icon::Information);
  EXPECT_FALSE(w.form().FRM_FLAME.Visible());
  EXPECT_EQ(w.form().LB_SUBMAIN.Caption(), "잠시만 기다리세요. 서버에서 설치정보를 얻고있습니다.");
  EXPECT_TRUE(w.form().Com_Cancel.shown());
}

TEST_F(UpdateUnreadableCatalogue, TheRunReportsTheErrorOfReadingIt) {
  UpdateWindow w(program("TARVIC,x"));
  EXPECT_THROW(w.Form_Load(), veltrano::ProgramEnd);
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_EQ(scripted.shown()[0].title, "ERROR OF UPDATE");
  EXPECT_EQ(scripted.shown()[0].text.rfind("ERROR : 3704\r\n\r\nDESCRIPTION : ", 0), 0u) << scripted.shown()[0].text;
  EXPECT_NE(scripted.shown()[0].text.find("REGISTRY : \r\nDVERSION : \r\nDIRECTORY : "), std::string::npos);
}

// The program posts the load's first statement before the window exists: the request reaches
// the service while the caller does nothing more, and the load reads that reply (with the
// outcome of the two tests above) instead of posting the statement again.
TEST_F(UpdateUnreadableCatalogue, FirstQueryPostedBeforeTheWindowIsSentAtOnceAndReadByTheLoad) {
  const auto sqlSeen = [this](std::size_t i) {
    for (const std::string& part : veltrano::text::Split(service.requests()[i].body, "&"))
      if (part.rfind("SQL=", 0) == 0) return EncDecText(part.substr(4 + 128), part.substr(4, 128), 0);
    return std::string("<missing>");
  };
  std::size_t posted = 0;
  for (const std::string command : {"", "TARVIC,x"}) {
    const ProgramInfo p = program(command);
    const std::optional<std::string> sql = FirstStatementOf(p);
    ASSERT_TRUE(sql) << command;
    UpdateWindow w(p);
    w.takeFirstQuery(PostServerQuery(*sql));
    ++posted;
    for (int i = 0; i < 500 && service.requests().size() < posted; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(service.requests().size(), posted) << "the request went out when it was posted";
    EXPECT_EQ(sqlSeen(posted - 1), *sql);
    if (command.empty()) {
      w.Form_Load();
    } else {
      EXPECT_THROW(w.Form_Load(), veltrano::ProgramEnd);
    }
    EXPECT_EQ(service.requests().size(), posted) << "the load posted nothing more";
  }
  EXPECT_EQ(sqlSeen(1), CatalogueSql("TARVIC"));
  ASSERT_EQ(scripted.shown().size(), 2u);
  EXPECT_EQ(scripted.shown()[0].text, "ERROR OF RDS SERVICE");
  EXPECT_EQ(scripted.shown()[1].title, "ERROR OF UPDATE");
  // Loads that post no statement get none posted for them.
  for (const auto& [command, exe] : std::vector<std::pair<std::string, std::string>>{
           {"TARVIC", "meridox"}, {"COPY", "meridoxpch"}, {"Delete", "meridox"}})
    EXPECT_FALSE(FirstStatementOf(program(command, exe))) << command;
}

TEST_F(UpdateWindowIdle, LoadEndsTheSuiteProgramsStillRunning) {
  std::vector<int> suite;
  for (const char* name :
       {"kestral.exe", "tarvic2004.exe", "tarvicon.exe", "corvan.exe", "tarvicino2", "orvex.exe", "tarvic2.exe"})
    suite.push_back(test::startNamedProcess(dir, name));
  const int other = test::startNamedProcess(dir, "tarvic.exe");  // not one of them
  UpdateWindow w(program("X"));
  w.Form_Load();
  for (int pid : suite) EXPECT_TRUE(test::waitUntilGone(pid)) << pid;
  EXPECT_TRUE(test::processRunning(other));
  veltrano::proc::terminate(other);
}

TEST_F(UpdateWindowIdle, CloseBoxIsRefusedOtherReasonsAllowed) {
  UpdateWindow w(program("X"));
  EXPECT_TRUE(w.Form_QueryUnload(vbFormControlMenu));
  EXPECT_FALSE(w.Form_QueryUnload(vbFormCode));
  EXPECT_FALSE(w.Form_QueryUnload(vbAppWindows));
  EXPECT_FALSE(w.Form_QueryUnload(vbAppTaskManager));
}

TEST_F(UpdateWindowIdle, IndicatorsShowExactlyOneElement) {
  UpdateForm form;
  ShowStepIcon(form, 2);
  EXPECT_EQ(form.visibleIco(), 2);
  ShowStatusPicture(form, 4);
  EXPECT_EQ(form.visibleStat(), 4);
  ShowStatusPicture(form, 0);
  EXPECT_EQ(form.visibleStat(), 0);
  ShowStepIcon(form, 3);  // no such element: all hidden
  for (const FormControl& c : form.ICO) EXPECT_FALSE(c.Visible());
  EXPECT_EQ(scripted.pumps(), 4u);
}

TEST_F(UpdateWindowIdle, ByteCounterMovesOncePer32KiB) {
  UpdateWindow w(program("X"));
  FormControl& counter = w.form().LB_SETUP_VER;
  counter.Left(0);
  std::int32_t bytes = 32768;
  w.DN_RecievedBytes(bytes);
  EXPECT_EQ(counter.Caption(), "  [32,768Byte 받음]");
  EXPECT_EQ(counter.Left(), w.form().LB_SETUP_PB.Left() + w.form().LB_SETUP_PB.Width());
  bytes = 33024;
  w.DN_RecievedBytes(bytes);
  EXPECT_EQ(counter.Caption(), "  [32,768Byte 받음]");
  bytes = 65791;  // the last byte count of the next block's first 256
  w.DN_RecievedBytes(bytes);
  EXPECT_EQ(counter.Caption(), "  [65,791Byte 받음]");
  bytes = 0;
  w.DN_RecievedBytes(bytes);
  EXPECT_EQ(counter.Caption(), "  [0Byte 받음]");
}

TEST_F(UpdateWindowIdle, ActivityWatchTurnsToTheTextOnTheEighthTickAndBackOnActivity) {
  UpdateWindow w(program("X"));
  std::int32_t percent = 10;
  w.DN_Percent(percent);
  EXPECT_EQ(w.SP_PB().TextStyle(), 2);
  w.TMR_PROC().setEnabled(true);
  for (int tick = 1; tick <= 8; ++tick) {
    clock.advance(500);
    ui::DoEvents();
    EXPECT_EQ(w.SP_PB().TextStyle(), tick < 8 ? 2 : 3) << tick;
  }
  EXPECT_EQ(w.IdleTicks(), 8);
  clock.advance(500);
  ui::DoEvents();
  EXPECT_EQ(w.SP_PB().TextStyle(), 3);
  std::int32_t bytes = 100;
  w.DN_RecievedBytes(bytes);
  EXPECT_EQ(w.SP_PB().TextStyle(), 2);
  EXPECT_EQ(w.IdleTicks(), 0);
}

TEST_F(UpdateWindowIdle, ViewMirrorsTheFormAndRoutesButtonsAndTheCloseBox) {
  UpdateWindow w(program("X"));
  UpdateWindowWidget view(w);
  EXPECT_FALSE(view.isVisible());
  w.Form_Load();
  EXPECT_TRUE(view.isVisible());
  auto* frame = qobject_cast<QGroupBox*>(view.widgetFor(w.form().FRM_FLAME));
  auto* yes = qobject_cast<QPushButton*>(view.widgetFor(w.form().Com_Yes));
  auto* cancel = qobject_cast<QPushButton*>(view.widgetFor(w.form().Com_Cancel));
  ASSERT_TRUE(frame && yes && cancel);
  EXPECT_FALSE(yes->isVisible());  // inside the hidden frame
  EXPECT_EQ(yes->text(), QString::fromUtf8("업데이트"));
  w.form().FRM_FLAME.Visible(true);
  EXPECT_TRUE(yes->isVisible());
  EXPECT_EQ(frame->title(), QString::fromUtf8("업데이트 파일 설치"));

  w.form().LB_SUBMAIN.Caption("바뀐 글");
  EXPECT_EQ(qobject_cast<QLabel*>(view.widgetFor(w.form().LB_SUBMAIN))->text(), QString::fromUtf8("바뀐 글"));
  qobject_cast<QCheckBox*>(view.widgetFor(w.form().CHK_DNALL))->setChecked(true);
  EXPECT_EQ(w.form().CHK_DNALL.Value(), 1);

  QCloseEvent close;
  QApplication::sendEvent(&view, &close);
  EXPECT_FALSE(close.isAccepted());

  EXPECT_FALSE(view.pendingEnd());
  yes->click();  // nothing listed: nothing happens
  EXPECT_FALSE(view.pendingEnd());
  cancel->click();
  ASSERT_TRUE(view.pendingEnd());
  EXPECT_EQ(*view.pendingEnd(), 0);
  // The end is thrown again where the program waits.
  WindowUi windowUi(scripted, view);
  EXPECT_THROW(windowUi.pump(), veltrano::ProgramEnd);
}

// The option frame's controls lie within it, below its title; while it is hidden what lies
// below it moves up and the window shrinks, so no empty band stays. Pictures of both states go
// into the build folder.
TEST_F(UpdateWindowIdle, ViewKeepsControlsInsideTheirFramesAndLeavesNoEmptyBand) {
  UpdateWindow w(program("X"));
  UpdateWindowWidget view(w);
  w.Form_Load();
  QApplication::processEvents();
  auto geometryOf = [&](const FormControl& c) { return view.widgetFor(c)->geometry(); };
  const QRect list = geometryOf(w.form().Frame1), progress = geometryOf(w.form().Frame2);
  EXPECT_LE(progress.top() - list.bottom(), 16) << "no band where the hidden option frame was";
  EXPECT_LE(view.height() - geometryOf(w.form().Com_Cancel).bottom(), 16);
  view.grab().save(QString::fromStdString(test::builtProgram("updater/meridox-update-window-idle.png").string()));

  w.form().FRM_FLAME.Visible(true);
  QApplication::processEvents();
  auto* frame = qobject_cast<QGroupBox*>(view.widgetFor(w.form().FRM_FLAME));
  const QRect inside = frame->geometry().adjusted(0, frame->contentsRect().top(), 0, 0);
  for (const FormControl* c : {&w.form().CHK_DNALL, &w.form().Label2, &w.form().Label3, &w.form().Com_Yes})
    EXPECT_TRUE(inside.contains(geometryOf(*c))) << c->Name() << " lies within the frame, below its title";
  EXPECT_GT(geometryOf(w.form().Frame2).top(), frame->geometry().bottom());
  EXPECT_EQ(view.height(), UpdateForm::kHeight);
  view.grab().save(QString::fromStdString(test::builtProgram("updater/meridox-update-window-listing.png").string()));
}

}  // namespace
}  // namespace meridox

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
