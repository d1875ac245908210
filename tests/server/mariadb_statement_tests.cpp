// Statement text read as MariaDB reads it: one statement, its parameters, and whether it can
// be shown to only read. Pure: no server.

#include <gtest/gtest.h>

#include "server/database.h"
#include "server/mariadb_statement.h"

using namespace veltrano::server;

namespace {

int errorCode(const std::string& sql) {
  try {
    readMariadbStatement(sql);
  } catch (const StatementError& e) {
    return e.code();
  }
  return 0;
}

}  // namespace

TEST(MariadbStatement, OneStatementWithoutItsEnd) {
  EXPECT_EQ(readMariadbStatement("select 1").text, "select 1");
  EXPECT_EQ(readMariadbStatement("select 1 ;  -- done\n ; /* end */ # more").text, "select 1");
  EXPECT_EQ(readMariadbStatement("select 1 -- done").text, "select 1 -- done");
  // "-" and a comment: the comment stays, or the "--" cut from it would read as one.
  EXPECT_EQ(readMariadbStatement("select 1 ---\x04\n;").text, "select 1 ---\x04");
  EXPECT_EQ(readMariadbStatement("select ';' as x;").text, "select ';' as x");
  EXPECT_EQ(readMariadbStatement("select 1 -- a comment\n, 2").text, "select 1 -- a comment\n, 2");
  const struct {
    const char* sql;
    int code;
  } refused[] = {
      {"select 1; delete from t", 21},
      {"select 1;;select 2", 21},
      {"", 21},
      {"  ;  -- nothing", 21},
      {"select 'open", 1064},
      {"select 1 --;", 1064},  // cut at ";" it would end in a comment
      {"select `open", 1064},
      {"select 1 /* open", 1064},
      {"select 1 /*! ; delete from t */", 21},  // comments run as code hide text
      {"select 1 /*M!100000 , 2 */", 21},
      {"begin not atomic select 1; select 2; end", 21},
  };
  for (const auto& r : refused) EXPECT_EQ(errorCode(r.sql), r.code) << r.sql;
}

TEST(MariadbStatement, QuotesAreReadWithoutBackslashEscapes) {
  // NO_BACKSLASH_ESCAPES: the backslash is a plain character, a doubled quote a quote.
  auto s = readMariadbStatement(R"(select '{APPPATH}\' where x = ?)");
  EXPECT_EQ(s.text, R"(select '{APPPATH}\' where x = ?)");
  EXPECT_EQ(s.parameters.size(), 1u);
  s = readMariadbStatement("select 'it''s ?', \"a \"\" ?\", `col ``?` from t where a = :A");
  EXPECT_EQ(s.parameters, std::vector<std::string>{":A"});
  EXPECT_EQ(s.text, "select 'it''s ?', \"a \"\" ?\", `col ``?` from t where a = ?");
}

TEST(MariadbStatement, ParametersAreNumberedAsSqliteNumbersThem) {
  const struct {
    const char* sql;
    const char* text;
    std::vector<std::string> parameters;
    std::vector<std::size_t> placeholders;
  } cases[] = {
      {"select ?", "select ?", {""}, {0}},
      {"select ?, ?", "select ?, ?", {"", ""}, {0, 1}},
      {"select :a, :a, :b", "select ?, ?, ?", {":a", ":b"}, {0, 0, 1}},
      {"select @x, $y, :z", "select ?, ?, ?", {"@x", "$y", ":z"}, {0, 1, 2}},
      {"select :a, @a", "select ?, ?", {":a", "@a"}, {0, 1}},  // the prefix is part of the name
      {"select ?2, ?", "select ?, ?", {"", "?2", ""}, {1, 2}},
      {"select ?1, ?1", "select ?, ?", {"?1"}, {0, 0}},
      {"select @@version, a:=1", "select @@version, a:=1", {}, {}},  // not parameters
      {"select a$b, 명칭 from t", "select a$b, 명칭 from t", {}, {}},
  };
  for (const auto& c : cases) {
    const MariadbStatement s = readMariadbStatement(c.sql);
    EXPECT_EQ(s.text, c.text) << c.sql;
    EXPECT_EQ(s.parameters, c.parameters) << c.sql;
    EXPECT_EQ(s.placeholders, c.placeholders) << c.sql;
  }
  EXPECT_EQ(errorCode("select ?0"), 25);
  EXPECT_EQ(errorCode("select ?1000"), 25);
}

