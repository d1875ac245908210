// The data access class and its transaction against stand-in data services on loopback.
#include <gtest/gtest.h>

#include <algorithm>

#include "datalib_test_support.h"
#include "lumadata/dictionary.h"
#include "lumadata/vbf.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "tmr_frm.h"
#include "transaction.h"

using namespace veltrano;
using datalib_test::DataServiceStub;
using datalib_test::FaultHook;
using datalib_test::Fixture;
using datalib_test::setServerPath;
using datalib_test::httpReply;
using datalib_test::MonitorRecorder;
using lumadata::VBF;

namespace {

DataServiceStub rowsService(int rows) {
  return DataServiceStub([rows](const test::SeenRequest&) { return httpReply(200, "OK", datalib_test::rowsetXml(rows)); });
}

ado::RecordsetPtr postedRequest(const test::SeenRequest& seen) {
  auto rs = ado::Recordset::create();
  rs->OpenXml(seen.body);
  return rs;
}

std::vector<std::string> headerNames(const test::SeenRequest& seen) {
  std::vector<std::string> names;
  for (const auto& line : seen.headerLines) names.push_back(line.substr(0, line.find(':')));
  return names;
}

}  // namespace

// ---- request ----

TEST(VbfRequest, DbAddPostsTheThreeFieldsWithTheHeadersOfTheQueryClient) {
  Fixture f;
  auto service = rowsService(1);
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT * FROM 화물 WHERE id = ?", Variant(Bytes{0x00, 0xAB, 0x10, 0xFF}));
  std::int16_t fine = 0;
  ASSERT_NE(db.DB_EXECUTE(&fine), nullptr);

  const auto seen = service.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].target, "/Database/ORVEX/");
  const auto names = headerNames(seen[0]);
  const auto at = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  ASSERT_LT(at("Expires"), static_cast<std::ptrdiff_t>(names.size()));
  EXPECT_LT(at("Content-Type"), at("Charset"));
  EXPECT_LT(at("Charset"), at("Pragma"));
  EXPECT_LT(at("Pragma"), at("Expires"));
  EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen[0].header("Charset"), "euc-kr");
  EXPECT_EQ(seen[0].header("Pragma"), "no-cache");
  EXPECT_EQ(seen[0].header("Expires"), "0");
  // The body is the ADO XML text in UTF-8 (no form fields).
  EXPECT_EQ(seen[0].body.rfind("<xml", 0), 0u) << seen[0].body.substr(0, 80);
  EXPECT_NE(seen[0].body.find("화물"), std::string::npos);

  auto request = postedRequest(seen[0]);
  ASSERT_EQ(request->Fields().Count(), 3);
  const std::vector<std::pair<std::string, ado::DataTypeEnum>> expected = {
      {"SQL", ado::adVarChar}, {"DATABASE", ado::adVarChar}, {"BYTESDATA", ado::adVariant}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(request->Fields(i).Name(), expected[static_cast<std::size_t>(i)].first);
    EXPECT_EQ(request->Fields(i).Type(), expected[static_cast<std::size_t>(i)].second);
  }
  EXPECT_EQ(request->Fields(0).DefinedSize(), 65534);
  EXPECT_EQ(request->Fields(1).DefinedSize(), 65534);
  EXPECT_EQ(request->Fields(2).DefinedSize(), 0);
  ASSERT_EQ(request->RecordCount(), 1);
  EXPECT_EQ(request->Fields("SQL").Value(), Variant("SELECT * FROM 화물 WHERE id = ?"));
  EXPECT_EQ(request->Fields("DATABASE").Value(), Variant("tarvic"));
  // The byte array travels as lower-case hex, the form ADO writes binary in.
  EXPECT_EQ(request->Fields("BYTESDATA").Value(), Variant("00ab10ff"));
}

TEST(VbfRequest, DbAddWithoutBytesLeavesBytesdataNullAndAReplacedRequestDropsTheEarlierOne) {
  Fixture f;
  auto service = rowsService(0);
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1", Variant(Bytes{1, 2, 3}));
  db.DB_ADD("SELECT 2");
  db.DB_EXECUTE();
  db.DB_EXECUTE();  // the request is kept: posted again
  const auto seen = service.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].body, seen[1].body);
  auto request = postedRequest(seen[0]);
  ASSERT_EQ(request->RecordCount(), 1);
  EXPECT_EQ(request->Fields("SQL").Value(), Variant("SELECT 2"));
  EXPECT_TRUE(request->Fields("BYTESDATA").Value().isNull());
}

