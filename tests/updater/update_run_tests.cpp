// Whole update runs against the reference server on loopback, with a private registry store
// and folders: the window runs in this process (scripted boxes, test clock), the relay with
// real processes. Each test builds the catalogue it needs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <map>
#include <chrono>
#include <thread>

#include "platform/crypto/crypto.h"
#include "platform/eventlog/eventlog.h"
#include "platform/fs/fs.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"
#include "support/site_stack.h"
#include "support/test_support.h"
#include "update_site.h"
#include "platform/text/ansi.h"
#include "updater/mod_hdd.h"
#include "updater/mod_standard.h"
#include "updater/update_window.h"
#include "updater/update_window_widget.h"

namespace meridox {
namespace {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;
namespace ui = veltrano::ui;
using testing::ServedFile;
using testing::UpdateSite;

constexpr const char* kDone = "최신버젼으로 업데이트가 완료 되었습니다.\r\r프로그램을 종료합니다";
constexpr const char* kUpToDate = "이미 최신버젼으로 업데이트 되어 있습니다.\r\r프로그램을 종료합니다";
constexpr const char* kWithHistory = "최신버젼으로 업데이트가 완료 되었습니다.\r\r주요 업데이트 기록을 보시겠습니까?";

// The exit status with which `step` ends the program; -1 when it returns.
template <class F>
int endStatus(F&& step) {
  try {
    step();
  } catch (const veltrano::ProgramEnd& end) {
    return end.exitCode();
  }
  return -1;
}

struct UpdateRun : ::testing::Test {
  UpdateSite site;
  veltrano::ManualClock clock;
  veltrano::ScopedClock clockScope{clock};
  ui::ScriptedUi scripted;
  ui::ScopedUi uiScope{scripted};
  stdfs::path regsvr32Record = site.root() / "regsvr32.txt";

  void SetUp() override { UpdateSite::recorder(site.programFolder() / "regsvr32", regsvr32Record); }

  ProgramInfo program(std::string command = "") const {
    ProgramInfo p;
    p.path = site.programFolder().string();
    p.exeName = "meridox";
    p.major = 1;
    p.minor = 2;
    p.revision = 3;
    p.command = std::move(command);
    return p;
  }
  std::string app(const std::string& key) const { return site.appFolder(key).string(); }

  // Load and, in the interactive mode, the press of 업데이트: the run must end the program
  // with `status`.
  void runToEnd(UpdateWindow& w, int status = kExitDone) {
    try {
      w.Form_Load();
      w.Com_Yes_Click();
      ADD_FAILURE() << "the run did not end the program";
    } catch (const veltrano::ProgramEnd& end) {
      EXPECT_EQ(end.exitCode(), status);
    }
  }
  const ui::ScriptedUi::Shown& onlyBox() {
    EXPECT_EQ(scripted.shown().size(), 1u);
    static const ui::ScriptedUi::Shown none;
    return scripted.shown().empty() ? none : scripted.shown().front();
  }
  void tarvic(std::vector<std::pair<ServedFile, std::string>> files) {
    site.product("TARVIC", "TARVIC", "타르빅 화물관리");
    site.install("TARVIC");
    for (auto& [f, content] : files) {
      f.productcode = f.productcode.empty() ? "TARVIC" : f.productcode;
      f.productkey = f.productkey.empty() ? "TARVIC" : f.productkey;
      site.file(f, content);
    }
  }
};

TEST_F(UpdateRun, ListingNumbersOnlyInstalledProducts) {
  site.product("A", "A", "가 제품");
  site.product("B", "B", "나 제품");
  site.product("C", "C", "다 제품");
  site.product("D", "D", "라 제품");
  site.install("A");
  site.install("C");
  site.install("D", "");  // present but empty: not installed
  UpdateWindow w(program());
  w.Form_Load();
  EXPECT_EQ(w.form().LB_SETUPLIST.Caption(), "1. 가 제품\r\n2. 다 제품\r\n");
  EXPECT_TRUE(w.form().FRM_FLAME.Visible());
  EXPECT_EQ(w.form().LB_SUBMAIN.Caption(), "Updater Version 1.2.3 (Product ID : " + GetVolumeSerial() + ")");
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRun, ThreeFilesAreDownloadedRegisteredAndRecorded) {
  const std::string big = test::generatedContent(200000);  // several passes of 64 KiB
  tarvic({{{.filename = "a.dll", .version = "2.0", .addreg = "1", .memo = "에이 모듈"}, "A-new"},
          {{.filename = "b.exe", .version = "3.1", .memo = "본 프로그램"}, big},
          {{.filename = "c.ocx", .version = "1.5", .addreg = " 1 ", .memo = "씨 컨트롤"}, "C-new"}});
  site.record("TARVIC", "A.DLL", "1.9");
  test::writeFile(site.appFolder("TARVIC") / "a.dll", "A-old");

  UpdateWindow w(program());
  UpdateWindowWidget view(w);
  std::vector<std::int32_t> values;
  const stdfs::path shot = test::builtProgram("updater/meridox-update-window.png");
  stdfs::remove(shot);
  scripted.setOnPump([&] {
    const std::int32_t v = w.SP_PB().Value();
    if (values.empty() || values.back() != v) values.push_back(v);
    if (v == 75 && !stdfs::exists(shot)) view.grab().save(QString::fromStdString(shot.string()));
  });
  runToEnd(w);

  EXPECT_EQ(values, (std::vector<std::int32_t>{100, 50, 75, 100}));
  EXPECT_TRUE(stdfs::exists(shot));
  // The old file is replaced under the spelling it has on disk.
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "a.dll"), "A-new");
  EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL"));
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "B.EXE"), big);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "C.OCX"), "C-new");
  EXPECT_NE(stdfs::status(site.appFolder("TARVIC") / "B.EXE").permissions() & stdfs::perms::owner_exec,
            stdfs::perms::none);
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_EQ(site.recorded("TARVIC", "B.EXE"), "3.1");
  EXPECT_EQ(site.recorded("TARVIC", "C.OCX"), "1.5");

  // Each file is unregistered, then registered; the files' pairs run on their own.
  const std::string a = app("TARVIC") + "\\A.DLL", c = app("TARVIC") + "\\C.OCX";
  const std::vector<std::string> lines = veltrano::text::Split(veltrano::test::waitForLines(regsvr32Record, 4), "\n");
  auto linesOf = [&](const std::string& file) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
      if (l.find(file) != std::string::npos) out.push_back(l);
    return out;
  };
  EXPECT_EQ(lines.size(), 5u);  // four and the empty rest after the last line end
  EXPECT_EQ(linesOf(a), (std::vector<std::string>{"regsvr32 " + a + " /u /s", "regsvr32 " + a + " /s"}));
  EXPECT_EQ(linesOf(c), (std::vector<std::string>{"regsvr32 " + c + " /u /s", "regsvr32 " + c + " /s"}));

  const auto& box = onlyBox();
  EXPECT_EQ(box.title, "업데이트");
  EXPECT_EQ(box.text, kDone);
  EXPECT_EQ(box.icon, ui::Icon::Information);
  EXPECT_EQ(box.buttons, ui::Buttons::OK);
  EXPECT_EQ(w.SP_PB().Text(), "씨 컨트롤 확장파일 등록중");
  EXPECT_EQ(w.SP_PB().TextStyle(), 2);
  EXPECT_EQ(w.form().LB_SUBMAIN.Caption(), "시스템 업데이트가 완료되었습니다.");
  EXPECT_EQ(w.form().LB_SETUP_PB.Caption(), "완료됨");
  EXPECT_EQ(w.form().visibleIco(), 2);
  EXPECT_EQ(w.form().visibleStat(), 1);
  EXPECT_FALSE(w.TMR_PROC().enabled());
  EXPECT_EQ(scripted.pointerHistory(), (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass,
                                                                       ui::MousePointer::Default}));
  EXPECT_EQ(w.DNCOUNT, 4);  // the registration pass leaves n + 1
}

