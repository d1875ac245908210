#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "server/database.h"
#include "support/test_support.h"

using namespace veltrano::server;
using veltrano::Bytes;
using veltrano::Variant;
using veltrano::VarType;
using veltrano::test::TempDir;
namespace fs = std::filesystem;
using Kind = StatementError::Kind;

namespace {

void createDb(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  const std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "db");
    createDb(dir_.path() / "db" / "shop.sqlite", R"(
      create table item (id integer primary key, name varchar(40), price real, qty integer,
                         big integer, photo blob, note text);
      insert into item values (1, '사과', 1200.5, 3, 5000000000, x'00FF10', null);
      insert into item values (2, 'pear', 800, 0, 1, null, '');
      create table qz_pages (page text primary key, statement text);
      insert into qz_pages values ('ITEM_BY_NAME', 'select id, qty from item where name = :NAME');
      insert into qz_pages values ('ADD_ITEM', 'insert into item(id, name) values(:ID, :NAME)');
    )");
  }
  DatabaseCatalog catalog(bool writable = false, std::size_t maxRows = 1000,
                          std::chrono::milliseconds time = std::chrono::seconds(30)) const {
    return DatabaseCatalog(dir_.path() / "db", writable, {maxRows, time});
  }
  // The error a statement raises (fails the test when it runs).
  StatementError errorOf(const DatabaseCatalog& c, const std::string& sql,
                         const StatementParameters& p = {}) const {
    try {
      c.run("shop", sql, p);
    } catch (const StatementError& e) {
      return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return StatementError(Kind::Statement, 0, "");
  }

  TempDir dir_;
};

}  // namespace

TEST_F(DatabaseTest, ColumnKindsFollowTheValues) {
  const ResultSet rs = catalog().run("SHOP", "select * from item order by id");
  ASSERT_EQ(rs.columns.size(), 7u);
  ASSERT_EQ(rs.rows.size(), 2u);
  const std::vector<ColumnKind> kinds = {ColumnKind::Integer, ColumnKind::Text,
                                         ColumnKind::Double,  ColumnKind::Integer,
                                         ColumnKind::BigInt,  ColumnKind::Blob,
                                         ColumnKind::Text};
  for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(rs.columns[i].kind, kinds[i]) << i;
  EXPECT_EQ(rs.columns[1].name, "name");
  EXPECT_EQ(rs.columns[1].definedSize, 40u);  // declared varchar(40), values shorter
  EXPECT_EQ(rs.columns[5].definedSize, 3u);   // longest blob
  EXPECT_EQ(rs.columns[6].definedSize, 1u);   // only an empty text: still a size
  EXPECT_EQ(rs.rows[0][1], Variant("사과"));
  EXPECT_EQ(rs.rows[1][2], Variant(800.0));  // an integer in a real column becomes a double
  EXPECT_EQ(rs.rows[0][4], Variant(std::int64_t{5000000000}));
  EXPECT_EQ(rs.rows[0][5], Variant(Bytes{0x00, 0xFF, 0x10}));
  EXPECT_TRUE(rs.rows[1][5].isNull());
  EXPECT_TRUE(rs.rows[0][6].isNull());
  EXPECT_EQ(rs.rows[1][6], Variant(""));  // empty text is not NULL
}

TEST_F(DatabaseTest, MixedAndEmptyColumns) {
  const ResultSet mixed = catalog().run("shop", "select 1 union all select 'two' union all select 2.5");
  EXPECT_EQ(mixed.columns[0].kind, ColumnKind::Text);
  EXPECT_EQ(mixed.rows[0][0], Variant("1"));
  EXPECT_EQ(mixed.rows[2][0], Variant("2.5"));
  // No rows: kinds from the declared types; the columns are still there.
  const ResultSet none = catalog().run("shop", "select id, name, price, photo from item where 0");
  ASSERT_EQ(none.columns.size(), 4u);
  EXPECT_TRUE(none.rows.empty());
  EXPECT_EQ(none.columns[0].kind, ColumnKind::Integer);
  EXPECT_EQ(none.columns[1].kind, ColumnKind::Text);
  EXPECT_EQ(none.columns[2].kind, ColumnKind::Double);
  EXPECT_EQ(none.columns[3].kind, ColumnKind::Blob);
  // Text length counts characters, not bytes.
  EXPECT_EQ(catalog().run("shop", "select '가나다라마바사아자차카'").columns[0].definedSize, 11u);
}

