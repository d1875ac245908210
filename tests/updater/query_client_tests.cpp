#include <gtest/gtest.h>

#include "platform/eventlog/eventlog.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"
#include "support/test_support.h"
#include "updater/database.h"
#include "updater/mod_standard.h"
#include "updater/query_client.h"
#include "updater/query_protocol.h"

using namespace veltrano;
using meridox::QueryResult;

namespace {

std::string reply200(const std::string& utf8Body) {
  const std::string body = text::toAnsiString(utf8Body);
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// A query service on loopback that answers every request with `body` (UTF-8, sent as CP949).
struct Service {
  explicit Service(std::string body)
      : server([body](const test::SeenRequest&, test::RawConnection& c) { c.send(reply200(body)); }),
        host("VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(server.port())) {}
  test::RawHttpServer server;
  test::ScopedEnv host;
};

std::string rowsetReply() {
  auto rs = ado::Recordset::create();
  rs->Fields().Append("productcode", ado::adVarWChar, 20);
  rs->Fields().Append("productname", ado::adVarWChar, 50);
  rs->Open();
  rs->AddNew();
  rs->Fields(0).setValue(Variant("TARVIC"));
  rs->Fields(1).setValue(Variant("타르빅 운송"));
  rs->Update();
  return std::string(meridox::kRowsetStylesheet) + "\r\n" + rs->SaveXml();
}

// The text of one form field after its 128-digit key, decoded with that key.
std::string decodedField(const std::string& body, const std::string& name) {
  for (const std::string& part : text::Split(body, "&")) {
    if (part.rfind(name + "=", 0) != 0) continue;
    const std::string value = part.substr(name.size() + 1);
    return meridox::EncDecText(value.substr(128), value.substr(0, 128), 0);
  }
  return "<missing>";
}

struct Quiet {
  ui::ScriptedUi scripted;
  ui::ScopedUi scope{scripted};
};

}  // namespace

TEST(QueryExchange, RequestCarriesKeyedFieldsAndHeadersInOrder) {
  Quiet q;
  Service service(meridox::kNoRowsReply);
  meridox::RunQueryService("select 1", "qz_update", "");
  const auto seen = service.server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].target, "/client/mysqlservice.asp");
  std::vector<std::string> names;
  for (const auto& line : seen[0].headerLines) names.push_back(line.substr(0, line.find(':')));
  const auto at = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(at("Content-Type"), at("Charset"));
  EXPECT_LT(at("Charset"), at("Pragma"));
  EXPECT_LT(at("Pragma"), at("Expires"));
  EXPECT_EQ(seen[0].header("Charset"), "euc-kr");
  const std::string& body = seen[0].body;
  EXPECT_EQ(body.find_first_not_of("0123456789ABCDEFI=&SQLDATBUSRE"), std::string::npos) << body;
  // An eight-character select: its key and eight tokens (the appended blank is not encoded).
  const std::string sqlField = text::Split(body, "&")[0].substr(4);
  EXPECT_EQ(std::count(sqlField.begin() + 128, sqlField.end(), 'I'), 8);
  EXPECT_EQ(decodedField(body, "SQL"), "select 1");
  EXPECT_EQ(decodedField(body, "DATABASE"), "qz_update");
  // An empty user id: the field carries its key alone, the database's key.
  const std::string userField = text::Split(body, "&")[2];
  EXPECT_EQ(userField, "USERID=" + text::Split(body, "&")[1].substr(9, 128));
}

TEST(QueryExchange, NoRowsReplyGivesTheEmptyOneFieldRecordset) {
  Quiet q;
  Service service(meridox::kNoRowsReply);
  const QueryResult r = meridox::RunQueryService("select * from qz_product", "qz_update", "");
  ASSERT_EQ(r.kind, QueryResult::Kind::Recordset);
  EXPECT_EQ(r.recordset->Fields(0).Name(), "결과없음");
  EXPECT_EQ(r.recordset->Fields(0).Type(), ado::adVarChar);
  EXPECT_EQ(r.recordset->Fields(0).DefinedSize(), 65534);
  EXPECT_TRUE(r.recordset->Eof());
  EXPECT_EQ(r.recordset->RecordCount(), 0);
  ASSERT_FALSE(q.scripted.pointerHistory().empty());
  EXPECT_EQ(q.scripted.pointerHistory().back(), ui::MousePointer::Default);
}