// The phase texts of the Checking, Downloading, Registering and Finishing states in order, each
// with the step and status indicators shown at that moment; 취 소 stays within reach all along
// and only the option frame hides.
TEST_F(UpdateRun, PhaseTextsFollowTheRunWithCancelAlwaysShown) {
  tarvic({{{.filename = "a.dll", .version = "2.0", .addreg = "1", .memo = "에이 모듈"}, "A-new"}});
  UpdateWindow w(program());
  const UpdateForm& f = w.form();
  std::vector<std::string> phases;
  bool cancelHidden = false;
  w.form().setOnChanged([&](const FormControl* c) {
    if (f.Visible() && !f.Com_Cancel.shown()) cancelHidden = true;
    if ((c == &f.LB_SETUP_PB || c == &f.LB_SUBMAIN) && c->Caption().rfind("Updater Version", 0) != 0)
      phases.push_back(c->Caption() + " " + std::to_string(f.visibleIco()) + "/" + std::to_string(f.visibleStat()) +
                       (f.FRM_FLAME.Visible() ? " frame" : ""));
  });
  runToEnd(w);
  EXPECT_FALSE(cancelHidden);
  EXPECT_EQ(phases, (std::vector<std::string>{"설치된 파일의 버젼을 확인중입니다. 0/3", "서버로 부터 파일을 다운받는 중입니다. 1/3",
                                              "패치에 필요한 파일을 다운로드합니다. 1/3", "에이 모듈 1/3",
                                              "프로그램이 시스템을 변경중입니다. 1/3", "시스템 업데이트가 완료되었습니다. 2/1",
                                              "완료됨 2/1"}));
}

TEST_F(UpdateRun, CancelDuringADownloadEndsTheRunAndRecordsNothing) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A-new"},
          {{.filename = "b.exe", .version = "3.1"}, test::generatedContent(200000)}});
  UpdateWindow w(program());
  UpdateWindowWidget view(w);
  WindowUi windowUi(scripted, view);
  ui::ScopedUi windowScope(windowUi);
  auto* cancel = qobject_cast<QPushButton*>(view.widgetFor(w.form().Com_Cancel));
  ASSERT_NE(cancel, nullptr);
  scripted.setOnPump([&] {
    if (w.DNCOUNT == 2 && cancel->isVisible()) cancel->click();  // while the second file comes
  });
  runToEnd(w);
  EXPECT_TRUE(view.pendingEnd());
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");
  EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "B.EXE"));
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "") << "versions are recorded only after a whole run";
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRun, AMissingDownloadFolderIsCreated) {
  tarvic({{{.filename = "a.dll", .version = "2.0", .downloadpath = "{APPPATH}\\NEWSUB\\"}, "A-new"}});
  UpdateWindow w(program());
  runToEnd(w);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "NEWSUB" / "A.DLL"), "A-new");
  EXPECT_EQ(onlyBox().text, kDone);
}

TEST_F(UpdateRun, ReadmeFilesAreOfferedAndOpenedInTheViewer) {
  tarvic({{{.filename = "README.TXT", .version = "3.1.2", .memo = "업데이트 기록"}, "타르빅 기록"},
          {{.filename = "tarvic.exe", .version = "3.1.2"}, "T"}});
  site.product("TVACCT", "TVACCT", "타르빅 회계관리");
  site.install("TVACCT");
  site.file({.productcode = "TVACCT", .productkey = "TVACCT", .filename = "readme.txt", .version = "2.0.5"},
            "회계 기록");
  const stdfs::path viewerRecord = site.root() / "viewer.txt";
  UpdateSite::recorder(site.root() / "viewer", viewerRecord);
  test::ScopedEnv visual("VISUAL", (site.root() / "viewer").string());
  scripted.queue("Yes");

  UpdateWindow w(program());
  runToEnd(w);
  const auto& box = onlyBox();
  EXPECT_EQ(box.text, kWithHistory);
  EXPECT_EQ(box.buttons, ui::Buttons::YesNo);
  EXPECT_EQ(box.icon, ui::Icon::Information);
  EXPECT_EQ(w.ReadmeFiles(), (std::vector<std::string>{"", app("TARVIC") + "\\README.TXT", app("TVACCT") + "\\README.TXT"}));
  EXPECT_EQ(w.ReadmeCount(), 3);
  // Each README is opened by a viewer of its own, started without waiting: they may record in
  // either order.
  std::vector<std::string> opened = veltrano::text::Split(veltrano::test::waitForLines(viewerRecord, 2), "\n");
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{"", "viewer " + (site.appFolder("TARVIC") / "README.TXT").string(),
                                              "viewer " + (site.appFolder("TVACCT") / "README.TXT").string()}));
}