TEST(VbfRequest, ExecuteUpperCasesKeysInTheirOrderAndPostsToThePage) {
  Fixture f;
  auto service = rowsService(1);
  VBF db;
  db.DB_OPEN("tarvic");
  lumadata::Dictionary param;
  param.Add("custNo", Variant("C-001"));
  param.Add("FromDate", Variant("20260105"));
  param.Add("memo", Variant("급송 건"));
  param.Add("count", Variant(std::int32_t{12}));
  auto rs = db.EXECUTE(&param, "CUSTLIST");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), ado::adStateOpen);
  EXPECT_EQ(db.serverUrl(), "http://127.0.0.1:" + std::to_string(service.port()) + "/ORVEX/CUSTLIST.ASP");

  const auto seen = service.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].target, "/ORVEX/CUSTLIST.ASP");
  auto request = postedRequest(seen[0]);
  std::vector<std::string> fields;
  for (int i = 0; i < request->Fields().Count(); ++i) {
    fields.push_back(request->Fields(i).Name());
    EXPECT_EQ(request->Fields(i).Type(), ado::adVarChar);
    EXPECT_EQ(request->Fields(i).DefinedSize(), 65534);
  }
  EXPECT_EQ(fields, (std::vector<std::string>{"DATABASE", "CUSTNO", "FROMDATE", "MEMO", "COUNT"}));
  EXPECT_EQ(request->Fields("DATABASE").Value(), Variant("tarvic"));
  EXPECT_EQ(request->Fields("CUSTNO").Value(), Variant("C-001"));
  EXPECT_EQ(request->Fields("MEMO").Value(), Variant("급송 건"));
  EXPECT_EQ(request->Fields("COUNT").Value(), Variant("12"));
}

TEST(VbfRequest, ExecuteWithoutParametersSendsOnlyTheDatabase) {
  Fixture f;
  auto service = rowsService(0);
  VBF db;
  db.DB_OPEN("tarvic");
  ASSERT_NE(db.EXECUTE(nullptr, "PING"), nullptr);
  const auto seen = service.requests();
  ASSERT_EQ(seen.size(), 1u);
  auto request = postedRequest(seen[0]);
  ASSERT_EQ(request->Fields().Count(), 1);
  EXPECT_EQ(request->Fields(0).Name(), "DATABASE");
  EXPECT_EQ(request->Fields(0).Value(), Variant("tarvic"));
}

TEST(VbfRequest, ExecuteWithKeysThatMeetInUpperCaseGivesNoObjectAndPostsNothing) {
  Fixture f;
  auto service = rowsService(0);
  VBF db;
  db.DB_OPEN("tarvic");
  lumadata::Dictionary param;
  param.Add("name", Variant("a"));
  param.Add("NAME", Variant("b"));  // two keys, one field name
  EXPECT_EQ(db.EXECUTE(&param, "PAGE"), nullptr);
  EXPECT_TRUE(service.requests().empty());
  EXPECT_TRUE(f.errorWindows().empty());
}

// ---- server address ----

TEST(VbfServerUrl, RegistryValueIsTrimmedAndTakenAsItStands) {
  Fixture f;
  auto service = rowsService(0);
  const std::string url = service.url("/custom/Data.asp?x=1");
  setServerPath("  " + url + "  ");
  VBF db;
  db.DB_OPEN("tarvic");
  EXPECT_EQ(db.serverUrl(), url);
  db.DB_ADD("SELECT 1");
  db.DB_EXECUTE();
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_EQ(service.requests()[0].target, "/custom/Data.asp?x=1");
}

TEST(VbfServerUrl, AfterExecuteDbExecutePostsToThatPageNotToTheRegistryAddress) {
  Fixture f;
  auto service = rowsService(0);
  setServerPath(service.url("/registry/address"));
  VBF db;
  db.DB_OPEN("tarvic");
  db.EXECUTE(nullptr, "ORDERS");
  db.DB_ADD("SELECT 1");
  db.DB_EXECUTE();
  const auto seen = service.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].target, "/ORVEX/ORDERS.ASP");
  EXPECT_EQ(seen[1].target, "/ORVEX/ORDERS.ASP");
  // A new DB_OPEN reads the registry again.
  db.DB_OPEN("tarvic");
  db.DB_EXECUTE();
  EXPECT_EQ(service.requests().back().target, "/registry/address");
}

