#include <gtest/gtest.h>

#include <filesystem>

#include "backends.h"
#include "server/data_service.h"
#include "server/rowset.h"
#include "support/test_support.h"

using namespace veltrano::server;
using veltrano::Bytes;
using veltrano::Variant;
namespace fs = std::filesystem;

namespace {

// The data service on each backend (DataServiceTest/.../Sqlite and .../Mariadb).
class DataServiceTest : public ::testing::TestWithParam<veltrano::test::Backend> {
 protected:
  void SetUp() override {
    const std::string sql = R"(
        create table doc (id integer primary key, title text, content blob);
        insert into doc values (1, '계약서', x'0102');
        create table qz_pages (page text primary key collate nocase, statement text);
        insert into qz_pages values ('DOC_GET', 'select title, content from doc where id = :ID');
        insert into qz_pages values ('DOC_ADD', 'insert into doc(id, title) values(:ID, :TITLE)');
      )";
    std::string mariadb = sql;
    mariadb.replace(mariadb.find("page text primary key collate nocase"),
                    std::string("page text primary key collate nocase").size(),
                    "page varchar(64) primary key");
    db_ = dbs_.create("orvex", sql, mariadb);
  }
  Reply ask(const std::string& page, RecordsetFields request, bool writable = false) const {
    for (auto& [name, value] : request.fields)
      if (name == "DATABASE" && value.isString() && value.str() == "orvex") value = Variant(db_);
    return DataService(*dbs_.catalog(writable)).answer(page, request);
  }
  // The value of one cell, read straight from the database.
  std::string cell(const std::string& sql) const { return dbs_.scalar(db_, sql); }

  veltrano::test::TestDatabases dbs_{GetParam()};
  std::string db_;
};

INSTANTIATE_TEST_SUITE_P(Backends, DataServiceTest, veltrano::test::kBothBackends,
                         veltrano::test::backendName);

// A data-path request on the database "orvex" (ask() puts in the test's own name).
RecordsetFields sqlRequest(const std::string& sql, Variant bytes = Variant(veltrano::Null)) {
  return RecordsetFields{{{"SQL", Variant(sql)}, {"DATABASE", Variant("orvex")}, {"BYTESDATA", bytes}}};
}

}  // namespace

TEST_P(DataServiceTest, BytesDataIsBoundToTheFirstQuestionMark) {
  // As bytes, and as the hex text an adVariant byte array becomes in a saved recordset.
  Reply r = ask("", sqlRequest("update doc set content = ? where id = 1", Variant(Bytes{0, 0xFF, 7})), true);
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(cell("select content from doc where id = 1"), std::string("\0\xFF\x07", 3));
  r = ask("", sqlRequest("update doc set content = ? where id = 1", Variant("0a0B\r\n\t ff")), true);
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(cell("select content from doc where id = 1"), "\x0A\x0B\xFF");

  r = ask("", sqlRequest("update doc set content = ? where id = 1", Variant("xyz")), true);
  EXPECT_EQ(r.status, 400);
  r = ask("", sqlRequest("update doc set content = ? where id = 1", Variant("abc")), true);
  EXPECT_EQ(r.status, 400);  // odd number of digits
  EXPECT_EQ(cell("select content from doc where id = 1"), "\x0A\x0B\xFF");
}

TEST_P(DataServiceTest, StatementErrorsAre200WithTheErrorPrefix) {
  const Reply r = ask("", sqlRequest("select * from 없는표"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.rfind(dbs_.pick<std::string>("[에러번호] 1 : ", "[에러번호] 1146 : "), 0), 0u) << r.body;
  EXPECT_NE(r.body.find("없는표"), std::string::npos);  // UTF-8, Korean intact
  EXPECT_NE(r.contentType.find("utf-8"), std::string::npos);
  // A payload with no place in the statement is an error, not dropped data.
  const Reply lost = ask("", sqlRequest("select 1", Variant(Bytes{1})));
  EXPECT_EQ(lost.body.rfind("[에러번호] 25 : ", 0), 0u) << lost.body;
  const Reply noDb = ask("", RecordsetFields{{{"SQL", Variant("select 1")}, {"DATABASE", Variant("none")}}});
  EXPECT_EQ(noDb.status, 200);
  EXPECT_EQ(noDb.body.rfind(dbs_.pick<std::string>("[에러번호] 14 : ", "[에러번호] 1049 : "), 0), 0u)
      << noDb.body;
}

TEST_P(DataServiceTest, RefusalsAndUnreadableRequests) {
  Reply r = ask("", sqlRequest("delete from doc"));
  EXPECT_EQ(r.status, 403);
  EXPECT_EQ(r.body.rfind("[에러번호] 8 : ", 0), 0u);
  EXPECT_EQ(cell("select count(*) from doc"), "1");  // nothing deleted
  r = ask("", RecordsetFields{{{"SQL", Variant("select 1")}}});
  EXPECT_EQ(r.status, 400);
  r = ask("", RecordsetFields{{{"DATABASE", Variant("orvex")}}});
  EXPECT_EQ(r.status, 400);
  r = ask("NO_SUCH_PAGE", RecordsetFields{{{"DATABASE", Variant("orvex")}}});
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.body.rfind("[에러번호] ", 0), 0u);
  const auto catalog = dbs_.catalog(false);
  EXPECT_EQ(DataService(*catalog).answer("", "<xml/>").status, 400);
  EXPECT_EQ(DataService(*catalog).answer("", "").status, 400);
}

TEST_P(DataServiceTest, PagesBindTheirParametersByFieldName) {
  // EXECUTE sends DATABASE first, then one upper-cased field per parameter.
  Reply r = ask("doc_add", RecordsetFields{{{"DATABASE", Variant("orvex")}, {"ID", Variant("5")},
                                            {"TITLE", Variant("견적서")}}}, true);
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(cell("select title from doc where id = 5"), "견적서");

  r = ask("DOC_GET", RecordsetFields{{{"DATABASE", Variant("orvex")}}});
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.rfind("[에러번호] 25 : ", 0), 0u) << r.body;  // :ID has no field
}