TEST_F(UpdateRun, DownloadAllFetchesFilesThatAreUpToDate) {
  tarvic({{{.filename = "a.dll", .version = "1.0"}, "A-server"}, {{.filename = "b.dll", .version = "1.0"}, "B-server"}});
  for (const char* f : {"A.DLL", "B.DLL"}) {
    site.record("TARVIC", f, "1.0");
    test::writeFile(site.appFolder("TARVIC") / f, "local");
  }
  UpdateWindow w(program());
  w.Form_Load();
  w.form().CHK_DNALL.Value(1);
  EXPECT_THROW(w.Com_Yes_Click(), veltrano::ProgramEnd);
  EXPECT_EQ(FileCount(w.UpdateFiles()), 2);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-server");
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "B.DLL"), "B-server");
  EXPECT_EQ(onlyBox().text, kDone);
}

TEST_F(UpdateRun, EqualVersionsSelectNothingAndAPatchFileLeftBehindIsHandedOffAllTheSame) {
  tarvic({{{.filename = "a.dll", .version = "1.0 "}, "A-server"}});  // the server's blank is trimmed
  site.record("TARVIC", "A.DLL", "1.0");
  test::writeFile(site.appFolder("TARVIC") / "A.DLL", "local");
  const stdfs::path handOff = site.root() / "handoff.txt";
  UpdateSite::recorder(site.programFolder() / "meridoxpch.exe", handOff);  // from an interrupted hand-off
  UpdateWindow w(program());
  runToEnd(w);
  EXPECT_EQ(veltrano::test::waitForLines(handOff, 1), "meridoxpch.exe COPY\n");
  EXPECT_EQ(FileCount(w.UpdateFiles()), 0);
  EXPECT_EQ(w.Dn().Url(), "");  // no transfer started
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "local");
  const auto& box = onlyBox();
  EXPECT_EQ(box.text, kUpToDate);
  EXPECT_EQ(box.icon, ui::Icon::Exclamation);
  EXPECT_EQ(w.form().LB_SETUP_PB.Caption(), "완료됨");
}

TEST_F(UpdateRun, FileMissingOnTheServerGoesThroughRetriesTheInUseBoxAndTheMissingFileBox) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A-new"}});
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "gone.dll", .version = "2.0"}, nullptr);
  test::writeFile(site.appFolder("TARVIC") / "gone.dll", "installed copy");
  scripted.queue("OK");
  scripted.queue("Retry");
  UpdateWindow w(program());
  runToEnd(w, kExitFailed);

  const auto& shown = scripted.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "File Not Found!");
  EXPECT_EQ(shown[0].buttons, ui::Buttons::OK);
  EXPECT_EQ(shown[1].title, "프로그램");
  EXPECT_EQ(shown[1].text, "파일(GONE.DLL)이 사용중입니다.\r\n\r\n모든 VELTRANO의 프로그램을 종료해주시기 바랍니다.");
  EXPECT_EQ(shown[1].buttons, ui::Buttons::RetryCancel);
  EXPECT_EQ(shown[1].icon, ui::Icon::Critical);
  EXPECT_EQ(shown[1].answer, "Retry");
  EXPECT_EQ(shown[2].title, "업데이트 불가능");
  EXPECT_EQ(shown[2].text, "서버에 파일이 존재하지 않아 업데이트 하지 못했습니다.");
  EXPECT_EQ(shown[2].icon, ui::Icon::Critical);
  // Four failed attempts (the first and three automatic retries) before each offer of the box,
  // 500 ms before handling each.
  EXPECT_EQ(clock.sleptMs(), 8 * 500);
  // Nothing of the run is recorded; the installed copy of the missing file is untouched.
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "");
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "gone.dll"), "installed copy");
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");  // replaced files stay replaced
}

TEST_F(UpdateRun, FileInUseIsRetriedThenOfferedAndReplacedOnRetryWithoutFetchingItAgain) {
  test::FileServer files;
  files.addFile("/FILES/TARVIC/A.DLL", "A-new");
  tarvic({{{.filename = "a.dll", .version = "2.0", .serverHost = "127.0.0.1:" + std::to_string(files.port())}, ""}});
  test::writeFile(site.appFolder("TARVIC") / "A.DLL", "locked copy");
  // The first four replacements of the target fail as for a file in use.
  veltrano::fs::injectFault("rename", "A.DLL", veltrano::err::kPermissionDenied, 4);
  scripted.queue("OK");
  scripted.queue("Retry");
  UpdateWindow w(program());
  runToEnd(w);
  veltrano::fs::clearFaults();
  const auto& shown = scripted.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Error Downloading File from : " + files.url("/FILES/TARVIC/A.DLL"));
  EXPECT_EQ(shown[1].text, "파일(A.DLL)이 사용중입니다.\r\n\r\n모든 VELTRANO의 프로그램을 종료해주시기 바랍니다.");
  EXPECT_EQ(shown[2].text, kDone);
  EXPECT_EQ(clock.sleptMs(), 4 * 500);
  EXPECT_EQ(w.ErrCnt, 0);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_EQ(files.requests().size(), 1u);  // only the replacement was retried
}

TEST_F(UpdateRun, FailedFileListQueryIsReportedWithTheServersText) {
  site.product("TARVIC", "TAR'VIC", "타르빅 화물관리");  // breaks the file-list statement
  site.install("TARVIC");
  UpdateWindow w(program());
  runToEnd(w, kExitFailed);
  const auto& box = onlyBox();
  EXPECT_EQ(box.title, "ERROR OF UPDATE");
  EXPECT_EQ(box.icon, ui::Icon::Critical);
  EXPECT_EQ(box.text.rfind("ERROR : 3265\r\n\r\nDESCRIPTION : ", 0), 0u) << box.text;
  EXPECT_NE(box.text.find("\r\n\r\n오류발생 : "), std::string::npos) << box.text;
}