TEST(MariadbStatement, OnlyWhatIsShownToReadIsAReadingStatement) {
  using E = MariadbEffect;
  const struct {
    const char* sql;
    E effect;
  } cases[] = {
      {"select * from qz_product", E::Reads},
      {"SELECT  productcode,filename from qz_files where productkey='TARVIC' order by filename", E::Reads},
      {"(select 1) union (select 2)", E::Reads},
      {"with recursive n(x) as (select 1 union all select x + 1 from n where x < 5) select * from n", E::Reads},
      {"with a (x, `y`) as (select 1, 2) select count(*), sum(x) from a", E::Reads},
      {"select count(*), upper(name), coalesce(a, b), cast(x as char(10) character set utf8mb4) from t", E::Reads},
      {"select json_extract(j, '$.a'), st_astext(g), regexp_replace(s, 'a', 'b') from t", E::Reads},
      {"select insert('abc', 1, 1, 'x'), replace(a, 'b', 'c'), truncate(1.5, 0)", E::Reads},
      {"select * from t where id in (select id from u) and exists (select 1)", E::Reads},
      {"select row_number() over (partition by a order by b) from t", E::Reads},
      {"values (1, 2), (3, 4)", E::Reads},
      {"show tables", E::Reads},
      {"show create table t", E::Reads},
      {"describe t", E::Reads},
      {"explain select * from t", E::Reads},
      {"select 'insert into t values (1)', `update` from t", E::Reads},
      {"insert into t values (1)", E::ChangesRows},
      {"UPDATE t SET a = 1", E::ChangesRows},
      {"delete from t", E::ChangesRows},
      {"replace into t values (1)", E::ChangesRows},
      {"create table t (x int)", E::Other},
      {"drop table t", E::Other},
      {"set @x = 1", E::Other},
      {"set session sql_mode = ''", E::Other},
      {"begin", E::Other},
      {"use mysql", E::Other},
      {"call p()", E::Other},
      {"do sleep(1)", E::Other},
      {"lock tables t read", E::Other},
      {"pragma user_version = 5", E::Other},
      {"with x as (select 1) insert into t select * from x", E::Other},
      {"with x as (select 1) delete from t", E::Other},
      {"explain delete from t", E::Other},
      {"analyze select * from t", E::Other},
      {"select * from t into outfile '/tmp/x'", E::Other},
      {"select a into @x from t", E::Other},
      {"select * from t for update", E::Other},
      {"select * from t lock in share mode", E::Other},
      {"select * from t procedure analyse()", E::Other},
      {"select myfunc(1)", E::Other},        // a stored function may write
      {"select myfunc (1)", E::Other},
      {"select db.f(1)", E::Other},
      {"select `f`(1)", E::Other},
      {"select nextval(s)", E::Other},
      {"select next value for s", E::Other},
      {"select setval(s, 5)", E::Other},
      {"select get_lock('a', 1)", E::Other},
      {"select load_file('/etc/passwd')", E::Other},
      {"select last_insert_id(5)", E::Other},
      {"select @x := 1", E::Other},         // @x is a parameter; := assigns
  };
  for (const auto& c : cases)
    EXPECT_EQ(readMariadbStatement(c.sql).effect, c.effect) << c.sql;
  EXPECT_EQ(readMariadbStatement("select myfunc(1)").doubt, "MYFUNC()");
  EXPECT_EQ(readMariadbStatement("select * from t into outfile 'x'").doubt, "INTO");
  EXPECT_EQ(readMariadbStatement("create table t (x int)").doubt, "");
}
