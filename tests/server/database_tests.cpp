// The catalogues of databases, on both backends (DatabaseTest/.../Sqlite and .../Mariadb), and
// what only the SQLite files do (SqliteCatalogTest). MariaDB's own: mariadb_catalog_tests.cpp.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "backends.h"
#include "server/sqlite_catalog.h"
#include "support/test_support.h"

using namespace veltrano::server;
using veltrano::Bytes;
using veltrano::Variant;
using veltrano::VarType;
using veltrano::test::Backend;
using veltrano::test::TestDatabases;
namespace fs = std::filesystem;
namespace test = veltrano::test;
using Kind = StatementError::Kind;

namespace {

// The shop database in the words both backends read alike.
constexpr const char* kShop = R"(
  create table item (id integer primary key, name varchar(40), price real, qty integer,
                     big bigint, photo blob, note text);
  insert into item values (1, '사과', 1200.5, 3, 5000000000, x'00FF10', null);
  insert into item values (2, 'pear', 800, 0, 1, null, '');
  create table qz_pages (page varchar(64) primary key, statement text);
  insert into qz_pages values ('ITEM_BY_NAME', 'select id, qty from item where name = :NAME');
  insert into qz_pages values ('ADD_ITEM', 'insert into item(id, name) values(:ID, :NAME)');
)";

class DatabaseTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { shop_ = dbs_.create("shop", kShop); }

  std::unique_ptr<DatabaseCatalog> catalog(bool writable = false, std::size_t maxRows = 1000,
                                           std::chrono::milliseconds time = std::chrono::seconds(30),
                                           std::size_t maxBytes = 64u << 20) const {
    return dbs_.catalog(writable, {maxRows, time, maxBytes});
  }
  // The error a statement raises (fails the test when it runs).
  StatementError errorOf(const DatabaseCatalog& c, const std::string& sql,
                         const StatementParameters& p = {}) const {
    try {
      c.run(shop_, sql, p);
    } catch (const StatementError& e) {
      return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return StatementError(Kind::Statement, 0, "");
  }
  std::int64_t count(const DatabaseCatalog& c, const std::string& table = "item") const {
    return c.run(shop_, "select count(*) from " + table).rows[0][0].toInt64();
  }

  TestDatabases dbs_{GetParam()};
  std::string shop_;
};

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseTest, test::kBothBackends, test::backendName);

}  // namespace

TEST_P(DatabaseTest, ColumnKindsFollowTheValues) {
  // The name in any case: the lower-case name is the file or the schema.
  std::string upper = shop_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const ResultSet rs = catalog()->run(upper, "select * from item order by id");
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

TEST_P(DatabaseTest, MixedAndEmptyColumns) {
  const ResultSet mixed = catalog()->run(shop_, "select 1 union all select 'two' union all select 2.5");
  EXPECT_EQ(mixed.columns[0].kind, ColumnKind::Text);
  EXPECT_EQ(mixed.rows[0][0], Variant("1"));
  EXPECT_EQ(mixed.rows[2][0], Variant("2.5"));
  // No rows: kinds from the declared types; the columns are still there.
  const ResultSet none = catalog()->run(shop_, "select id, name, price, photo from item where 0");
  ASSERT_EQ(none.columns.size(), 4u);
  EXPECT_TRUE(none.rows.empty());
  EXPECT_EQ(none.columns[0].kind, ColumnKind::Integer);
  EXPECT_EQ(none.columns[1].kind, ColumnKind::Text);
  EXPECT_EQ(none.columns[2].kind, ColumnKind::Double);
  EXPECT_EQ(none.columns[3].kind, ColumnKind::Blob);
  // Text length counts characters, not bytes.
  EXPECT_EQ(catalog()->run(shop_, "select '가나다라마바사아자차카'").columns[0].definedSize, 11u);
}

TEST_P(DatabaseTest, ReadOnlyRefusesEveryKindOfChange) {
  const auto c = catalog(false);
  for (const char* sql : {"insert into item(id) values (9)", "update item set qty = 1",
                          "delete from item", "create table t (x integer)", "drop table item",
                          "replace into item(id) values (1)", "pragma user_version = 5",
                          "with x as (select 1) insert into item(id) select 7 from x"}) {
    const StatementError e = errorOf(*c, sql);
    // The last two are not MariaDB's SQL: it says so first, as SQLite would.
    const bool notMariadbs = dbs_.mariadb() && (sql[0] == 'p' || sql[0] == 'w');
    EXPECT_EQ(e.kind(), notMariadbs ? Kind::Statement : Kind::Refused) << sql;
    EXPECT_EQ(e.code(), notMariadbs ? 1064 : 8) << sql;
  }
  EXPECT_EQ(count(*c), 2);
}

TEST_P(DatabaseTest, WritableRunsChangesAndReportsRowsAffected) {
  const auto c = catalog(true);
  const ResultSet rs = c->run(shop_, "update item set qty = qty + 1");
  ASSERT_EQ(rs.columns.size(), 1u);
  EXPECT_EQ(rs.columns[0].name, "RowsAffected");
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{2}));
  EXPECT_EQ(c->run(shop_, "select qty from item where id = 1").rows[0][0], Variant(std::int64_t{4}));
  // Rows found count, changed or not, as SQLite counts them.
  EXPECT_EQ(c->run(shop_, "update item set qty = qty").rows[0][0], Variant(std::int64_t{2}));
}