TEST_F(DatabaseTest, ReadOnlyRefusesEveryKindOfChange) {
  const DatabaseCatalog c = catalog(false);
  for (const char* sql : {"insert into item(id) values (9)", "update item set qty = 1",
                          "delete from item", "create table t (x)", "drop table item",
                          "replace into item(id) values (1)", "pragma user_version = 5",
                          "with x as (select 1) insert into item(id) select 7 from x"}) {
    const StatementError e = errorOf(c, sql);
    EXPECT_EQ(e.kind(), Kind::Refused) << sql;
    EXPECT_EQ(e.code(), SQLITE_READONLY) << sql;
  }
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
}

TEST_F(DatabaseTest, WritableRunsChangesAndReportsRowsAffected) {
  const DatabaseCatalog c = catalog(true);
  const ResultSet rs = c.run("shop", "update item set qty = qty + 1");
  ASSERT_EQ(rs.columns.size(), 1u);
  EXPECT_EQ(rs.columns[0].name, "RowsAffected");
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{2}));
  EXPECT_EQ(c.run("shop", "select qty from item where id = 1").rows[0][0], Variant(std::int64_t{4}));
}

TEST_F(DatabaseTest, NothingReachesBeyondTheOneFile) {
  for (bool writable : {false, true}) {
    const DatabaseCatalog c = catalog(writable);
    const fs::path other = dir_.path() / "other.sqlite";
    EXPECT_EQ(errorOf(c, "attach database '" + other.string() + "' as o").kind(), Kind::Statement);
    EXPECT_EQ(errorOf(c, "vacuum into '" + other.string() + "'").kind(),
              writable ? Kind::Statement : Kind::Refused);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_EQ(errorOf(c, "select load_extension('/lib/x')").kind(), Kind::Statement);
  }
}

TEST_F(DatabaseTest, OneStatementPerRequest) {
  const DatabaseCatalog c = catalog(true);
  const StatementError e = errorOf(c, "select 1; delete from item");
  EXPECT_EQ(e.code(), SQLITE_MISUSE);
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
  // Trailing semicolons, blanks and comments are no second statement.
  EXPECT_EQ(c.run("shop", "select 1 ;  -- done\n ; /* end */").rows.size(), 1u);
  EXPECT_EQ(errorOf(c, "   ").code(), SQLITE_MISUSE);
  EXPECT_EQ(errorOf(c, "").code(), SQLITE_MISUSE);
}

TEST_F(DatabaseTest, StatementErrorsCarrySqliteCodeAndMessage) {
  const StatementError e = errorOf(catalog(), "select * from 없는표");
  EXPECT_EQ(e.kind(), Kind::Statement);
  EXPECT_EQ(e.code(), SQLITE_ERROR);
  EXPECT_NE(std::string(e.what()).find("없는표"), std::string::npos);
  EXPECT_EQ(errorOf(catalog(), "selec 1").code(), SQLITE_ERROR);
}

TEST_F(DatabaseTest, RowLimitIsAnErrorNotACut) {
  const DatabaseCatalog c = catalog(false, 2);
  EXPECT_EQ(c.run("shop", "select * from item").rows.size(), 2u);  // exactly the limit
  const StatementError e = errorOf(c, "select 1 union all select 2 union all select 3");
  EXPECT_EQ(e.code(), SQLITE_TOOBIG);
}

TEST_F(DatabaseTest, RunawayStatementsAreStopped) {
  const DatabaseCatalog c = catalog(false, 1000, std::chrono::milliseconds(50));
  const StatementError e = errorOf(c,
      "with recursive n(x) as (select 1 union all select x + 1 from n) "
      "select count(*) from n");
  EXPECT_EQ(e.code(), SQLITE_INTERRUPT);
}

TEST_F(DatabaseTest, UnknownAndInvalidDatabaseNames) {
  for (const char* name : {"nope", "../db/shop", "shop.sqlite", "", "a b", "db/shop"}) {
    try {
      catalog().run(name, "select 1");
      ADD_FAILURE() << name;
    } catch (const StatementError& e) {
      EXPECT_EQ(e.kind(), Kind::NoDatabase) << name;
      EXPECT_EQ(e.code(), SQLITE_CANTOPEN) << name;
    }
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "db" / "nope.sqlite"));  // never created
}

