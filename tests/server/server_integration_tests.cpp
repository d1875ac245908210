// The server program over real HTTP on loopback: started as a child process on port 0 with
// the sample data set, or run in this process. The replies of the services are tested on both
// backends (ServerRepliesTest/.../Sqlite and .../Mariadb, the sample data loaded into a MariaDB
// server of the test's own).

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/ado/recordset.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/scripted_ui.h"
#include "updater/mod_standard.h"
#include "updater/query_client.h"
#include "server/data_service.h"
#include "server/mariadb_catalog.h"
#include "server/query_service.h"
#include "server/sqlite_catalog.h"
#include "server_fixture.h"

using namespace veltrano::test;
using veltrano::Bytes;
using veltrano::Variant;
using veltrano::server::kNoRowsText;
using veltrano::server::kStylesheetLine;
namespace ado = veltrano::ado;
using veltrano::server::ServerOptions;
namespace fs = std::filesystem;
namespace text = veltrano::text;

namespace {

// Deterministic bytes of every value, longer than the server's 64 KiB read chunk.
std::string patternBytes(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return s;
}

// The server program on a sample data folder, with the clients of its services.
class ServerProgramTest : public ServerProgramFixture {
 protected:
  httplib::Result postQuery(const std::string& sql, const std::string& database = "qz_update") {
    httplib::Client client("127.0.0.1", port());
    client.set_read_timeout(10);
    const httplib::Headers headers = {{"Charset", "euc-kr"}, {"Pragma", "no-cache"}, {"Expires", "0"}};
    return client.Post("/client/mysqlservice.asp", headers, queryForm(sql, database),
                       "application/x-www-form-urlencoded");
  }

  // A rows-form reply loaded as the query client loads it: CP949 bytes to text, then the
  // recordset opened on that text (the stylesheet line before the document included).
  std::unique_ptr<ado::Recordset> rowsOf(const httplib::Result& r) {
    auto rs = std::make_unique<ado::Recordset>();
    if (!r) {
      ADD_FAILURE() << "no reply";
      return rs;
    }
    const std::string reply = text::fromAnsi(r->body);
    EXPECT_EQ(reply.rfind(std::string(kStylesheetLine), 0), 0u) << reply;
    const ado::LoadResult loaded = rs->loadXml(reply);
    EXPECT_TRUE(loaded) << loaded.description << "\n" << reply;
    return rs;
  }

  // Posts a recordset saved as ADO XML, as the data library sends its requests.
  httplib::Result postRecordset(const std::string& path, ado::Recordset& request) {
    httplib::Client client("127.0.0.1", port());
    client.set_read_timeout(10);
    const httplib::Headers headers = {{"Charset", "euc-kr"}, {"Pragma", "no-cache"}, {"Expires", "0"}};
    return client.Post(path.c_str(), headers, request.SaveXml(), "application/x-www-form-urlencoded");
  }

};

// The same on each backend.
class ServerRepliesTest : public ServerProgramTest, public ::testing::WithParamInterface<Backend> {
 protected:
  void start(std::vector<std::string> extra = {}) { ServerProgramTest::start(extra, GetParam()); }
  bool mariadb() const { return GetParam() == Backend::Mariadb; }
  // The error text's start for a failure the database reports: SQLite's code, or MariaDB's.
  std::string failure(int sqlite, int mariadb) const {
    return "[에러번호] " + std::to_string(this->mariadb() ? mariadb : sqlite) + " : ";
  }
};

INSTANTIATE_TEST_SUITE_P(Backends, ServerRepliesTest, kBothBackends, backendName);

// The request of the data library's DB_ADD: SQL, DATABASE, and BYTESDATA with the payload.
std::unique_ptr<ado::Recordset> sqlRequest(const std::string& sql, const std::string& database,
                                           const Bytes& payload = {}) {
  auto rs = std::make_unique<ado::Recordset>();
  rs->Fields().Append("SQL", ado::adVarChar, 65534);
  rs->Fields().Append("DATABASE", ado::adVarChar, 65534);
  rs->Fields().Append("BYTESDATA", ado::adVariant, 0);
  rs->Open();
  rs->AddNew();
  rs->Fields("SQL").setValue(Variant(sql));
  rs->Fields("DATABASE").setValue(Variant(database));
  if (!payload.empty()) rs->Fields("BYTESDATA").AppendChunk(Variant(payload));
  rs->Update();
  return rs;
}

// The request of the data library's EXECUTE: DATABASE, then one field per parameter.
std::unique_ptr<ado::Recordset> pageRequest(const std::string& database,
                                            const std::vector<std::pair<std::string, std::string>>& params) {
  auto rs = std::make_unique<ado::Recordset>();
  rs->Fields().Append("DATABASE", ado::adVarChar, 65534);
  for (const auto& [name, value] : params) rs->Fields().Append(name, ado::adVarChar, 65534);
  rs->Open();
  rs->AddNew();
  rs->Fields("DATABASE").setValue(Variant(database));
  for (const auto& [name, value] : params) rs->Fields(name).setValue(Variant(value));
  rs->Update();
  return rs;
}

}  // namespace

