#include <gtest/gtest.h>

#include "platform/odbc/odbc.h"
#include "platform/runtime/error.h"
#include "support/test_support.h"

using namespace veltrano;

TEST(OdbcConnectionString, SqlServerStringMapsOntoTheDriver) {
  const std::string ole =
      "Provider=SQLOLEDB.1;Password=pw;x}y;Persist Security Info=True;User ID=sa;Initial Catalog=qz_update;"
      "Data Source=db.example";
  // The password holds a ";" in its value only up to the next ";": OLE DB reads "pw".
  EXPECT_EQ(odbc::connectionStringFor(ole, "FreeTDS"),
            "DRIVER={FreeTDS};SERVER=db.example;DATABASE=qz_update;UID=sa;PWD=pw;");
  EXPECT_EQ(odbc::connectionStringFor("Initial Catalog=qz_sms;Data Source=/srv/db;Password=a{b", "SQLite3"),
            "DRIVER={SQLite3};DATABASE=/srv/db/qz_sms.sqlite;PWD={a{b};");
  EXPECT_EQ(odbc::connectionStringFor("Data Source=h", ""), "DRIVER={FreeTDS};SERVER=h;DATABASE=;");
}

TEST(OdbcConnection, ReadsTypedRowsFromARealDatabase) {
  test::TempDir dir;
  const auto file = dir / "qz_update.sqlite";
  ASSERT_EQ(test::run("sqlite3 '" + file.string() +
                      "' \"create table t(i integer, r real, s text, b blob, n text);"
                      " insert into t values(7, 1.5, '한글 text', x'00ff10', null);\"")
                .exitCode,
            0);
  odbc::Connection c;
  c.open("DRIVER={SQLite3};DATABASE=" + file.string() + ";");
  ASSERT_TRUE(c.isOpen());
  const auto rs = c.execute("select i, r, s, b, n from t");
  ASSERT_EQ(rs.columns.size(), 5u);
  EXPECT_EQ(rs.columns[2].name, "s");
  ASSERT_EQ(rs.rows.size(), 1u);
  const auto& row = rs.rows[0];
  EXPECT_EQ(row[0].toInt32(), 7);
  EXPECT_DOUBLE_EQ(row[1].toDouble(), 1.5);
  EXPECT_EQ(row[2].toString(), "한글 text");
  EXPECT_EQ(row[3].toBytes(), (Bytes{0x00, 0xff, 0x10}));
  EXPECT_TRUE(row[4].isNull());
  EXPECT_TRUE(c.execute("update t set i = 8").rows.empty());
}

TEST(OdbcConnection, FailuresRaiseWithTheDriversText) {
  odbc::Connection c;
  try {
    c.open("DRIVER={No Such Driver};SERVER=x;");
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_FALSE(e.description().empty());
  }
  EXPECT_FALSE(c.isOpen());
  EXPECT_THROW(c.execute("select 1"), RuntimeError);
}