TEST_P(DatabaseTest, OneStatementPerRequest) {
  const auto c = catalog(true);
  const StatementError e = errorOf(*c, "select 1; delete from item");
  EXPECT_EQ(e.code(), 21);
  EXPECT_EQ(count(*c), 2);
  // Trailing semicolons, blanks and comments are no second statement.
  EXPECT_EQ(c->run(shop_, "select 1 ;  -- done\n ; /* end */").rows.size(), 1u);
  EXPECT_EQ(errorOf(*c, "   ").code(), 21);
  EXPECT_EQ(errorOf(*c, "").code(), 21);
}

TEST_P(DatabaseTest, StatementErrorsCarryTheDatabasesNumberAndMessage) {
  const StatementError e = errorOf(*catalog(), "select * from 없는표");
  EXPECT_EQ(e.kind(), Kind::Statement);
  EXPECT_EQ(e.code(), dbs_.pick(1, 1146));  // SQLITE_ERROR; ER_NO_SUCH_TABLE
  EXPECT_NE(std::string(e.what()).find("없는표"), std::string::npos) << e.what();
  EXPECT_EQ(errorOf(*catalog(), "selec 1").code(), dbs_.pick(1, 1064));  // ER_PARSE_ERROR
}

TEST_P(DatabaseTest, RowLimitIsAnErrorNotACut) {
  const auto c = catalog(false, 2);
  EXPECT_EQ(c->run(shop_, "select * from item").rows.size(), 2u);  // exactly the limit
  const StatementError e = errorOf(*c, "select 1 union all select 2 union all select 3");
  EXPECT_EQ(e.code(), 18);
  EXPECT_EQ(c->run(shop_, "select id from item order by id").rows.size(), 2u);  // and on it goes
}

TEST_P(DatabaseTest, RunawayStatementsAreStopped) {
  const auto c = catalog(false, 1000, std::chrono::milliseconds(50));
  const StatementError e = errorOf(*c, dbs_.pick<std::string>(
      "with recursive n(x) as (select 1 union all select x + 1 from n) select count(*) from n",
      "with recursive n(x) as (select 1 union all select x + 1 from n where x < 1000) "
      "select count(*) from n a, n b, n c"));
  EXPECT_EQ(e.code(), 9);
  EXPECT_NE(std::string(e.what()).find("stopped"), std::string::npos) << e.what();
}

TEST_P(DatabaseTest, UnknownAndInvalidDatabaseNames) {
  for (const char* name : {"nope", "../db/shop", "shop.sqlite", "", "a b", "db/shop", "shop`x"}) {
    try {
      catalog()->run(name, "select 1");
      ADD_FAILURE() << name;
    } catch (const StatementError& e) {
      EXPECT_EQ(e.kind(), Kind::NoDatabase) << name;
      const bool valid = std::string(name) == "nope";
      EXPECT_EQ(e.code(), valid ? dbs_.pick(14, 1049) : 14) << name;  // ER_BAD_DB_ERROR
    }
  }
}