TEST(QueryExchange, NoRowsTextWithALineBreakIsAFailure) {
  Quiet q;
  Service service(std::string(meridox::kNoRowsReply) + "\r\n");
  const QueryResult r = meridox::RunQueryService("select * from qz_product", "qz_update", "");
  ASSERT_EQ(r.kind, QueryResult::Kind::Recordset);
  EXPECT_EQ(r.recordset->Fields(0).Name(), "오류발생");
  EXPECT_EQ(r.recordset->Fields(0).Value().toString(), std::string(meridox::kNoRowsReply) + "\r\n");
}

TEST(QueryExchange, RowsReplyLoadsTheRecordset) {
  Quiet q;
  Service service(rowsetReply());
  const QueryResult r = meridox::RunQueryService("select * from qz_product", "qz_update", "");
  ASSERT_EQ(r.kind, QueryResult::Kind::Recordset);
  ASSERT_EQ(r.recordset->State(), ado::adStateOpen);
  EXPECT_EQ(r.recordset->RecordCount(), 1);
  EXPECT_EQ(r.recordset->Fields(1).Value().toString(), "타르빅 운송");
  EXPECT_EQ(r.recordset->CursorLocation(), ado::adUseClient);
  EXPECT_TRUE(q.scripted.pointerHistory().empty());  // the rows form leaves the pointer alone
}

TEST(QueryExchange, StylesheetWithoutARowsetGivesAClosedRecordset) {
  Quiet q;
  Service service(std::string(meridox::kRowsetStylesheet) + "<xml><broken");
  const QueryResult r = meridox::RunQueryService("select * from qz_product", "qz_update", "");
  ASSERT_EQ(r.kind, QueryResult::Kind::Recordset);
  EXPECT_EQ(r.recordset->State(), ado::adStateClosed);
}

TEST(QueryExchange, FailureTextAndEmptyReplyAndServerDown) {
  Quiet q;
  {
    Service service("[Microsoft][ODBC] 잘못된 개체 이름 'qz_prodct'");
    const QueryResult r = meridox::RunQueryService("select * from qz_prodct", "qz_update", "");
    EXPECT_EQ(r.recordset->Fields(0).Name(), "오류발생");
    EXPECT_EQ(r.recordset->Fields(0).Value().toString(), "[Microsoft][ODBC] 잘못된 개체 이름 'qz_prodct'");
  }
  {
    Service service("   ");
    const QueryResult r = meridox::RunQueryService("select 1", "qz_update", "");
    EXPECT_EQ(r.recordset->Fields(0).Value().toString(),
              "자료저장소에 접속 할 수 없습니다.\r\n인터넷이 사용가능한지 확인하시기 바랍니다.");
    EXPECT_FALSE(r.recordset->Eof());  // the row stays current
  }
  const std::string host = "127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
  test::ScopedEnv down("VELTRANO_QUERY_HOST", host);
  const QueryResult r = meridox::RunQueryService("select 1", "qz_update", "");
  ASSERT_EQ(r.kind, QueryResult::Kind::Recordset);
  EXPECT_EQ(r.recordset->Fields(0).Value().toString(), meridox::kUnreachableText);
}

TEST(QueryExchange, UnreachableOrUnsetHostIsReportedOnStderrAndInTheEventLog) {
  Quiet q;
  std::vector<std::string> logged;
  eventlog::setSink([&](const eventlog::Entry& e) { logged.push_back(e.source + ": " + e.text); });
  const std::string host = "127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
  {
    test::ScopedEnv down("VELTRANO_QUERY_HOST", host);
    testing::internal::CaptureStderr();
    meridox::RunQueryService("select 1", "qz_update", "");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("meridox: query service at " + host + " unreachable: ", 0), 0u) << err;
    EXPECT_GT(err.size(), ("meridox: query service at " + host + " unreachable: \n").size()) << "names the cause";
  }
  {
    test::ScopedEnv unset("VELTRANO_QUERY_HOST", "");
    test::ScopedRegistry noDeployValue;
    testing::internal::CaptureStderr();
    meridox::RunQueryService("select 1", "qz_update", "");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("query service at (no host) unreachable: no host is set"),
              std::string::npos);
  }
  {
    Service answering("조회된 결과값이 없습니다.");
    meridox::RunQueryService("select 1", "qz_update", "");
  }
  eventlog::setSink({});
  ASSERT_EQ(logged.size(), 2u) << "one entry per unreachable exchange, none for an answer";
  EXPECT_EQ(logged[0].rfind("Meridox: query service at " + host + " unreachable: ", 0), 0u);
  EXPECT_EQ(logged[1].rfind("Meridox: query service at (no host) unreachable: ", 0), 0u);
}