TEST_F(ServerProgramTest, PrintsItsAddressFirstAndStopsCleanlyOnSigterm) {
  start();
  EXPECT_TRUE(std::regex_match(server_->firstLine(), std::regex("listening on 127\\.0\\.0\\.1:[0-9]+")))
      << server_->firstLine();
  EXPECT_NE(port(), 8080);
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC/README.TXT").status, 200);
  EXPECT_EQ(server_->stop(SIGTERM), 0);
  EXPECT_NE(server_->errorOutput().find("stopped"), std::string::npos);
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC/README.TXT").status, 0);  // nobody listens
}

TEST_F(ServerProgramTest, StopsCleanlyOnSigintWithAConnectionOpen) {
  start();
  httplib::Client idle("127.0.0.1", port());
  idle.set_keep_alive(true);
  ASSERT_TRUE(idle.Get("/FILES/TVSMS/TVSMS.EXE"));
  EXPECT_EQ(server_->stop(SIGINT), 0);
}

TEST_F(ServerProgramTest, RefusesAPortAlreadyTaken) {
  start();
  ServerProcess second({"--data", dir_.path().string(), "--listen", server_->hostPort()});
  EXPECT_FALSE(second.started());
  EXPECT_EQ(second.stop(SIGTERM), 1);
  EXPECT_NE(second.errorOutput().find("cannot listen"), std::string::npos) << second.errorOutput();
}

TEST_F(ServerProgramTest, ListensWithAnAcceptQueueForManyClients) {
  // The HTTP library listens with a backlog of 5; fifty clients connecting at once overflowed
  // it and some connections were reset. The server widens it (Send-Q of a listening socket).
  start();
  const auto r = run("ss -Hltn 'sport = :" + std::to_string(port()) + "'");
  ASSERT_EQ(r.exitCode, 0) << "ss (iproute2) is needed";
  std::istringstream fields(r.out);
  std::string state, recvQ, sendQ;
  fields >> state >> recvQ >> sendQ;
  EXPECT_EQ(state, "LISTEN") << r.out;
  EXPECT_GE(std::atoi(sendQ.c_str()), 128) << r.out;
}

TEST_F(ServerProgramTest, BadCommandLinesExitWithAMessage) {
  const auto r = run("'" + builtProgram("server/veltrano-server").string() + "' --listen nowhere 2>&1");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("--listen"), std::string::npos);
  const auto noFolder = run("'" + builtProgram("server/veltrano-server").string() +
                            "' --listen 127.0.0.1:0 --data '" + (dir_ / "absent").string() + "' 2>&1");
  EXPECT_EQ(noFolder.exitCode, 1);
  EXPECT_NE(noFolder.out.find("does not exist"), std::string::npos) << noFolder.out;
  writeFile(dir_ / "a-file", "x");
  const auto aFile = run("'" + builtProgram("server/veltrano-server").string() + "' --listen 127.0.0.1:0 --data '" +
                         (dir_ / "a-file").string() + "' 2>&1");
  EXPECT_EQ(aFile.exitCode, 1);
  EXPECT_EQ(aFile.out, "veltrano-server: " + (dir_ / "a-file").string() + " is not a folder (--data names the data folder)\n");
  for (const char* flag : {"--help", "-h"}) {
    const auto help = run("'" + builtProgram("server/veltrano-server").string() + "' " + flag);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--max-rows"), std::string::npos);
  }
}