TEST_F(UpdateRun, FileNameLeavingItsFolderStopsTheRunBeforeAnythingIsWritten) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A"}, {{.filename = "..\\b.dll", .version = "2.0"}, "B"}});
  UpdateWindow w(program());
  runToEnd(w, kExitFailed);
  const auto& box = onlyBox();
  EXPECT_EQ(box.title, "ERROR OF UPDATE");
  EXPECT_NE(box.text.find("다운로드 폴더 밖"), std::string::npos) << box.text;
  EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL"));
  EXPECT_FALSE(stdfs::exists(site.root() / "apps" / "B.DLL"));
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "");
}

TEST_F(UpdateRun, CancelInTheInUseBoxEndsTheRun) {
  tarvic({});
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "gone.dll", .version = "2.0"}, nullptr);
  UpdateWindow w(program());
  runToEnd(w, kExitCancelled);  // no answers: the in-use box takes its default, Cancel
  ASSERT_EQ(scripted.shown().size(), 2u);
  EXPECT_EQ(scripted.shown()[1].answer, "Cancel");
}

TEST_F(UpdateRun, AutomaticModeStartsTheProgramWithoutABox) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A"}});
  const stdfs::path startRecord = site.root() / "started.txt";
  UpdateSite::recorder(site.appFolder("TARVIC") / "start tarvic.sh", startRecord);
  const std::string command = "TARVIC," + app("TARVIC") + "\\start tarvic.sh";
  {
    UpdateWindow w(program(command));
    EXPECT_THROW(w.Form_Load(), veltrano::ProgramEnd);
    EXPECT_FALSE(w.form().Visible());
    EXPECT_FALSE(w.form().FRM_FLAME.Visible());
    EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  }
  EXPECT_EQ(veltrano::test::waitForLines(startRecord, 1), "start tarvic.sh \n");
  // Nothing left to fetch: the program is started all the same.
  UpdateWindow again(program(command));
  EXPECT_THROW(again.Form_Load(), veltrano::ProgramEnd);
  EXPECT_EQ(FileCount(again.UpdateFiles()), 0);
  EXPECT_EQ(veltrano::test::waitForLines(startRecord, 2), "start tarvic.sh \nstart tarvic.sh \n");
  EXPECT_TRUE(scripted.shown().empty());
}

TEST_F(UpdateRun, ProductCodeWithBlanksMatchesNothing) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A"}});
  UpdateWindow w(program(" TARVIC ,x"));
  EXPECT_EQ(endStatus([&] { w.Form_Load(); }), kExitFailed);
  const auto& box = onlyBox();
  EXPECT_EQ(box.title, "미설치제품");
  EXPECT_EQ(box.text, "업데이트할 설치된 제품이 없습니다");
  EXPECT_EQ(box.icon, ui::Icon::Information);
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "");
}

TEST_F(UpdateRun, NoInstalledProductEndsWithTheNotInstalledBox) {
  site.product("TVSMS", "TVSMS", "타르빅 문자발송");
  site.product("Meridox", "MERIDOX", "Meridox 업데이트");
  UpdateWindow w(program("TVSMS,x"));
  EXPECT_EQ(endStatus([&] { w.Form_Load(); }), kExitFailed);
  EXPECT_EQ(onlyBox().title, "미설치제품");
}

TEST_F(UpdateRun, UnreachableQueryServiceListsNothingAndEndsTheRunAsNotInstalled) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A"}});
  test::ScopedEnv nowhere("VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
  UpdateWindow listing(program());
  listing.Form_Load();
  EXPECT_EQ(listing.form().LB_SETUPLIST.Caption(), "");
  EXPECT_TRUE(scripted.shown().empty());
  listing.Com_Yes_Click();  // nothing listed: nothing happens

  UpdateWindow automatic(program("TARVIC,x"));
  EXPECT_EQ(endStatus([&] { automatic.Form_Load(); }), kExitFailed);
  EXPECT_EQ(onlyBox().title, "미설치제품");
}

TEST_F(UpdateRun, StalledDownloadShowsTheBarTextOnTheEighthTick) {
  constexpr int kSize = 100000, kBeforeStall = 70000;
  std::atomic<bool> release{false};
  test::RawHttpServer files([&](const test::SeenRequest&, test::RawConnection& c) {
    const std::string body = test::generatedContent(kSize);
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n");
    c.send(std::string_view(body).substr(0, kBeforeStall));
    for (int waited = 0; !release && waited < 10000; waited += 10) c.pause(10);
    c.send(std::string_view(body).substr(kBeforeStall));
  });
  tarvic({{{.filename = "big.dat", .version = "1", .serverHost = "127.0.0.1:" + std::to_string(files.port())}, ""}});

  UpdateWindow w(program());
  // The bar's text style after each tick since the last activity (a tick may come in the same
  // pump as the activity before it: the later value for a tick wins).
  std::map<int, std::int32_t> styleAtTick;
  int lastTicks = 0;
  int styleAfterResume = 0;
  scripted.setOnPump([&] {
    if (!release) {
      if (w.Dn().BytesReceived() < 65536) return;
      const int ticks = w.IdleTicks();
      if (ticks < lastTicks) styleAtTick.erase(styleAtTick.upper_bound(ticks), styleAtTick.end());
      if (ticks > 0) styleAtTick[ticks] = w.SP_PB().TextStyle();
      lastTicks = ticks;
      if (ticks >= 8) release = true;
      else clock.advance(500);
    } else if (styleAfterResume == 0 && w.Dn().BytesReceived() > 65536 && w.IdleTicks() == 0) {
      styleAfterResume = w.SP_PB().TextStyle();
    }
  });
  runToEnd(w);
  EXPECT_EQ(styleAtTick, (std::map<int, std::int32_t>{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 3}}));
  EXPECT_EQ(styleAfterResume, 2);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "BIG.DAT"), test::generatedContent(kSize));
}

// Signed files: with a public key set, each file is placed only when its .sig checks out; a
// missing, malformed or wrong signature fails the file for good (no retry, no in-use box).
struct SignedUpdate : UpdateRun {
  veltrano::crypto::KeyPair keys = veltrano::crypto::generateKeyPair();
  test::ScopedEnv keyEnv{"VELTRANO_UPDATE_PUBLIC_KEY", veltrano::crypto::base64Encode(keys.publicKey)};
  stdfs::path served = site.root() / "data" / "files" / "FILES" / "TARVIC";