TEST_P(DatabaseTest, ParametersBindByPositionAndName) {
  const auto c = catalog(true);
  StatementParameters blob;
  blob.firstAnonymous = Variant(Bytes{1, 2, 3, 0, 4});
  c->run(shop_, "update item set photo = ? where id = 2", blob);
  EXPECT_EQ(c->run(shop_, "select photo from item where id = 2").rows[0][0],
            Variant(Bytes{1, 2, 3, 0, 4}));

  StatementParameters named;
  named.named = {{"NAME", Variant("사과")}, {"unused", Variant(1)}};
  ResultSet rs = c->run(shop_, "select id from item where name = :name", named);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{1}));
  // The same name twice is one parameter; @NAME and $NAME are parameters too.
  rs = c->run(shop_, "select id from item where name = :NAME or name = :name or name = @name or name = $name", named);
  ASSERT_EQ(rs.rows.size(), 1u);
  // Text that looks like a parameter inside quotes and comments is text.
  rs = c->run(shop_, "select ':name', '?' /* :name ? */", {});
  EXPECT_EQ(rs.rows[0][0], Variant(":name"));
  EXPECT_EQ(rs.rows[0][1], Variant("?"));

  EXPECT_EQ(errorOf(*c, "select * from item where id = ?").code(), 25);
  EXPECT_EQ(errorOf(*c, "select * from item where id = :ID", named).code(), 25);
  EXPECT_EQ(errorOf(*c, "select ?, ?", blob).code(), 25);  // only one value given
  // Data sent for a statement with no place for it is not dropped silently.
  EXPECT_EQ(errorOf(*c, "update item set qty = 0", blob).code(), 25);
  StatementParameters empty;
  empty.firstAnonymous = Variant(Bytes{});
  EXPECT_NO_THROW(c->run(shop_, "select 1", empty));
  // Values are bound, never pasted into the text.
  named.named = {{"NAME", Variant("x' or '1'='1")}};
  EXPECT_TRUE(c->run(shop_, "select id from item where name = :NAME", named).rows.empty());
}

TEST_P(DatabaseTest, PagesComeFromQzPages) {
  const auto c = catalog(true);
  StatementParameters p;
  p.named = {{"DATABASE", Variant(shop_)}, {"NAME", Variant("pear")}};
  const ResultSet rs = c->runPage(shop_, "item_by_name", p);
  ASSERT_EQ(rs.rows.size(), 1u);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{2}));

  p.named = {{"ID", Variant("7")}, {"NAME", Variant("귤")}};
  c->runPage(shop_, "ADD_ITEM", p);
  EXPECT_EQ(c->run(shop_, "select name from item where id = 7").rows[0][0], Variant("귤"));

  try {
    c->runPage(shop_, "NO_SUCH_PAGE", p);
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.kind(), Kind::NoPage);
  }
  const std::string plain = dbs_.create("plain", "create table t (x integer)");
  try {
    c->runPage(plain, "ANY", p);
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.kind(), Kind::NoPage);
  }
}

TEST_P(DatabaseTest, NoTransactionOutlivesACall) {
  const auto c = catalog(true);
  // A transaction begun by one request does not swallow the next: the insert is committed
  // and visible to another connection at once.
  c->run(shop_, "begin");
  c->run(shop_, "insert into item(id) values (3)");
  EXPECT_EQ(dbs_.scalar(shop_, "select count(*) from item"), "3");
  // A read-only catalogue on the same database does not borrow the writable one's connection.
  EXPECT_EQ(errorOf(*catalog(false), "delete from item").kind(), Kind::Refused);
}

TEST_P(DatabaseTest, KeptStatementsStartAfreshOnEachCall) {
  // Statements are kept compiled by text: a statement stopped midway (too many rows) must
  // start from its first row next time, with the new call's values.
  const auto one = catalog(false, 1);
  EXPECT_EQ(errorOf(*one, "select id from item where id >= ? order by id",
                    {Variant(std::int64_t{1}), {}})
                .code(),
            18);
  const ResultSet rs = one->run(shop_, "select id from item where id >= ? order by id",
                                {Variant(std::int64_t{2}), {}});
  ASSERT_EQ(rs.rows.size(), 1u);
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{2}));
  // Text with a second statement is never kept, so it is refused every time.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(errorOf(*catalog(true), "select 1; delete from item").code(), 21);
  EXPECT_EQ(count(*catalog()), 2);
}