// ---- results ----

TEST(VbfResult, RowsComeBackAndTheFlagIsSet) {
  Fixture f;
  auto service = rowsService(3);
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT id, name FROM t");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(fine, -1);
  ASSERT_EQ(rs->State(), ado::adStateOpen);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->LockType(), ado::adLockOptimistic);
  EXPECT_EQ(rs->Fields(1).Value(), Variant("이름 1"));
  rs->MoveLast();
  EXPECT_EQ(rs->Fields(0).Value(), Variant(std::int32_t{3}));
  EXPECT_TRUE(f.errorWindows().empty());
}

TEST(VbfResult, DbExecuteWithoutDbAddRaisesObjectNotSet) {
  Fixture f;
  auto service = rowsService(0);
  VBF db;
  db.DB_OPEN("tarvic");
  try {
    db.DB_EXECUTE();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_TRUE(service.requests().empty());
}

TEST(VbfResult, Status500ShowsThePageAndGivesNoObject) {
  Fixture f;
  const std::string page = "<html><body><h1>500 - 내부 서버 오류</h1></body></html>";
  DataServiceStub service([&](const test::SeenRequest&) { return httpReply(500, "Internal Server Error", page, "text/html; charset=utf-8"); });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 7;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 7);
  const auto windows = f.errorWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].title, "오류 알림 [debug supporter]");
  EXPECT_EQ(windows[0].text, page);
  const auto notices = f.monitor.notices();
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices.back(), "TR_RECVED|");  // nothing after the rejection
}

TEST(VbfResult, ErrorNumberReplyIsShownAndTheTransactionGoesOn) {
  Fixture f;
  const std::string reply = "[에러번호] 1 : no such table: 화물";
  DataServiceStub service([&](const test::SeenRequest&) { return httpReply(200, "OK", reply, "text/plain; charset=utf-8"); });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT * FROM 화물");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), ado::adStateClosed);
  EXPECT_EQ(fine, -1);
  ASSERT_EQ(f.errorWindows().size(), 1u);
  EXPECT_EQ(f.errorWindows()[0].text, reply);
  EXPECT_EQ(f.monitor.notices().back(), "TR_COMPLETE|");
}

TEST(VbfResult, ErrorNumberPrefixIsReadInTheReplysDeclaredEncoding) {
  const std::string ansi = text::toAnsiString("[에러번호] 2 : 권한 없음");
  struct Case {
    const char* what;
    std::string reply;
    bool shown;
  } cases[] = {
      {"CP949 declared", httpReply(200, "OK", ansi, "text/plain; charset=euc-kr"), true},
      {"UTF-8, no charset", httpReply(200, "OK", "[에러번호] 2 : 권한 없음", "text/plain"), true},
      {"CP949 bytes read as UTF-8", httpReply(200, "OK", ansi, "text/plain; charset=utf-8"), false},
      {"prefix not at the start", httpReply(200, "OK", " [에러번호] 2", "text/plain"), false},
      {"prefix cut short", httpReply(200, "OK", "[에러번호", "text/plain"), false},
  };
  for (const Case& c : cases) {
    Fixture f;
    DataServiceStub service([&](const test::SeenRequest&) { return c.reply; });
    VBF db;
    db.DB_OPEN("tarvic");
    db.DB_ADD("SELECT 1");
    std::int16_t fine = 0;
    ASSERT_NE(db.DB_EXECUTE(&fine), nullptr) << c.what;
    EXPECT_EQ(fine, -1) << c.what;
    ASSERT_EQ(f.errorWindows().size(), c.shown ? 1u : 0u) << c.what;
    if (c.shown) {
      EXPECT_EQ(f.errorWindows()[0].text, "[에러번호] 2 : 권한 없음") << c.what;
    }
  }
}

TEST(VbfResult, EmptyReplyGivesAClosedRecordsetAndCompletes) {
  Fixture f;
  DataServiceStub service([](const test::SeenRequest&) { return httpReply(200, "OK", ""); });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), ado::adStateClosed);
  EXPECT_EQ(fine, -1);
  EXPECT_TRUE(f.errorWindows().empty());
  EXPECT_EQ(f.monitor.notices().back(), "TR_COMPLETE|");
}