  std::string signatureOf(const std::string& content) {
    veltrano::crypto::Sha256 sha;
    sha.update(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    const auto d = sha.finish();
    return veltrano::crypto::base64Encode(veltrano::crypto::sign(keys.privateKey, {d.begin(), d.end()}));
  }
};

TEST_F(SignedUpdate, SignedFilesArePlaced) {
  const std::string big = test::generatedContent(300000);
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A-new"}, {{.filename = "b.exe", .version = "2.0"}, big}});
  // Line breaks and blanks inside the base64 text are ignored.
  const std::string sigA = signatureOf("A-new");
  test::writeFile(served / "a.dll.sig", sigA.substr(0, 40) + "\r\n " + sigA.substr(40) + "\n");
  test::writeFile(served / "b.exe.sig", signatureOf(big));
  UpdateWindow w(program());
  runToEnd(w);
  EXPECT_EQ(onlyBox().text, kDone);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");
  EXPECT_TRUE(test::readFile(site.appFolder("TARVIC") / "B.EXE") == big);
  EXPECT_EQ(site.recorded("TARVIC", "B.EXE"), "2.0");
}

TEST_F(SignedUpdate, MissingMalformedOrWrongSignatureFailsTheFileForGood) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "서명 파일(.sig)이 서버에 없습니다."},
      {"not base64!", "서명 파일의 형식이 올바르지 않습니다."},
      {signatureOf("other bytes"), "서명이 파일과 맞지 않습니다."}};
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A-new"}});
  for (const auto& [sig, reason] : cases) {
    SCOPED_TRACE(reason);
    stdfs::remove(served / "a.dll.sig");
    if (!sig.empty()) test::writeFile(served / "a.dll.sig", sig);
    test::writeFile(site.appFolder("TARVIC") / "A.DLL", "installed copy");
    ui::ScriptedUi boxes;
    ui::ScopedUi scope(boxes);
    const std::int64_t sleptBefore = clock.sleptMs();
    UpdateWindow w(program());
    runToEnd(w, kExitFailed);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "업데이트 불가능");
    EXPECT_EQ(boxes.shown()[0].text,
              "파일(A.DLL)의 서명을 확인하지 못해 설치하지 않았습니다.\r\n\r\n사유 : " + reason);
    EXPECT_EQ(clock.sleptMs(), sleptBefore);  // no automatic retry
    EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "installed copy");
    EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL.partial"));
    EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "");
  }
  test::writeFile(served / "a.dll.sig", signatureOf("A-new"));
  UpdateWindow good(program());
  runToEnd(good);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");
}

TEST_F(SignedUpdate, KeyThatIsNotAKeyStopsTheRunAndAbsentKeyIsLogged) {
  tarvic({{{.filename = "a.dll", .version = "2.0"}, "A-new"}});
  {
    test::ScopedEnv broken("VELTRANO_UPDATE_PUBLIC_KEY", "");
    UpdateWindow w(program());
    runToEnd(w, kExitFailed);
    EXPECT_EQ(onlyBox().title, "업데이트 불가능");
    EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL"));
  }
  std::vector<std::string> logged;
  veltrano::eventlog::setSink([&](const veltrano::eventlog::Entry& e) { logged.push_back(e.text); });
  unsetenv("VELTRANO_UPDATE_PUBLIC_KEY");
  UpdateWindow w(program());
  runToEnd(w);
  veltrano::eventlog::setSink({});
  EXPECT_EQ(logged, std::vector<std::string>{"UPDATE_PUBLIC_KEY is not set: downloaded files are not verified."});
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");  // placed unverified
}

// nginx as a TLS front of the reference server, on a loopback port the test picks, with a
// private prefix and certificates the test makes: a CA of its own and a certificate for
// 127.0.0.1 signed by it.
class TlsFront {
 public:
  explicit TlsFront(const std::string& backendHost) {
    const std::string d = dir_.path().string();
    const auto made = test::run("cd " + d +
                                " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2"
                                " -subj /CN=TestCA 2>&1 && openssl req -newkey rsa:2048 -nodes -keyout srv.key -out"
                                " srv.csr -subj /CN=127.0.0.1 2>&1 && echo subjectAltName=IP:127.0.0.1 > ext && openssl"
                                " x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out srv.pem -days 2"
                                " -extfile ext 2>&1");
    if (made.exitCode != 0) throw std::runtime_error("openssl: " + made.out);
    port_ = test::unusedLoopbackPort();
    std::filesystem::create_directories(dir_ / "tmp");
    test::writeFile(dir_ / "nginx.conf",
                    "user root;\nworker_processes 1;\npid " + d + "/nginx.pid;\nerror_log " + d +
                        "/error.log;\nevents {}\nhttp {\n access_log off;\n client_body_temp_path " + d +
                        "/tmp;\n proxy_temp_path " + d + "/tmp;\n fastcgi_temp_path " + d + "/tmp;\n uwsgi_temp_path " +
                        d + "/tmp;\n scgi_temp_path " + d + "/tmp;\n server {\n  listen 127.0.0.1:" +
                        std::to_string(port_) + " ssl;\n  ssl_certificate " + d + "/srv.pem;\n  ssl_certificate_key " +
                        d + "/srv.key;\n  location / { proxy_pass http://" + backendHost + "; }\n }\n}\n");
    const auto started = test::run("nginx -p " + d + " -c " + d + "/nginx.conf 2>&1");
    if (started.exitCode != 0) throw std::runtime_error("nginx: " + started.out);
    for (int i = 0; i < 100 && !std::filesystem::exists(dir_ / "nginx.pid"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~TlsFront() { test::run("nginx -p " + dir_.path().string() + " -c " + (dir_ / "nginx.conf").string() + " -s stop 2>&1"); }
  std::string host() const { return "https://127.0.0.1:" + std::to_string(port_); }
  std::string caFile() const { return (dir_ / "ca.pem").string(); }

 private:
  test::TempDir dir_;
  int port_ = 0;
};

TEST_F(UpdateRun, HttpsQueryAndFilesThroughATlsFrontAndAnUnknownCaFails) {
  TlsFront front(site.host());
  tarvic({});
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "a.dll", .version = "2.0",
             .serverHost = front.host()},
            "A-new");
  test::writeFile(site.appFolder("TARVIC") / "A.DLL", "installed copy");
  {
    // The CA is unknown to the system: the connection fails, nothing is listed or placed.
    test::ScopedEnv query("VELTRANO_QUERY_HOST", "HTTPS://" + front.host().substr(8));
    UpdateWindow w(program("TARVIC,x"));
    EXPECT_EQ(endStatus([&] { w.Form_Load(); }), kExitFailed);
    EXPECT_EQ(onlyBox().title, "미설치제품");
    EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "installed copy");
  }
  test::ScopedEnv query("VELTRANO_QUERY_HOST", front.host());
  test::ScopedEnv ca("VELTRANO_CA_FILE", front.caFile());
  UpdateWindow w(program("TARVIC,x"));
  EXPECT_EQ(endStatus([&] { w.Form_Load(); }), kExitDone);
  EXPECT_EQ(w.Dn().Url(), front.host() + "/FILES/TARVIC/A.DLL");
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL"), "A-new");
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
}