TEST_F(ServerProgramTest, ServesFilesWholeAndByRange) {
  start();
  const std::string content = patternBytes(200 * 1024 + 7);
  writeFile(files() / "FILES" / "TARVIC" / "big.bin", content);

  const RawReply whole = rawGet(port(), "/FILES/TARVIC/BIG.BIN");
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.header("Content-Length"), std::to_string(content.size()));
  EXPECT_EQ(whole.header("Accept-Ranges"), "bytes");
  EXPECT_TRUE(whole.body == content);

  const RawReply tail = rawGet(port(), "/FILES/TARVIC/BIG.BIN", "Range: bytes=4000-\r\n");
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.header("Content-Length"), std::to_string(content.size() - 4000));
  EXPECT_EQ(tail.header("Content-Range"),
            "bytes 4000-" + std::to_string(content.size() - 1) + "/" + std::to_string(content.size()));
  EXPECT_TRUE(tail.body == content.substr(4000));

  // Across a 64 KiB boundary, and an end beyond the file cut to its last byte.
  const RawReply middle = rawGet(port(), "/FILES/TARVIC/BIG.BIN", "Range: bytes=65530-65545\r\n");
  EXPECT_EQ(middle.status, 206);
  EXPECT_TRUE(middle.body == content.substr(65530, 16));
  const RawReply beyond = rawGet(port(), "/FILES/TARVIC/BIG.BIN", "Range: bytes=204800-999999999\r\n");
  EXPECT_EQ(beyond.status, 206);
  EXPECT_EQ(beyond.header("Content-Length"), "7");
  EXPECT_TRUE(beyond.body == content.substr(204800));

  const RawReply late = rawGet(port(), "/FILES/TARVIC/BIG.BIN", "Range: bytes=999999-\r\n");
  EXPECT_EQ(late.status, 416);
  EXPECT_EQ(late.header("Content-Range"), "bytes */" + std::to_string(content.size()));
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC/BIG.BIN", "Range: bytes=x-y\r\n").status, 200);  // ignored

  const RawReply head = rawGet(port(), "/files/tarvic/big.bin", "", "HEAD");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.header("Content-Length"), std::to_string(content.size()));
  EXPECT_TRUE(head.body.empty());
}

TEST_F(ServerProgramTest, EmptyAndMissingFiles) {
  start();
  writeFile(files() / "FILES" / "empty.txt", "");
  const RawReply empty = rawGet(port(), "/FILES/EMPTY.TXT");
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.header("Content-Length"), "0");
  EXPECT_EQ(rawGet(port(), "/FILES/EMPTY.TXT", "Range: bytes=0-\r\n").status, 416);
  const RawReply missing = rawGet(port(), "/FILES/TARVIC/NOTTHERE.EXE");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC").status, 404);
}

TEST_F(ServerProgramTest, NeverServesAFileOutsideItsFolder) {
  start();
  // The databases lie beside files/, the natural target of an escape.
  for (const char* target :
       {"/../db/qz_update.sqlite", "/FILES/../../db/qz_update.sqlite",
        "/%2e%2e/db/qz_update.sqlite", "/FILES/%2E%2E/%2e%2e/db/qz_update.sqlite",
        "/..%2fdb%2fqz_update.sqlite", "/..%5cdb%5cqz_update.sqlite", "/..\\db\\qz_update.sqlite"}) {
    const RawReply r = rawGet(port(), target);
    EXPECT_EQ(r.status, 403) << target;
    EXPECT_EQ(r.body.find("SQLite format"), std::string::npos) << target;
  }
  fs::create_symlink(dir_.path() / "db", files() / "dblink");
  EXPECT_EQ(rawGet(port(), "/dblink/qz_update.sqlite").status, 403);
  EXPECT_EQ(rawGet(port(), "/FILES/%G0").status, 400);
}

TEST_F(ServerProgramTest, CurlGetsTheSameBytesWholeAndByRange) {
  start();
  const std::string content = patternBytes(150000);
  writeFile(files() / "FILES" / "TVSMS" / "data.bin", content);
  const std::string url = "http://" + server_->hostPort() + "/FILES/TVSMS/DATA.BIN";
  const auto out = dir_ / "whole.bin";
  const auto part = dir_ / "part.bin";
  ASSERT_EQ(run("curl -sS --fail -m 20 -o '" + out.string() + "' '" + url + "'").exitCode, 0);
  ASSERT_EQ(run("curl -sS --fail -m 20 -r 4000- -o '" + part.string() + "' '" + url + "'").exitCode, 0);
  EXPECT_TRUE(readFile(out) == content);
  EXPECT_TRUE(readFile(part) == content.substr(4000));
  // Resuming a cut download with curl gives the file.
  writeFile(part, content.substr(0, 70000));
  ASSERT_EQ(run("curl -sS --fail -m 20 -C - -o '" + part.string() + "' '" + url + "'").exitCode, 0);
  EXPECT_TRUE(readFile(part) == content);
  const auto escaped = run("curl -s --path-as-is -o /dev/null -w '%{http_code}' 'http://" +
                           server_->hostPort() + "/FILES/../db/qz_update.sqlite'");
  EXPECT_EQ(escaped.out, "403");
}

