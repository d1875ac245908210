// What only the MariaDB catalogue does: accounts and their rights, the session it sets up, the
// mapping of MariaDB's types, its pool of connections, and dropped connections. The replies it
// shares with SQLite are tested on both in database_tests.cpp and the service tests.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "backends.h"
#include "server/mariadb_catalog.h"

using namespace veltrano::server;
using veltrano::Bytes;
using veltrano::Variant;
using veltrano::test::Backend;
using veltrano::test::TestDatabases;
using Kind = StatementError::Kind;
using Clock = std::chrono::steady_clock;

namespace {

class MariadbCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop_ = dbs_.create("shop",
                        "create table item (id integer primary key, name varchar(40), qty integer);"
                        "insert into item values (1, '사과', 3), (2, 'pear', 0);"
                        "create table log (x integer);");
  }
  StatementError errorOf(const DatabaseCatalog& c, const std::string& sql) const {
    try {
      c.run(shop_, sql);
    } catch (const StatementError& e) {
      return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return StatementError(Kind::Statement, 0, "");
  }
  MariadbCatalog catalog(const std::string& user, bool writable, std::size_t connections = 4,
                         DatabaseCatalog::Limits limits = {}) const {
    MariadbCatalog::Settings s;
    // root on the socket (it has no account on 127.0.0.1), the test's accounts over TCP
    s.address = user == "root" ? dbs_.mariadbServer().socketAddress(user)
                               : dbs_.mariadbServer().tcpAddress(user);
    s.password = user == "root" ? "" : "pw";
    s.connections = connections;
    return MariadbCatalog(s, writable, limits);
  }
  // Kills the server's connections of `user` (as a restart or an administrator would).
  void killConnectionsOf(const std::string& user, const std::string& running = "") const {
    auto& server = dbs_.mariadbServer();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      const std::string ids = server.scalar(
          "select group_concat(id) from information_schema.processlist where user = '" + user +
          "'" + (running.empty() ? "" : " and info like '%" + running + "%'"));
      if (!ids.empty()) {
        std::size_t from = 0;
        while (from < ids.size()) {
          const std::size_t comma = std::min(ids.find(',', from), ids.size());
          try {
            server.execute("KILL CONNECTION " + ids.substr(from, comma - from));
          } catch (...) {
          }
          from = comma + 1;
        }
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no connection of " << user << " running " << running;
  }

  TestDatabases dbs_{Backend::Mariadb};
  std::string shop_;
};

}  // namespace