// Transfers that fail in a real updater process (headless, default answers: the in-use box
// takes Cancel): the installed file stays byte-identical, its version is not recorded, nothing
// is left beside it, the exit status says how the run ended, and a later good run completes.
struct UpdateFaults : ::testing::Test {
  static constexpr std::uint64_t kSize = 8 * 1024 * 1024;
  UpdateSite site;
  stdfs::path folder = site.programFolder();
  stdfs::path installed = site.appFolder("TARVIC") / "A.DLL";
  // How the file host answers: a fault until `good` is set, then the whole file.
  std::atomic<bool> good{false};

  void SetUp() override {
    stdfs::copy_file(test::builtProgram("updater/meridox"), folder / "meridox.exe");
    site.product("TARVIC", "TARVIC", "타르빅 화물관리");
    site.install("TARVIC");
    test::writeFile(installed, "installed copy");
  }
  void listOn(const std::string& host) {
    site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "a.dll", .version = "2.0",
               .serverHost = host},
              nullptr);
  }
  test::CommandResult runUpdater(const std::string& env = "") {
    return test::run("cd " + folder.string() + " && QT_QPA_PLATFORM=offscreen VELTRANO_ANSWERS=Yes " + env +
                     " ./meridox.exe 2>&1");
  }
  void expectUntouched(const test::CommandResult& r, int status) {
    EXPECT_EQ(r.exitCode, status) << r.out;
    EXPECT_EQ(test::readFile(installed), "installed copy");
    EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "");
  }
  void expectGoodRunCompletes(const std::string& content) {
    const auto r = runUpdater();
    EXPECT_EQ(r.exitCode, kExitDone) << r.out;
    EXPECT_TRUE(test::readFile(installed) == content);
    EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
    EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL.partial"));
  }
  // A file host that sends the status line, the headers and `sent` bytes of an 8 MiB body,
  // then `fault` (return: the connection closes); the whole file once `good` is set.
  std::unique_ptr<test::RawHttpServer> faultyHost(std::uint64_t sent, std::function<void(test::RawConnection&)> fault) {
    return std::make_unique<test::RawHttpServer>([this, sent, fault](const test::SeenRequest&, test::RawConnection& c) {
      const std::string body = test::generatedContent(kSize);
      c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n");
      if (good) {
        c.send(body);
        return;
      }
      c.send(std::string_view(body).substr(0, sent));
      if (fault) fault(c);
    });
  }
  void faultThenGoodRun(std::unique_ptr<test::RawHttpServer> host, const std::string& env = "") {
    listOn("127.0.0.1:" + std::to_string(host->port()));
    expectUntouched(runUpdater(env), kExitCancelled);
    EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL.partial"));
    good = true;
    expectGoodRunCompletes(test::generatedContent(kSize));
  }
};

TEST_F(UpdateFaults, HostClosingMidBody) { faultThenGoodRun(faultyHost(1024 * 1024, nullptr)); }

TEST_F(UpdateFaults, BodyOneByteShort) { faultThenGoodRun(faultyHost(kSize - 1, nullptr)); }

TEST_F(UpdateFaults, StalledHostEndsAfterTheStallLimit) {
  faultThenGoodRun(faultyHost(1024 * 1024, [](test::RawConnection& c) { c.pause(15000); }),
                   "VELTRANO_TRANSFER_STALL_SECONDS=1");
}

TEST_F(UpdateFaults, FullDiskLeavesNothingBehind) {
  test::FileServer files;
  files.addFile("/FILES/TARVIC/A.DLL", "A-new");
  listOn("127.0.0.1:" + std::to_string(files.port()));
  expectUntouched(runUpdater("VELTRANO_FS_FAULTS='write:A.DLL.partial:61:0'"), kExitCancelled);
  EXPECT_FALSE(stdfs::exists(site.appFolder("TARVIC") / "A.DLL.partial"));
  expectGoodRunCompletes("A-new");
}

TEST_F(UpdateFaults, UpdaterKilledBetweenFlushAndRename) {
  test::FileServer files;
  files.addFile("/FILES/TARVIC/A.DLL", "A-new");
  listOn("127.0.0.1:" + std::to_string(files.port()));
  expectUntouched(runUpdater("VELTRANO_FS_FAULTS='place:A.DLL:kill'"), 128 + SIGKILL);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "A.DLL.partial"), "A-new");  // synced, not yet renamed
  // The side file of the killed run is discarded by the next (no key is set): the file is
  // fetched whole.
  expectGoodRunCompletes("A-new");
  for (const auto& request : files.requests()) EXPECT_EQ(request.header("Range"), "");
}