TEST_P(ServerRepliesTest, QueryServiceAnswersInTheClientsForms) {
  start();
  // No rows: the exact text, in CP949.
  auto r = postQuery("select * from qz_product where productcode = '없는제품'");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, text::toAnsiString(kNoRowsText));
  EXPECT_NE(r->get_header_value("Content-Type").find("euc-kr"), std::string::npos);

  // A failing statement: an error text, Korean intact through CP949 both ways.
  r = postQuery("select productname from qz_product where productname = '타르빅' and 없는열 = 1");
  ASSERT_TRUE(r);
  const std::string error = text::fromAnsi(r->body);
  EXPECT_EQ(error.rfind(failure(1, 1054), 0), 0u) << error;  // ER_BAD_FIELD_ERROR
  EXPECT_NE(error.find("없는열"), std::string::npos) << error;
  EXPECT_EQ(error.find("Recordsetxml.xsl"), std::string::npos);

  // Paths of the services ignore case, as on the servers the clients were written for.
  httplib::Client client("127.0.0.1", port());
  auto upper = client.Post("/CLIENT/MYSQLSERVICE.ASP",
                           queryForm("select * from qz_files where 0", "QZ_UPDATE"),
                           "application/x-www-form-urlencoded");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->body, text::toAnsiString(kNoRowsText));
}

TEST_P(ServerRepliesTest, CatalogueAndFileListsAsTheUpdaterReadsThem) {
  start();
  auto catalogue = rowsOf(postQuery("select * from qz_product"));
  ASSERT_EQ(catalogue->State(), ado::adStateOpen);
  ASSERT_EQ(catalogue->RecordCount(), 3);
  EXPECT_EQ(catalogue->Fields(0).Value(), Variant("TARVIC"));
  EXPECT_EQ(catalogue->Fields(1).Value(), Variant("TARVIC"));
  EXPECT_EQ(catalogue->Fields(2).Value(), Variant("타르빅 화물관리"));
  catalogue->MoveLast();
  EXPECT_EQ(catalogue->Fields(0).Value(), Variant("TVSMS"));

  // Korean in the statement reaches the database through CP949 and comes back.
  auto byName = rowsOf(postQuery("select productcode, productname from qz_product where productname = '타르빅 회계관리'"));
  ASSERT_EQ(byName->RecordCount(), 1);
  EXPECT_EQ(byName->Fields(0).Value(), Variant("TVACCT"));
  EXPECT_EQ(byName->Fields(1).Value(), Variant("타르빅 회계관리"));

  // The file list, in the updater's words (two blanks after select included), and each file
  // fetched where the updater fetches it: http:// + upper-cased source path and file name.
  auto list = rowsOf(postQuery("select  productcode,filename,sourcepath,downloadpath,addreg,version,"
                               "memo,productkey from qz_files where productkey='TARVIC' order by filename"));
  ASSERT_EQ(list->RecordCount(), 3);
  ASSERT_EQ(list->Fields().Count(), 8);
  std::vector<std::string> names;
  for (list->MoveFirst(); !list->Eof(); list->MoveNext()) {
    const std::string file = list->Fields(1).Value().toString();
    const std::string source = list->Fields(2).Value().toString();
    names.push_back(file);
    EXPECT_EQ(source.rfind(server_->hostPort() + "/", 0), 0u) << source;
    const std::string url = veltrano::text::UCase(source) + veltrano::text::UCase(file);
    const RawReply got = rawGet(port(), url.substr(url.find('/')));
    EXPECT_EQ(got.status, 200) << url;
    EXPECT_FALSE(got.body.empty()) << url;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"README.TXT", "tarvic.exe", "tarvicsample.dll"}));
}