TEST_F(DatabaseTest, ParametersBindByPositionAndName) {
  const DatabaseCatalog c = catalog(true);
  StatementParameters blob;
  blob.firstAnonymous = Variant(Bytes{1, 2, 3, 0, 4});
  c.run("shop", "update item set photo = ? where id = 2", blob);
  EXPECT_EQ(c.run("shop", "select photo from item where id = 2").rows[0][0],
            Variant(Bytes{1, 2, 3, 0, 4}));

  StatementParameters named;
  named.named = {{"NAME", Variant("사과")}, {"unused", Variant(1)}};
  const ResultSet rs = c.run("shop", "select id from item where name = :name", named);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{1}));

  EXPECT_EQ(errorOf(c, "select * from item where id = ?").code(), SQLITE_RANGE);
  EXPECT_EQ(errorOf(c, "select * from item where id = :ID", named).code(), SQLITE_RANGE);
  EXPECT_EQ(errorOf(c, "select ?, ?", blob).code(), SQLITE_RANGE);  // only one value given
  // Data sent for a statement with no place for it is not dropped silently.
  EXPECT_EQ(errorOf(c, "update item set qty = 0", blob).code(), SQLITE_RANGE);
  StatementParameters empty;
  empty.firstAnonymous = Variant(Bytes{});
  EXPECT_NO_THROW(c.run("shop", "select 1", empty));
}

TEST_F(DatabaseTest, PagesComeFromQzPages) {
  const DatabaseCatalog c = catalog(true);
  StatementParameters p;
  p.named = {{"DATABASE", Variant("shop")}, {"NAME", Variant("pear")}};
  const ResultSet rs = c.runPage("shop", "item_by_name", p);
  ASSERT_EQ(rs.rows.size(), 1u);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{2}));

  p.named = {{"ID", Variant("7")}, {"NAME", Variant("귤")}};
  c.runPage("shop", "ADD_ITEM", p);
  EXPECT_EQ(c.run("shop", "select name from item where id = 7").rows[0][0], Variant("귤"));

  try {
    c.runPage("shop", "NO_SUCH_PAGE", p);
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.kind(), Kind::NoPage);
  }
  createDb(dir_.path() / "db" / "plain.sqlite", "create table t (x)");
  try {
    c.runPage("plain", "ANY", p);
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.kind(), Kind::NoPage);
  }
}

TEST_F(DatabaseTest, ReusedConnectionsSeeAReplacedFileAndKeepNoTransaction) {
  const DatabaseCatalog c = catalog(true);
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
  // The file replaced by another (as the sample script does): the new one is read.
  createDb(dir_.path() / "new.sqlite", "create table item (id integer); insert into item values (1);");
  fs::rename(dir_.path() / "new.sqlite", dir_.path() / "db" / "shop.sqlite");
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{1}));

  // A transaction begun by one request does not swallow the next: the insert is committed
  // and visible to another connection at once.
  c.run("shop", "begin");
  c.run("shop", "insert into item values (2)");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir_.path() / "db" / "shop.sqlite").c_str(), &other), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(other, "select count(*) from item", -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 2);
  sqlite3_finalize(st);
  sqlite3_close(other);

  // A read-only catalog on the same file in the same thread does not borrow the writable one.
  EXPECT_EQ(errorOf(catalog(false), "delete from item").kind(), Kind::Refused);
}

TEST_F(DatabaseTest, KeptStatementsStartAfreshOnEachCall) {
  // Each thread keeps compiled statements by text: a statement stopped midway (too many rows)
  // must start from its first row next time, with the new call's values.
  EXPECT_EQ(errorOf(catalog(false, 1), "select id from item where id >= ? order by id",
                    {Variant(std::int64_t{1}), {}})
                .code(),
            SQLITE_TOOBIG);
  const ResultSet rs = catalog(false, 10).run("shop", "select id from item where id >= ? order by id",
                                              {Variant(std::int64_t{1}), {}});
  ASSERT_EQ(rs.rows.size(), 2u);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{1}));
  // Text with a second statement is never kept, so it is refused every time.
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(errorOf(catalog(true), "select 1; delete from item").code(), SQLITE_MISUSE);
  EXPECT_EQ(catalog().run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
}

TEST_F(DatabaseTest, TextIsWellFormedUtf8AndResultsAreCappedInBytes) {
  const ResultSet rs = catalog().run("shop", "select cast(x'80ff41c3a9eda080e282' as text)");
  EXPECT_EQ(rs.rows[0][0], Variant("\xEF\xBF\xBD\xEF\xBF\xBD" "A\xC3\xA9"
                                   "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"));
  const DatabaseCatalog capped(dir_.path() / "db", false, {1000, std::chrono::seconds(30), 1000});
  EXPECT_EQ(capped.run("shop", "select zeroblob(900)").rows[0][0].bytes().size(), 900u);
  // One value too large is never made; many small ones are stopped once over.
  for (const char* sql : {"select zeroblob(2000)", "select hex(zeroblob(600))",
                          "select zeroblob(600) union all select zeroblob(600)"}) {
    try {
      capped.run("shop", sql);
      ADD_FAILURE() << "ran: " << sql;
    } catch (const StatementError& e) {
      EXPECT_EQ(e.code(), SQLITE_TOOBIG) << sql << ": " << e.what();
    }
  }
}