TEST_F(UpdateFaults, ServerKilledMidTransfer) {
  // A large file of zeros (sparse on disk), so that the transfer is still running when the
  // server is killed.
  constexpr std::uint64_t kLarge = 64ull * 1024 * 1024;
  const stdfs::path served = site.root() / "data" / "files" / "BIG" / "A.DLL";
  stdfs::create_directories(served.parent_path());
  { std::ofstream(served, std::ios::binary); }
  stdfs::resize_file(served, kLarge);
  std::unique_ptr<testing::ReferenceServer> server = site.secondServer();
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "a.dll", .version = "2.0",
             .sourcepath = "BIG/", .serverHost = server->host()},
            nullptr);
  const stdfs::path side = site.appFolder("TARVIC") / "A.DLL.partial";
  std::thread killer([&] {
    std::error_code ec;
    for (int i = 0; i < 20000 && !(stdfs::exists(side, ec) && stdfs::file_size(side, ec) > 1024 * 1024); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->killNow();
  });
  const auto r = runUpdater();
  killer.join();
  expectUntouched(r, kExitCancelled);
  EXPECT_FALSE(stdfs::exists(side));

  // The server comes back (on another port); the next run fetches the whole file.
  server = site.secondServer();
  site.sql("update qz_files set sourcepath = " + testing::quoted(server->host() + "/BIG/") + ";");
  const auto again = runUpdater();
  EXPECT_EQ(again.exitCode, kExitDone) << again.out;
  EXPECT_EQ(stdfs::file_size(installed), kLarge);
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_FALSE(stdfs::exists(side));
}

// The site as many offices reach it: nginx in front of two instances (server/deploy/run-stack)
// on the update site's data folder. The catalogue query goes through nginx to an instance;
// each file is resolved by an instance and sent by nginx.
TEST_F(UpdateFaults, WholeRunThroughNginxInFrontOfTwoInstances) {
  test::SiteStack stack({.data = site.root() / "data"});
  ASSERT_TRUE(stack.started()) << stack.output();
  const std::string big = test::generatedContent(kSize);
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "a.dll", .version = "2.0",
             .serverHost = stack.host()},
            big);
  site.file({.productcode = "TARVIC", .productkey = "TARVIC", .filename = "b.exe", .version = "3.1",
             .sourcepath = "Setup/Main/", .serverHost = stack.host()},
            "B-new");
  const auto r = runUpdater("VELTRANO_QUERY_HOST=" + stack.host());
  EXPECT_EQ(r.exitCode, kExitDone) << r.out << stack.output();
  EXPECT_TRUE(test::readFile(installed) == big);
  EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / "B.EXE"), "B-new");
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_EQ(site.recorded("TARVIC", "B.EXE"), "3.1");
}

// The sample site as many offices reach it, on MariaDB: the stack loads the sample catalogue
// into its own MariaDB for its address; the files are the sample files. The run updates the
// installed product and registers its library.
TEST_F(UpdateFaults, SampleRunThroughNginxTwoInstancesAndMariaDb) {
  const stdfs::path data = site.root() / "sample";
  const auto made = test::run("'" + test::builtProgram("server/make-sample-data").string() + "' '" + data.string() +
                              "' 127.0.0.1:1 2>&1");
  ASSERT_EQ(made.exitCode, 0) << made.out;
  test::SiteStack stack({.data = data, .instances = 2, .sqlite = false});
  ASSERT_TRUE(stack.started()) << stack.output();
  ASSERT_NE(stack.output().find("instance(s) of veltrano-server on MariaDB"), std::string::npos) << stack.output();
  const stdfs::path regsvr32 = site.root() / "regsvr32.txt";
  UpdateSite::recorder(folder / "regsvr32", regsvr32);
  const auto r = runUpdater("VELTRANO_QUERY_HOST=" + stack.host() + " VELTRANO_ANSWERS=Yes,No");
  EXPECT_EQ(r.exitCode, kExitDone) << r.out << stack.output();
  const stdfs::path served = data / "files" / "FILES" / "TARVIC";
  for (const auto& [name, onServer] : {std::pair{"README.TXT", "README.TXT"}, std::pair{"TARVIC.EXE", "tarvic.exe"},
                                       std::pair{"TARVICSAMPLE.DLL", "tarvicsample.dll"}}) {
    EXPECT_EQ(test::readFile(site.appFolder("TARVIC") / name), test::readFile(served / onServer)) << name;
  }
  EXPECT_EQ(site.recorded("TARVIC", "TARVIC.EXE"), "3.1.2");
  EXPECT_EQ(site.recorded("TARVIC", "TARVICSAMPLE.DLL"), "1.0.0");
  EXPECT_NE(veltrano::test::waitForLines(regsvr32, 2).find("TARVICSAMPLE.DLL"), std::string::npos);
}

// With a key set, a side file left by a cut transfer or a killed run is continued, by the
// automatic retries and by the next run, and the joined file is verified; a continued file that
// does not match is fetched once whole.
struct ContinuedUpdate : UpdateFaults {
  static constexpr std::uint64_t kMiB = 1024 * 1024;
  veltrano::crypto::KeyPair keys = veltrano::crypto::generateKeyPair();
  std::string keyEnv = "VELTRANO_UPDATE_PUBLIC_KEY='" + veltrano::crypto::base64Encode(keys.publicKey) + "'";
  std::string content = test::generatedContent(kSize);
  std::string signature;
  stdfs::path side = site.appFolder("TARVIC") / "A.DLL.partial";
  // The file host: honours "Range: bytes=N-", serves the signature at ".sig", and while `good`
  // is unset cuts every body after 1 MiB.
  test::RawHttpServer host{[this](const test::SeenRequest& r, test::RawConnection& c) {
    if (r.target.ends_with(".sig")) {
      c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(signature.size()) + "\r\n\r\n" + signature);
      return;
    }
    const std::string range = r.header("Range");
    const std::uint64_t from = range.empty() ? 0 : std::stoull(range.substr(6));
    if (range.empty())
      c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n");
    else
      c.send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-" +
             std::to_string(kSize - 1) + "/" + std::to_string(kSize) +
             "\r\nContent-Length: " + std::to_string(kSize - from) + "\r\n\r\n");
    c.send(std::string_view(content).substr(from, good ? std::string::npos : kMiB));
  }};

  void SetUp() override {
    UpdateFaults::SetUp();
    veltrano::crypto::Sha256 sha;
    sha.update(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    const auto d = sha.finish();
    signature = veltrano::crypto::base64Encode(veltrano::crypto::sign(keys.privateKey, {d.begin(), d.end()}));
    listOn("127.0.0.1:" + std::to_string(host.port()));
  }
  // The Range headers of the requests from the `from`th on ("" for none, "sig" for a signature).
  std::vector<std::string> rangesFrom(std::size_t from) const {
    std::vector<std::string> out;
    const auto seen = host.requests();
    for (std::size_t i = from; i < seen.size(); ++i)
      out.push_back(seen[i].target.ends_with(".sig") ? "sig" : seen[i].header("Range"));
    return out;
  }
};