TEST_P(ServerRepliesTest, TheUpdatersQueryClientReadsEveryReplyForm) {
  start();
  veltrano::ui::ScriptedUi scripted;
  veltrano::ui::ScopedUi quiet{scripted};
  ScopedEnv host("VELTRANO_QUERY_HOST", server_->hostPort());

  // The catalogue through the window's own wrapper.
  const ado::RecordsetPtr catalogue = meridox::OpenServerQuery("select * from qz_product");
  ASSERT_TRUE(catalogue);
  ASSERT_EQ(catalogue->State(), ado::adStateOpen);
  EXPECT_EQ(catalogue->RecordCount(), 3);
  EXPECT_EQ(catalogue->Fields(2).Value(), Variant("타르빅 화물관리"));

  auto none = meridox::RunQueryService("select * from qz_product where productcode = 'X'", "qz_update", "");
  ASSERT_EQ(none.kind, meridox::QueryResult::Kind::Recordset);
  EXPECT_EQ(none.recordset->Fields(0).Name(), meridox::kNoRowsField);
  EXPECT_TRUE(none.recordset->Eof());

  auto failed = meridox::RunQueryService("select * from 없는표", "qz_update", "");
  ASSERT_EQ(failed.kind, meridox::QueryResult::Kind::Recordset);
  EXPECT_EQ(failed.recordset->Fields(0).Name(), meridox::kFailureField);
  const std::string message = failed.recordset->Fields(0).Value().toString();
  EXPECT_EQ(message.rfind(failure(1, 1146), 0), 0u) << message;
  EXPECT_NE(message.find("없는표"), std::string::npos) << message;

  // A change is refused by the server, and the client reports True as it always does.
  EXPECT_EQ(meridox::RunQueryService("delete from qz_files", "qz_update", "").kind,
            meridox::QueryResult::Kind::True);
  EXPECT_EQ(meridox::OpenServerQuery("select count(*) from qz_files")->Fields(0).Value().toInt64(), 6);
}

TEST_P(ServerRepliesTest, DataServiceAnswersPostedRecordsets) {
  start({"--writable"});
  // DB_ADD with a payload bound to the "?".
  auto store = sqlRequest("update document set content = ? where docno = 1", "tarvic", Bytes{1, 0, 0xFE});
  auto r = postRecordset("/Database/ORVEX/", *store);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200) << r->body;
  EXPECT_NE(r->get_header_value("Content-Type").find("utf-8"), std::string::npos);
  ado::Recordset changed;
  ASSERT_TRUE(changed.loadXml(r->body)) << r->body;
  EXPECT_EQ(changed.Fields(0).Value().toInt64(), 1);

  auto read = sqlRequest("select docno, title, content from document where docno = 1", "tarvic");
  r = postRecordset("/database/orvex/", *read);
  ASSERT_TRUE(r);
  ado::Recordset doc;
  ASSERT_TRUE(doc.loadXml(r->body)) << r->body;
  EXPECT_EQ(doc.Fields(1).Value(), Variant("운송 약관"));
  EXPECT_EQ(doc.Fields(2).Value(), Variant(Bytes{1, 0, 0xFE}));

  // EXECUTE: a page of qz_pages with its named parameter taken from the field.
  auto page = pageRequest("tarvic", {{"REGION", "서울"}});
  r = postRecordset("/ORVEX/customer_list.asp", *page);
  ASSERT_TRUE(r);
  ado::Recordset customers;
  ASSERT_TRUE(customers.loadXml(r->body)) << r->body;
  ASSERT_EQ(customers.RecordCount(), 2);
  EXPECT_EQ(customers.Fields("name").Value(), Variant("한빛운송"));

  // No rows: a rowset without rows (the data service has no no-rows text).
  page = pageRequest("tarvic", {{"REGION", "제주"}});
  r = postRecordset("/ORVEX/CUSTOMER_LIST.ASP", *page);
  ASSERT_TRUE(r);
  ado::Recordset none;
  ASSERT_TRUE(none.loadXml(r->body)) << r->body;
  EXPECT_TRUE(none.Eof());
  EXPECT_EQ(none.Fields().Count(), 3);

  // A failing statement: 200 and the error prefix.
  auto bad = sqlRequest("select * from 없는표", "tarvic");
  r = postRecordset("/Database/ORVEX/", *bad);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body.rfind(failure(1, 1146), 0), 0u) << r->body;
}

TEST_P(ServerRepliesTest, ModifyingStatementRefusedOnReadOnlyDatabase) {
  start();
  auto r = postQuery("delete from qz_files");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 403);
  EXPECT_EQ(text::fromAnsi(r->body).rfind("[에러번호] 8 : ", 0), 0u);
  // The files are all still there.
  EXPECT_EQ(sampleValue("qz_update", "select count(*) from qz_files"), "6");
}

TEST_P(ServerRepliesTest, WritableServerRunsModifyingStatements) {
  start({"--writable"});
  auto r = postQuery("delete from qz_files where productkey = 'TVSMS'");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  auto changed = rowsOf(r);
  ASSERT_EQ(changed->State(), ado::adStateOpen);
  EXPECT_EQ(changed->Fields(0).Name(), "RowsAffected");
  EXPECT_EQ(changed->Fields(0).Value().toInt64(), 1);
  r = postQuery("select * from qz_files where productkey = 'TVSMS'");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body, text::toAnsiString(kNoRowsText));
}