TEST_P(DatabaseTest, ResultsAreCappedInBytes) {
  const auto capped = catalog(false, 1000, std::chrono::seconds(30), 1000);
  const std::string nineHundred = dbs_.pick<std::string>("hex(zeroblob(450))", "repeat('0', 900)");
  const std::string sixHundred = dbs_.pick<std::string>("hex(zeroblob(300))", "repeat('0', 600)");
  EXPECT_EQ(capped->run(shop_, "select " + nineHundred).rows[0][0].str().size(), 900u);
  // One value too large, and many small ones once over.
  for (const std::string& sql :
       {"select " + nineHundred + " || " + nineHundred,
        "select " + sixHundred + " union all select " + sixHundred}) {
    const StatementError e = errorOf(*capped, sql);
    EXPECT_EQ(e.code(), 18) << sql << ": " << e.what();
  }
  EXPECT_EQ(capped->run(shop_, "select 1").rows.size(), 1u);
}

// SQLite's own: the files, what lies beside them, and values SQLite makes.
class SqliteCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override { dbs_.create("shop", kShop); }
  SqliteCatalog catalog(bool writable = false, DatabaseCatalog::Limits limits = {1000}) const {
    return SqliteCatalog(dbs_.folder() / "db", writable, limits);
  }
  StatementError errorOf(const DatabaseCatalog& c, const std::string& sql) const {
    try {
      c.run("shop", sql);
    } catch (const StatementError& e) {
      return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return StatementError(Kind::Statement, 0, "");
  }
  TestDatabases dbs_{Backend::Sqlite};
};

TEST_F(SqliteCatalogTest, NothingReachesBeyondTheOneFile) {
  for (bool writable : {false, true}) {
    const SqliteCatalog c = catalog(writable);
    const fs::path other = dbs_.folder() / "other.sqlite";
    EXPECT_EQ(errorOf(c, "attach database '" + other.string() + "' as o").kind(), Kind::Statement);
    EXPECT_EQ(errorOf(c, "vacuum into '" + other.string() + "'").kind(),
              writable ? Kind::Statement : Kind::Refused);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_EQ(errorOf(c, "select load_extension('/lib/x')").kind(), Kind::Statement);
  }
  EXPECT_FALSE(fs::exists(dbs_.folder() / "db" / "nope.sqlite"));
  EXPECT_EQ(catalog().fileOf("SHOP"), dbs_.folder() / "db" / "shop.sqlite");
  EXPECT_FALSE(catalog().fileOf("../shop"));
}

TEST_F(SqliteCatalogTest, ReusedConnectionsSeeAReplacedFile) {
  const SqliteCatalog c = catalog(true);
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
  // The file replaced by another (as the sample script does): the new one is read.
  TestDatabases other(Backend::Sqlite);
  other.create("new", "create table item (id integer); insert into item values (1);");
  fs::rename(other.folder() / "db" / "new.sqlite", dbs_.folder() / "db" / "shop.sqlite");
  EXPECT_EQ(c.run("shop", "select count(*) from item").rows[0][0], Variant(std::int64_t{1}));
}

TEST_F(SqliteCatalogTest, TextIsWellFormedUtf8AndValuesTooLargeAreNeverMade) {
  const ResultSet rs = catalog().run("shop", "select cast(x'80ff41c3a9eda080e282' as text)");
  EXPECT_EQ(rs.rows[0][0], Variant("\xEF\xBF\xBD\xEF\xBF\xBD" "A\xC3\xA9"
                                   "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"));
  const SqliteCatalog capped = catalog(false, {1000, std::chrono::seconds(30), 1000});
  EXPECT_EQ(capped.run("shop", "select zeroblob(900)").rows[0][0].bytes().size(), 900u);
  for (const char* sql : {"select zeroblob(2000)", "select hex(zeroblob(600))",
                          "select zeroblob(600) union all select zeroblob(600)"})
    EXPECT_EQ(errorOf(capped, sql).code(), SQLITE_TOOBIG) << sql;
}