TEST(VbfResult, UnreachableServerShowsAnEmptyErrorWindowAndGivesNoObject) {
  Fixture f;
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 0);
  ASSERT_EQ(f.errorWindows().size(), 1u);
  EXPECT_EQ(f.errorWindows()[0].text, "");
}

// ---- notices ----

TEST(VbfNotices, ATransactionIsAnnouncedStepByStepWithEqualEvenLengths) {
  Fixture f;
  ASSERT_TRUE(f.monitor.up());
  auto service = rowsService(2);
  {
    VBF db;
    db.DB_OPEN("tarvic");
    db.DB_ADD("SELECT '가나다' -- 𝄞");  // a character outside the BMP counts twice in UTF-16
    db.DB_EXECUTE();
  }
  const auto notices = f.monitor.notices();
  ASSERT_EQ(notices.size(), 6u) << ::testing::PrintToString(notices);
  const std::string n = std::to_string(2 * lumadata::utf16Length(service.requests().at(0).body));
  EXPECT_EQ(notices, (std::vector<std::string>{"TR_OPEN|", "TR_START|" + n, "TR_WAIT|" + n, "TR_RECVED|",
                                               "TR_COMPLETE|", "TR_COMPLETE|"}));
  EXPECT_EQ(std::stoul(n) % 2, 0u);
  const auto dw = f.monitor.dwData();
  EXPECT_TRUE(std::all_of(dw.begin(), dw.end(), [](std::uint64_t d) { return d == 4000; }));
}

TEST(VbfNotices, NoMonitorNoNoticesAndTheTransactionRunsTheSame) {
  test::ScopedRegistry registry;
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  test::TempDir empty;
  test::ScopedEnv folder("VELTRANO_WINMSG_DIR", empty.path().string());
  ASSERT_FALSE(winmsg::findWindow(lumadata::kMonitorTitle));
  auto service = rowsService(1);
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(fine, -1);
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::is_empty(empty.path()));  // no endpoint socket left behind
#endif
}

// ---- error path ----

TEST(VbfErrorPath, TwelveCharacterReplyGivesTwelveNumberedNotices) {
  Fixture f;
  const std::string reply = "DB 접속 오류: 12";  // 12 characters
  ASSERT_EQ(text::Len(reply), 12u);
  DataServiceStub service([&](const test::SeenRequest&) { return httpReply(200, "OK", reply, "text/plain; charset=utf-8"); });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  FaultHook fault("received");
  std::int16_t fine = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 0);
  std::vector<std::string> errors;
  for (const auto& n : f.monitor.notices())
    if (n.rfind("TR_ERR|", 0) == 0) errors.push_back(n);
  ASSERT_EQ(errors.size(), 12u);
  const std::u32string chars = text::toU32(reply);
  for (std::size_t k = 1; k <= 12; ++k) {
    std::string expected = "TR_ERR|" + std::to_string(k) + "|";
    text::appendUtf8(expected, chars[k - 1]);
    expected.push_back('\0');
    EXPECT_EQ(errors[k - 1], expected);
  }
  EXPECT_EQ(f.monitor.notices().back(), errors.back());  // no completion after a failure
  EXPECT_TRUE(f.errorWindows().empty());
}

TEST(VbfErrorPath, CountIsTheTrimmedLengthTakenFromTheStartOfTheText) {
  Fixture f;
  DataServiceStub service([](const test::SeenRequest&) { return httpReply(200, "OK", "  ab  "); });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  FaultHook fault("received");
  EXPECT_EQ(db.DB_EXECUTE(), nullptr);
  std::vector<std::string> errors;
  for (const auto& n : f.monitor.notices())
    if (n.rfind("TR_ERR|", 0) == 0) errors.push_back(n);
  EXPECT_EQ(errors, (std::vector<std::string>{std::string("TR_ERR|1| \0", 11), std::string("TR_ERR|2| \0", 11)}));
}

TEST(VbfErrorPath, FailureBeforeAnyReplySendsNoErrorNoticeAndNothingIsPosted) {
  Fixture f;
  auto service = rowsService(1);
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  for (const char* at : {"saved", "opened"}) {
    f.monitor.clear();
    FaultHook fault(at);
    std::int16_t fine = 0;
    EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr) << at;
    EXPECT_EQ(fine, 0) << at;
    for (const auto& n : f.monitor.notices()) EXPECT_NE(n.rfind("TR_ERR|", 0), 0u) << at << ": " << n;
  }
  EXPECT_TRUE(service.requests().empty());
  // The object works again once nothing fails.
  std::int16_t fine = 0;
  EXPECT_NE(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, -1);
}