TEST_F(ServerProgramTest, RequestsOverTheSizeLimitAreRefused) {
  start({"--max-request-bytes", "2048"});
  httplib::Client client("127.0.0.1", port());
  const std::string big = queryForm("select '" + std::string(2000, 'x') + "'", "qz_update");
  auto r = client.Post("/client/mysqlservice.asp", big, "application/x-www-form-urlencoded");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 413);
  r = postQuery("select * from qz_product where 0");  // and the server goes on
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body, text::toAnsiString(kNoRowsText));
}

TEST_F(ServerProgramTest, UnknownAddressesAndUnreadableRequests) {
  start();
  httplib::Client client("127.0.0.1", port());
  auto r = client.Post("/client/other.asp", "x", "text/plain");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 404);
  r = client.Post("/client/mysqlservice.asp", "SQL=1&DATABASE=2", "application/x-www-form-urlencoded");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 400);
  for (const char* path : {"/Database/ORVEX/", "/database/orvex", "/ORVEX/CUSTOMER_LIST.ASP"}) {
    r = client.Post(path, "<not a recordset", "application/x-www-form-urlencoded");
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 400) << path;
    EXPECT_EQ(r->body.rfind("[에러번호]", 0), 0u) << path;  // UTF-8 for the data service
    EXPECT_NE(r->get_header_value("Content-Type").find("utf-8"), std::string::npos);
  }
}

TEST_F(ServerProgramTest, AccessLogHasOneLinePerRequest) {
  const auto logFile = dir_ / "access.log";
  start({"--access-log", logFile.string()});
  rawGet(port(), "/FILES/TARVIC/README.TXT", "Range: bytes=10-19\r\n");
  rawGet(port(), "/FILES/TARVIC/NONE");
  ASSERT_TRUE(postQuery("select 1 where 0"));
  ASSERT_EQ(server_->stop(SIGTERM), 0);
  const std::string log = readFile(logFile);
  const std::regex line(
      "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+Z 127\\.0\\.0\\.1:[0-9]+ (GET|POST) \\S+ [0-9]{3} [0-9]+ "
      "[0-9.]+ms\n");
  std::vector<std::string> lines;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
    lines.push_back(it->str());
  ASSERT_EQ(lines.size(), 3u) << log;
  EXPECT_NE(lines[0].find(" GET /FILES/TARVIC/README.TXT 206 10 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" GET /FILES/TARVIC/NONE 404 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" POST /client/mysqlservice.asp 200 25 "), std::string::npos) << lines[2];
}

TEST_P(ServerRepliesTest, ManyClientsAtOnce) {
  start({"--threads", "16"});
  std::atomic<int> good{0}, bad{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 16; ++c)
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port());
      client.set_read_timeout(20);
      client.set_keep_alive(c % 2 == 0);
      client.set_tcp_nodelay(true);
      for (int i = 0; i < 10; ++i) {
        if (i % 2) {
          auto r = client.Get("/FILES/TARVIC/README.TXT");
          (r && r->status == 200 && r->body.size() > 100 ? good : bad)++;
        } else {
          auto r = client.Post("/client/mysqlservice.asp",
                               queryForm("select * from qz_files where productkey = 'NO'", "qz_update"),
                               "application/x-www-form-urlencoded");
          (r && r->status == 200 && r->body == text::toAnsiString(kNoRowsText) ? good : bad)++;
        }
      }
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(good.load(), 160);
}

TEST(InProcessServer, StopBeforeRunAndTwice) {
  TempDir dir;
  ServerOptions options;
  options.dataDir = dir.path();
  {
    InProcessServer s(options);
    EXPECT_GT(s.port(), 0);
    EXPECT_EQ(rawGet(s.port(), "/x").status, 404);
    s.server().stop();
    s.server().stop();
  }
  veltrano::server::HttpServer never(options);
  never.stop();
  never.run();  // returns at once: stop came first
}