TEST_F(MariadbCatalogTest, TheSelectOnlyAccountRefusesWritesAtTheDatabase) {
  const std::string reader = dbs_.schemas().account("ro", "SELECT", "pw");
  // The server's own refusal bypassed: a writable catalogue on the SELECT-only account.
  const MariadbCatalog c = catalog(reader, true);
  for (const char* sql : {"insert into item(id) values (9)", "update item set qty = 1",
                          "delete from item", "create table t (x integer)", "drop table item"}) {
    const StatementError e = errorOf(c, sql);
    EXPECT_EQ(e.kind(), Kind::Refused) << sql;
    EXPECT_EQ(e.code(), 1142) << sql << ": " << e.what();  // ER_TABLEACCESS_DENIED_ERROR
  }
  EXPECT_EQ(c.run(shop_, "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
  // Other schemas are not even there for it.
  const StatementError other = [&] {
    try {
      c.run("mysql", "select 1");
    } catch (const StatementError& e) {
      return e;
    }
    return StatementError(Kind::Statement, 0, "");
  }();
  EXPECT_EQ(other.kind(), Kind::NoDatabase);
  EXPECT_EQ(other.code(), 1044);
}

TEST_F(MariadbCatalogTest, ReadOnlySessionsAreASecondWall) {
  const std::string writer = dbs_.schemas().account("rw", "ALL", "pw");
  const MariadbCatalog c = catalog(writer, false);
  EXPECT_EQ(c.run(shop_, "select @@session.tx_read_only").rows[0][0], Variant(std::int64_t{1}));
  EXPECT_EQ(catalog(writer, true).run(shop_, "select @@session.tx_read_only").rows[0][0],
            Variant(std::int64_t{0}));
  // The server's refusal says what it could not show to only read.
  StatementError e = errorOf(c, "select get_lock('x', 0)");
  EXPECT_EQ(e.kind(), Kind::Refused);
  EXPECT_EQ(e.code(), 8);
  EXPECT_NE(std::string(e.what()).find("GET_LOCK()"), std::string::npos) << e.what();
  // A stored function that writes: refused by the server, or by the read-only session first
  // (MariaDB sees the write when it prepares the statement).
  dbs_.execute(shop_, "create function bump() returns int modifies sql data "
                      "begin insert into log values (1); return 1; end");
  e = errorOf(c, "select bump()");
  EXPECT_EQ(e.kind(), Kind::Refused);
  EXPECT_TRUE(e.code() == 8 || e.code() == 1792) << e.code() << " " << e.what();
  EXPECT_EQ(dbs_.scalar(shop_, "select count(*) from log"), "0");
  // Files on either side stay out of reach.
  EXPECT_EQ(errorOf(c, "select load_file('/etc/passwd')").kind(), Kind::Refused);
  EXPECT_EQ(errorOf(c, "select * from item into outfile '/tmp/veltrano-x'").kind(), Kind::Refused);
  EXPECT_EQ(errorOf(catalog(writer, true), "load data local infile '/etc/hostname' into table log").kind(),
            Kind::Statement);
  EXPECT_EQ(dbs_.scalar(shop_, "select count(*) from log"), "0");
}

TEST_F(MariadbCatalogTest, SessionsCompareExactlyAndReadQuotesAsSqliteDoes) {
  const auto c = dbs_.catalog(false);
  const ResultSet rs = c->run(shop_, R"(select 'a' = 'A', 'a ' = 'a', '{APPPATH}\', 'a' || 'b')");
  EXPECT_EQ(rs.rows[0][0], Variant(std::int64_t{0}));
  EXPECT_EQ(rs.rows[0][1], Variant(std::int64_t{0}));
  EXPECT_EQ(rs.rows[0][2], Variant("{APPPATH}\\"));
  EXPECT_EQ(rs.rows[0][3], Variant("ab"));
}

TEST_F(MariadbCatalogTest, TypesMapToColumnKinds) {
  dbs_.execute(shop_, R"(
    create table types (
      ti tinyint, si smallint, mi mediumint, i int, bi bigint, ubi bigint unsigned, y year,
      b bit(12), f float, d double, dec2 decimal(10,2), dec0 decimal(30,0),
      dt date, tm time, tm3 time(3), dtm datetime, dtm2 datetime(2), ts timestamp null,
      c char(5), vc varchar(10), t text, lt longtext, e enum('a','b'), j json,
      bin binary(3), vb varbinary(8), bl blob, lb longblob);
    insert into types values (
      -1, 300, 70000, 2147483647, 5000000000, 18446744073709551615, 2024,
      b'101000000001', 1.5, 0.1, 1234.50, 123456789012345678901234567890,
      '2024-03-01', '-838:59:59', '13:05:00.250', '2024-03-01 13:05:00', '2024-03-01 13:05:00.25',
      '1999-12-31 23:59:59', 'ab', '한글', 'long text', '', 'b', '{"a": 1}',
      x'000102', x'ff', x'00', x'01020304');)");
  const ResultSet rs = dbs_.catalog(false)->run(shop_, "select * from types");
  ASSERT_EQ(rs.rows.size(), 1u);
  const auto& row = rs.rows[0];
  const struct {
    const char* column;
    ColumnKind kind;
    Variant value;
  } expected[] = {
      {"ti", ColumnKind::Integer, Variant(std::int64_t{-1})},
      {"si", ColumnKind::Integer, Variant(std::int64_t{300})},
      {"mi", ColumnKind::Integer, Variant(std::int64_t{70000})},
      {"i", ColumnKind::Integer, Variant(std::int64_t{2147483647})},
      {"bi", ColumnKind::BigInt, Variant(std::int64_t{5000000000})},
      {"ubi", ColumnKind::Double, Variant(18446744073709551615.0)},
      {"y", ColumnKind::Integer, Variant(std::int64_t{2024})},
      {"b", ColumnKind::Integer, Variant(std::int64_t{0xA01})},
      {"f", ColumnKind::Double, Variant(1.5)},
      {"d", ColumnKind::Double, Variant(0.1)},
      {"dec2", ColumnKind::Double, Variant(1234.5)},
      {"dec0", ColumnKind::Double, Variant(123456789012345678901234567890.0)},  // beyond 64 bits
      {"dt", ColumnKind::Text, Variant("2024-03-01")},
      {"tm", ColumnKind::Text, Variant("-838:59:59")},
      {"tm3", ColumnKind::Text, Variant("13:05:00.250")},
      {"dtm", ColumnKind::Text, Variant("2024-03-01 13:05:00")},
      {"dtm2", ColumnKind::Text, Variant("2024-03-01 13:05:00.25")},
      {"ts", ColumnKind::Text, Variant("1999-12-31 23:59:59")},
      {"c", ColumnKind::Text, Variant("ab")},
      {"vc", ColumnKind::Text, Variant("한글")},
      {"t", ColumnKind::Text, Variant("long text")},
      {"lt", ColumnKind::Text, Variant("")},
      {"e", ColumnKind::Text, Variant("b")},
      {"j", ColumnKind::Text, Variant("{\"a\": 1}")},
      {"bin", ColumnKind::Blob, Variant(Bytes{0, 1, 2})},
      {"vb", ColumnKind::Blob, Variant(Bytes{0xFF})},
      {"bl", ColumnKind::Blob, Variant(Bytes{0})},
      {"lb", ColumnKind::Blob, Variant(Bytes{1, 2, 3, 4})},
  };
  ASSERT_EQ(rs.columns.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(rs.columns[i].name, expected[i].column);
    EXPECT_EQ(rs.columns[i].kind, expected[i].kind) << expected[i].column;
    EXPECT_EQ(row[i], expected[i].value) << expected[i].column << ": " << row[i].toString();
  }
  // Declared sizes of text columns, as SQLite takes them from VARCHAR(n): CHAR and VARCHAR only.
  EXPECT_EQ(rs.columns[18].definedSize, 5u);
  EXPECT_EQ(rs.columns[19].definedSize, 10u);
  EXPECT_EQ(rs.columns[20].definedSize, 9u);  // TEXT: its longest value
  // A DECIMAL without decimals within 64 bits is a whole number (SUM of integers is one).
  const ResultSet sum = dbs_.catalog(false)->run(shop_, "select sum(qty), avg(qty) from item");
  EXPECT_EQ(sum.columns[0].kind, ColumnKind::Integer);
  EXPECT_EQ(sum.rows[0][0], Variant(std::int64_t{3}));
  EXPECT_EQ(sum.columns[1].kind, ColumnKind::Double);
  EXPECT_EQ(sum.rows[0][1], Variant(1.5));
  // No value: kinds by the column types.
  const ResultSet none = dbs_.catalog(false)->run(shop_, "select bi, dec2, dec0, dtm, vb from types where 0");
  EXPECT_EQ(none.columns[0].kind, ColumnKind::Integer);
  EXPECT_EQ(none.columns[1].kind, ColumnKind::Double);
  EXPECT_EQ(none.columns[2].kind, ColumnKind::Integer);
  EXPECT_EQ(none.columns[3].kind, ColumnKind::Text);
  EXPECT_EQ(none.columns[4].kind, ColumnKind::Blob);
}

TEST_F(MariadbCatalogTest, LongValuesComeWhole) {
  const auto c = dbs_.catalog(true);
  const std::string text(100000, 'x');
  const Bytes bytes(70000, 0xAB);
  StatementParameters p;
  p.firstAnonymous = Variant(bytes);
  dbs_.execute(shop_, "create table doc (t longtext, b longblob)");
  c->run(shop_, "insert into doc values (repeat('x', 100000), ?)", p);
  const ResultSet rs = c->run(shop_, "select t, b, '한' || t from doc");
  EXPECT_EQ(rs.rows[0][0], Variant(text));
  EXPECT_EQ(rs.rows[0][1], Variant(bytes));
  EXPECT_EQ(rs.rows[0][2].str().size(), text.size() + 3);
  EXPECT_EQ(rs.columns[2].definedSize, text.size() + 1);
}

TEST_F(MariadbCatalogTest, AResultOverALimitIsStoppedAndItsConnectionClosed) {
  const MariadbCatalog c = catalog("root", false, 4, {10, std::chrono::seconds(30), 64u << 20});
  c.run(shop_, "select 1");
  EXPECT_EQ(c.openConnections(), 1u);
  // A million rows: stopped at the eleventh; the connection is closed, not drained and kept.
  const StatementError e = errorOf(c,
      "with recursive n(x) as (select 1 union all select x + 1 from n where x < 1000) "
      "select a.x, repeat('y', 200) from n a, n b");
  EXPECT_EQ(e.code(), 18);
  EXPECT_EQ(c.openConnections(), 0u);
  EXPECT_EQ(c.run(shop_, "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
}

TEST_F(MariadbCatalogTest, ConnectionsArePooledAndAWorkerWaitsForAFreeOne) {
  const MariadbCatalog c = catalog("root", false, 2);
  std::vector<std::thread> workers;
  std::atomic<int> good{0};
  for (int i = 0; i < 6; ++i)
    workers.emplace_back([&] {
      try {
        if (c.run(shop_, "select sleep(0.2), count(*) from item").rows[0][1] == Variant(std::int64_t{2})) ++good;
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    });
  for (auto& w : workers) w.join();
  EXPECT_EQ(good.load(), 6);
  EXPECT_EQ(c.openConnections(), 2u);
}

TEST_F(MariadbCatalogTest, ADroppedConnectionIsReopened) {
  const std::string user = dbs_.schemas().account("rw", "ALL", "pw");
  const MariadbCatalog c = catalog(user, true, 2);
  EXPECT_EQ(c.run(shop_, "select count(*) from item").rows[0][0], Variant(std::int64_t{2}));
  killConnectionsOf(user);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A write on the idle connection the server closed goes out on a new one.
  EXPECT_EQ(c.run(shop_, "insert into log values (1)").rows[0][0], Variant(std::int64_t{1}));
  EXPECT_EQ(dbs_.scalar(shop_, "select count(*) from log"), "1");
}

TEST_F(MariadbCatalogTest, AReadIsTriedAgainButAWriteNeverRunsTwice) {
  const std::string user = dbs_.schemas().account("rw", "ALL", "pw");
  const MariadbCatalog c = catalog(user, true, 2);

  // The connection dropped while the read ran: run again on a fresh one. The statements sleep
  // long enough for the killer to find them however busy the machine is; the kill ends the wait.
  std::thread killer([&] { killConnectionsOf(user, "sleep(1.5)"); });
  const ResultSet read = c.run(shop_, "select sleep(1.5), 7");
  killer.join();
  EXPECT_EQ(read.rows[0][1], Variant(std::int64_t{7}));

  // The connection dropped after a write was sent: it fails, and is not sent again.
  std::thread killer2([&] { killConnectionsOf(user, "sleep(5)"); });
  const StatementError e = errorOf(c, "insert into log select sleep(5)");
  killer2.join();
  EXPECT_EQ(e.kind(), Kind::Statement);
  EXPECT_TRUE(e.code() == 1927 || e.code() == 2013) << e.code() << " " << e.what();
  EXPECT_NE(std::string(e.what()).find("may have run"), std::string::npos) << e.what();
  EXPECT_EQ(dbs_.scalar(shop_, "select count(*) from log"), "0");
  EXPECT_EQ(c.run(shop_, "select count(*) from log").rows[0][0], Variant(std::int64_t{0}));
}

TEST_F(MariadbCatalogTest, UnreachableServersAndRefusedAccountsAreErrors) {
  MariadbCatalog::Settings nowhere;
  nowhere.address = {"root", "127.0.0.1", 1, ""};
  try {
    MariadbCatalog(nowhere, false, {}).run(shop_, "select 1");
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.code(), 2002) << e.what();
    EXPECT_NE(std::string(e.what()).find("cannot reach"), std::string::npos) << e.what();
  }
  const std::string user = dbs_.schemas().account("ro", "SELECT", "right");
  try {
    catalog(user, false).connect();  // with the password "pw"
    ADD_FAILURE();
  } catch (const StatementError& e) {
    EXPECT_EQ(e.code(), 1045) << e.what();  // ER_ACCESS_DENIED_ERROR
  }
}