TEST(VbfErrorPath, ExecuteSwallowsTheFailureAndGivesNoObject) {
  Fixture f;
  DataServiceStub service([](const test::SeenRequest&) { return httpReply(200, "OK", "x"); });
  VBF db;
  db.DB_OPEN("tarvic");
  FaultHook fault("received");
  EXPECT_EQ(db.EXECUTE(nullptr, "PAGE"), nullptr);
  EXPECT_EQ(f.monitor.notices().back(), std::string("TR_ERR|1|x\0", 11));
}

// ---- the watchdog on a server that never answers ----

TEST(VbfWatchdog, EndsTheWaitAfter31SecondsAndTheFlagStaysSet) {
  Fixture f;
  ManualClock clock;
  ScopedClock useClock(clock);
  // Answers nothing until the server stops (bounded by the stub's own stop).
  test::RawHttpServer silent([](const test::SeenRequest&, test::RawConnection& c) { c.pause(60000); });
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:" + std::to_string(silent.port()));
  int pumps = 0;
  f.scripted.setOnPump([&] {
    ++pumps;
    if (pumps > 200) return;  // the test's own bound; the watchdog must have ended it long before
    clock.advance(1000);
  });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 0);
  EXPECT_EQ(db.abortFlag(), -1);
  // Each pump runs the due timers, then moves the clock on: the 32nd pump is the first to find
  // 31 s on the clock, and its 31st tick ends the wait.
  EXPECT_EQ(pumps, 32);
  auto notices = f.monitor.notices();
  const auto timeout = std::find(notices.begin(), notices.end(), "TR_TIMEOUT|");
  ASSERT_NE(timeout, notices.end());
  ASSERT_NE(timeout + 1, notices.end());
  EXPECT_EQ(*(timeout + 1), "TR_RECVED|");
  EXPECT_EQ(f.errorWindows().size(), 1u);  // status 0: the (empty) reply text is shown

  // The flag is never reset: the next transaction reads the ready state once, pumps once and
  // gives up.
  f.monitor.clear();
  pumps = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(pumps, 1);
  notices = f.monitor.notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), "TR_TIMEOUT|"), 0);
}

TEST(VbfWatchdog, AReplyCutShortByTheTimeoutIsNotTakenAsComplete) {
  Fixture f;
  ManualClock clock;
  ScopedClock useClock(clock);
  // The status line, headers and the start of a rowset, then nothing until the server stops.
  test::RawHttpServer stalled([](const test::SeenRequest&, test::RawConnection& c) {
    const std::string xml = datalib_test::rowsetXml(50);
    c.send(httpReply(200, "OK", xml).substr(0, 300));
    c.pause(60000);
  });
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:" + std::to_string(stalled.port()));
  int pumps = 0;
  f.scripted.setOnPump([&] {
    if (++pumps <= 200) clock.advance(1000);
  });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 0);
  const auto notices = f.monitor.notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), "TR_TIMEOUT|"), 1);
  EXPECT_EQ(std::count(notices.begin(), notices.end(), "TR_COMPLETE|"), 0);
}

TEST(VbfWatchdog, StopsWhenTheWaitEnds) {
  Fixture f;
  ManualClock clock;
  ScopedClock useClock(clock);
  // The reply comes once the test clock shows 5 s of waiting.
  std::atomic<bool> release{false};
  test::RawHttpServer slow([&](const test::SeenRequest&, test::RawConnection& c) {
    for (int i = 0; i < 1000 && !release; ++i) c.pause(5);
    c.send(httpReply(200, "OK", datalib_test::rowsetXml(1)));
  });
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:" + std::to_string(slow.port()));
  int pumps = 0;
  f.scripted.setOnPump([&] {
    if (++pumps > 2000) return;
    clock.advance(1000);
    if (clock.steadyMs() >= 5000) release = true;
  });
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("SELECT 1");
  std::int16_t fine = 0;
  ASSERT_NE(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, -1);
  // Long after the transaction, pumping raises no timeout.
  for (int i = 0; i < 40; ++i) ui::DoEvents();
  const auto notices = f.monitor.notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), "TR_TIMEOUT|"), 0);
  EXPECT_EQ(db.abortFlag(), 0);
}