TEST(SampleData, CatalogueFilesAndAddress) {
  TempDir dir;
  makeSampleData(dir.path(), "127.0.0.1:45678");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir / "db/qz_update.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  auto scalar = [&](const char* sql) {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sql;
    std::string v;
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return v;
  };
  EXPECT_EQ(scalar("select count(*) from qz_product"), "3");
  EXPECT_EQ(scalar("select count(*) from qz_product where productcode = 'Meridox'"), "0");
  EXPECT_EQ(scalar("select count(*) from qz_files where sourcepath not like '127.0.0.1:45678/FILES/%'"), "0");
  EXPECT_EQ(scalar("select count(*) from qz_files where upper(filename) = 'README.TXT'"), "2");
  EXPECT_EQ(scalar("select filename from qz_files where addreg = '1'"), "tarvicsample.dll");
  // The catalogue's columns in the positions the updater reads.
  EXPECT_EQ(scalar("select group_concat(name) from pragma_table_info('qz_files')"),
            "productcode,filename,sourcepath,downloadpath,addreg,version,memo,productkey");
  EXPECT_EQ(scalar("select group_concat(name) from (select name from pragma_table_info('qz_product') limit 3)"),
            "productcode,productkey,productname");
  sqlite3_close(db);

  // Every listed file is there below files/, under its source path.
  for (const char* f : {"FILES/TARVIC/README.TXT", "FILES/TARVIC/tarvic.exe", "FILES/TARVIC/tarvicsample.dll",
                        "FILES/TVACCT/README.TXT", "FILES/TVACCT/tvacct.exe", "FILES/TVSMS/tvsms.exe"})
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "files" / f)) << f;
  EXPECT_NE(readFile(dir.path() / "files/FILES/TARVIC/tarvicsample.dll").find("Placeholder"), std::string::npos);

  // A given registrable file is published as it is; a bad address is refused.
  const std::string library = patternBytes(3000);
  writeFile(dir / "lib.so", library);
  makeSampleData(dir.path(), "localhost:8080", (dir / "lib.so").string());
  EXPECT_TRUE(readFile(dir.path() / "files/FILES/TARVIC/tarvicsample.dll") == library);
  const auto bad = run("'" + builtProgram("server/make-sample-data").string() + "' '" +
                       dir.path().string() + "' \"x'; drop table qz_files; --:1\" 2>&1");
  EXPECT_EQ(bad.exitCode, 2);
}

// The sample data in SQLite files and in MariaDB (as the loader puts it there) give the same
// reply bytes, form for form; and the loader's SELECT-only account cannot write.
TEST(SampleData, BothBackendsGiveTheSameReplies) {
  TempDir dir;
  const std::string host = "127.0.0.1:45678";
  makeSampleData(dir.path(), host);
  MariadbInstance mariadb(dir.path() / "mariadb");
  loadSampleMariadb(mariadb, host);

  const veltrano::server::DatabaseCatalog::Limits limits{5, std::chrono::seconds(30), 64u << 20};
  const veltrano::server::SqliteCatalog sqlite(dir.path() / "db", false, limits);
  veltrano::server::MariadbCatalog::Settings settings;
  settings.address = mariadb.socketAddress("veltrano_ro");
  settings.password = kSamplePassword;
  const veltrano::server::MariadbCatalog maria(settings, false, limits);

  for (const char* sql : {
           "select * from qz_product",
           "select  productcode,filename,sourcepath,downloadpath,addreg,version,memo,productkey "
           "from qz_files where productkey='TARVIC' order by filename",
           "select * from qz_files order by productkey, filename",
           "select productcode, count(*) as n from qz_files group by productcode order by productcode",
           "select productname as \"제품 이름\", sortorder * 1.5 as half, null as none_here "
           "from qz_product order by sortorder",
           "select sum(sortorder), avg(sortorder), max(version), min(productcode) from qz_product",
           "select * from qz_product where productcode = '없는제품'",
           "delete from qz_files",  // refused by the server, the same way
           "select * from qz_files",  // more rows than the limit
       }) {
    const std::string form = queryForm(sql, "qz_update");
    const veltrano::server::Reply a = veltrano::server::QueryService(sqlite).answer(form);
    const veltrano::server::Reply b = veltrano::server::QueryService(maria).answer(form);
    EXPECT_EQ(a.status, b.status) << sql;
    EXPECT_EQ(text::fromAnsi(a.body), text::fromAnsi(b.body)) << sql;
  }

  auto request = [](std::vector<std::pair<std::string, Variant>> fields) {
    return veltrano::server::RecordsetFields{std::move(fields)};
  };
  const struct {
    const char* page;
    veltrano::server::RecordsetFields fields;
  } data[] = {
      {"", request({{"SQL", Variant("select * from customer order by custno")}, {"DATABASE", Variant("tarvic")}})},
      {"", request({{"SQL", Variant("select * from document")}, {"DATABASE", Variant("TARVIC")}})},
      {"CUSTOMER_GET", request({{"DATABASE", Variant("tarvic")}, {"CUSTNO", Variant("2")}})},
      {"customer_list", request({{"DATABASE", Variant("tarvic")}, {"REGION", Variant("서울")}})},
      {"CUSTOMER_LIST", request({{"DATABASE", Variant("tarvic")}, {"REGION", Variant("제주")}})},
      {"CUSTOMER_GET", request({{"DATABASE", Variant("tarvic")}})},  // :CUSTNO without a value
      {"CUSTOMER_ADD", request({{"DATABASE", Variant("tarvic")}, {"NAME", Variant("x")},
                                {"PHONE", Variant("1")}, {"REGION", Variant("2")}})},  // refused
  };
  for (const auto& d : data) {
    const veltrano::server::Reply a = veltrano::server::DataService(sqlite).answer(d.page, d.fields);
    const veltrano::server::Reply b = veltrano::server::DataService(maria).answer(d.page, d.fields);
    EXPECT_EQ(a.status, b.status) << d.page;
    EXPECT_EQ(a.body, b.body) << d.page;
  }

  // The SELECT-only account, the server's own refusal bypassed: the database refuses.
  const veltrano::server::MariadbCatalog unguarded(settings, true, limits);
  try {
    unguarded.run("qz_update", "delete from qz_files");
    ADD_FAILURE();
  } catch (const veltrano::server::StatementError& e) {
    EXPECT_EQ(e.kind(), veltrano::server::StatementError::Kind::Refused);
    EXPECT_EQ(e.code(), 1142) << e.what();
  }
  EXPECT_EQ(mariadb.scalar("select count(*) from qz_update.qz_files"), "6");
}