TEST(QueryExchange, ModifyingStatementIsTrueWhateverTheReply) {
  Quiet q;
  Service service("error: table is read-only");
  EXPECT_EQ(meridox::RunQueryService("insert into t values(1)", "qz_update", "").kind, QueryResult::Kind::True);
  EXPECT_EQ(meridox::RunQueryService("delete from t", "qz_update", "").kind, QueryResult::Kind::True);
}

TEST(QueryModes, DatabaseNameRuleAndModeNames) {
  Quiet q;
  Service service(meridox::kNoRowsReply);
  meridox::DATABASE db;
  db.SQL("select 1", "QZ_SMS", "MySQL");
  db.SQL("select 1", "other", "MYSQL");
  db.SQL("select 1", "", "mysql");
  EXPECT_TRUE(db.SQL("select 1", "qz_update", "oracle").isEmpty());  // no traffic either
  const auto seen = service.server.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(decodedField(seen[0].body, "DATABASE"), "QZ_SMS");
  EXPECT_EQ(decodedField(seen[1].body, "DATABASE"), "fretline_innovation");
  EXPECT_EQ(decodedField(seen[2].body, "DATABASE"), "fretline_innovation");
  EXPECT_FALSE(db.CheckAuthentication());
}

// The SQLite ODBC driver and the sqlite3 program are Linux peers; Windows has neither.
#ifndef _WIN32
TEST(QueryModes, DirectModeReadsARealDatabaseThroughOdbc) {
  test::TempDir dir;
  ASSERT_EQ(test::run("sqlite3 '" + (dir / "qz_update.sqlite").string() +
                      "' \"create table qz_product(productcode text, productkey text, productname text);"
                      " insert into qz_product values('TARVIC', 'TARVIC2004', '타르빅');\"")
                .exitCode,
            0);
  test::ScopedEnv driver("VELTRANO_ODBC_DRIVER", "SQLite3");
  meridox::DATABASE db;
  db.QUERY_IP_DATA = dir.path().string();
  db.QUERY_ID_DATA = "sa";
  const QueryResult r = db.SQL("select * from qz_product", "qz_update", "MSSQL");
  EXPECT_TRUE(r.isEmpty());  // the rows are in QUERY_DISPLAY
  ASSERT_EQ(db.QUERY_DISPLAY->State(), ado::adStateOpen);
  EXPECT_EQ(db.QUERY_DISPLAY->RecordCount(), 1);
  EXPECT_EQ(db.QUERY_DISPLAY->Fields(2).Value().toString(), "타르빅");
  EXPECT_EQ(db.QUERY_DISPLAY->CacheSize(), 20);
  EXPECT_EQ(db.DirectConnectionString("qz_update"),
            "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;Initial Catalog=qz_update;"
            "Data Source=" + dir.path().string());
  // A connection that fails leaves QUERY_DISPLAY closed and returns Empty.
  test::ScopedEnv badDriver("VELTRANO_ODBC_DRIVER", "No Such Driver");
  EXPECT_TRUE(db.SQL("select * from qz_product", "qz_update", "mssql").isEmpty());
  EXPECT_EQ(db.QUERY_DISPLAY->State(), ado::adStateClosed);
}
#endif

TEST(OpenServerQuery, ReturnsTheRecordsetAndRaisesOnTrue) {
  Quiet q;
  Service service(rowsetReply());
  test::ScopedRegistry store;
  auto rs = meridox::OpenServerQuery("select * from qz_product");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Fields(0).Value().toString(), "TARVIC");
  try {
    meridox::OpenServerQuery("update qz_product set productname = ''");
    FAIL() << "a True result must not become a recordset";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}