TEST_F(ContinuedUpdate, CutTransfersAreContinuedByTheRetriesAndByTheNextRun) {
  expectUntouched(runUpdater(keyEnv), kExitCancelled);
  // Four attempts, each continuing the side file of the one before by 1 MiB (the first three
  // requests of a retry: its header query, then the rest).
  EXPECT_EQ(rangesFrom(0), (std::vector<std::string>{"", "", "bytes=1048576-", "", "bytes=2097152-", "",
                                                      "bytes=3145728-"}));
  ASSERT_TRUE(stdfs::exists(side));
  EXPECT_TRUE(test::readFile(side) == content.substr(0, 4 * kMiB));

  good = true;
  const std::size_t before = host.requests().size();
  const auto r = runUpdater(keyEnv);
  EXPECT_EQ(r.exitCode, kExitDone) << r.out;
  EXPECT_EQ(rangesFrom(before), (std::vector<std::string>{"", "bytes=4194304-", "sig"}));
  EXPECT_TRUE(test::readFile(installed) == content);
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_FALSE(stdfs::exists(side));
}

TEST_F(ContinuedUpdate, KilledRunLeavesItsSideFileAndATamperedOneIsFetchedWholeOnce) {
  good = true;
  expectUntouched(runUpdater(keyEnv + " VELTRANO_FS_FAULTS='place:A.DLL:kill'"), 128 + SIGKILL);
  ASSERT_TRUE(stdfs::exists(side));
  std::string kept = test::readFile(side);
  EXPECT_TRUE(kept == content);

  kept.resize(3 * kMiB);
  kept[1000] = static_cast<char>(kept[1000] ^ 1);
  test::writeFile(side, kept);
  const std::size_t before = host.requests().size();
  const auto r = runUpdater(keyEnv);
  EXPECT_EQ(r.exitCode, kExitDone) << r.out;
  EXPECT_EQ(rangesFrom(before), (std::vector<std::string>{"", "bytes=3145728-", "sig", "", "sig"}));
  EXPECT_TRUE(test::readFile(installed) == content);
  EXPECT_EQ(site.recorded("TARVIC", "A.DLL"), "2.0");
  EXPECT_FALSE(stdfs::exists(side));
}

// Every CP949 double-byte character goes through the updater's request to the reference
// server and comes back exactly, each query under two keys the client draws.
TEST(QueryThroughReferenceServer, EveryDoubleByteCharacterComesBackExactly) {
  UpdateSite site;
  std::vector<std::string> all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x41; trail <= 0xFE; ++trail) {
      const std::string ch = veltrano::text::ansiChar(lead << 8 | trail);
      if (ch != "\xEF\xBF\xBD") all.push_back(ch);
    }
  }
  EXPECT_EQ(all.size(), 17048u);
  constexpr std::size_t kPerQuery = 400;
  for (std::size_t from = 0; from < all.size(); from += kPerQuery) {
    std::string batch;
    for (std::size_t i = from; i < std::min(all.size(), from + kPerQuery); ++i) batch += all[i];
    veltrano::ado::RecordsetPtr rs = OpenServerQuery("select '" + batch + "' as v");
    ASSERT_TRUE(rs);
    ASSERT_EQ(rs->Fields(0).Name(), "v") << rs->Fields(0).Value().toText();
    EXPECT_EQ(rs->Fields(0).Value().toText(), batch) << "characters from " << from;
  }
}

// The relay with real processes: the updater built by the project placed as meridox.exe, its
// next version (the same program with bytes appended, so that it can be told apart) published
// as meridoxpch.exe.
TEST(UpdateRelayProcesses, NewUpdaterTakesThePlaceOfTheOldAndTheNextRunSelectsNothing) {
  UpdateSite site;
  const stdfs::path folder = site.programFolder();
  stdfs::copy_file(test::builtProgram("updater/meridox"), folder / "meridox.exe");
  const std::string next = test::readFile(test::builtProgram("updater/meridox")) + "\nnext version\n";
  site.product("Meridox", "MERIDOX", "Meridox 업데이트");
  site.install("Meridox", folder.string());
  site.file({.productcode = "Meridox", .productkey = "MERIDOX", .filename = "meridoxpch.exe", .version = "1.0.1",
             .memo = "업데이트 프로그램"},
            next);

  auto runUpdater = [&](const std::string& log) {
    return test::run("cd " + folder.string() + " && QT_QPA_PLATFORM=offscreen VELTRANO_ANSWERS=Yes VELTRANO_UI_LOG=" +
                     (site.root() / log).string() + " ./meridox.exe 2>&1");
  };
  const auto first = runUpdater("first.log");
  // The hand-off is the run's last step; the patch program it starts ends the old updater and
  // may do so before it has ended on its own (killed: the shell's 128 + SIGKILL).
  EXPECT_TRUE(first.exitCode == 0 || first.exitCode == 128 + 9) << first.exitCode << first.out;
  EXPECT_NE(test::readFile(site.root() / "first.log").find("최신버젼으로 업데이트가 완료 되었습니다."), std::string::npos);
  EXPECT_EQ(site.recorded("MERIDOX", "MERIDOXPCH.EXE"), "1.0.1");

  // The patch program and then the new updater run on their own; wait for them to finish.
  auto patchPresent = [&] { return veltrano::fs::fileExists((folder / "meridoxpch.exe").string()); };
  for (int i = 0; i < 300 && (patchPresent() || test::readFile(folder / "meridox.exe") != next); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(patchPresent());
  EXPECT_TRUE(test::readFile(folder / "meridox.exe") == next);
  std::vector<std::string> names;
  for (const auto& e : stdfs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"meridox.exe"});

  const auto second = runUpdater("second.log");
  EXPECT_EQ(second.exitCode, 0) << second.out;
  EXPECT_NE(test::readFile(site.root() / "second.log").find("이미 최신버젼으로 업데이트 되어 있습니다."), std::string::npos);
}

}  // namespace
}  // namespace meridox

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