// MariaDB restarted while clients keep asking: the program answers with error texts while the
// database is away and with rows again once it is back, without being restarted itself.
TEST_F(ServerProgramTest, RecoversWhenMariadbRestarts) {
  start({"--db-connections", "4"}, Backend::Mariadb);
  const std::string rows = "select productcode from qz_product order by productcode";
  auto ask = [&] {
    httplib::Client client("127.0.0.1", port());
    client.set_read_timeout(40);
    const auto r = client.Post("/client/mysqlservice.asp", queryForm(rows, "qz_update"),
                               "application/x-www-form-urlencoded");
    return r ? text::fromAnsi(r->body) : std::string("no reply");
  };
  ASSERT_EQ(ask().rfind(std::string(kStylesheetLine), 0), 0u);

  std::atomic<bool> done{false};
  std::atomic<int> answered{0}, failures{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c)
    clients.emplace_back([&] {
      while (!done) {
        const std::string reply = ask();
        if (reply.rfind(std::string(kStylesheetLine), 0) == 0) ++answered;
        else if (reply.rfind("[에러번호] ", 0) == 0) ++failures;
        else ADD_FAILURE() << reply;
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  mariadb_->stop(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  mariadb_->start();

  // Back within a bounded time, every client.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int inARow = 0;
  while (inARow < 10 && std::chrono::steady_clock::now() < deadline) {
    inARow = ask().rfind(std::string(kStylesheetLine), 0) == 0 ? inARow + 1 : 0;
    if (inARow == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  done = true;
  for (auto& t : clients) t.join();
  EXPECT_EQ(inARow, 10);
  EXPECT_GT(answered.load(), 0);
  EXPECT_GT(failures.load(), 0);  // while it was away: error texts, not silence
  EXPECT_TRUE(veltrano::test::processRunning(server_->pid()));
}

// The MariaDB password from the file (before the environment); a wrong one stops the program
// at start with MariaDB's reason.
TEST_F(ServerProgramTest, TakesTheMariadbPasswordFromItsFileAndRefusesAWrongOne) {
  TestSchemas schemas;
  const std::string db = schemas.create("qz_update", "create table qz_product (productcode text);"
                                                     "insert into qz_product values ('TARVIC')");
  const std::string user = schemas.account("ro", "SELECT", "right one");
  const std::string url = "mariadb://" + user + "@localhost/?socket=" + schemas.server().socket();
  writeFile(dir_ / "pw", "right one\n");
  const ScopedEnv wrong("VELTRANO_SERVER_DB_PASSWORD", "wrong one");
  {
    ServerProcess refused({"--data", dir_.path().string(), "--database", url});
    EXPECT_FALSE(refused.started());
    EXPECT_EQ(refused.stop(SIGTERM), 1);
    EXPECT_NE(refused.errorOutput().find("Access denied"), std::string::npos) << refused.errorOutput();
  }
  ServerProcess good({"--data", dir_.path().string(), "--database", url, "--database-password-file",
                      (dir_ / "pw").string()});
  ASSERT_TRUE(good.started()) << good.errorOutput();
  httplib::Client client("127.0.0.1", good.port());
  const auto r = client.Post("/client/mysqlservice.asp", queryForm("select * from qz_product", db),
                             "application/x-www-form-urlencoded");
  ASSERT_TRUE(r);
  EXPECT_NE(r->body.find("TARVIC"), std::string::npos) << r->body;
}
