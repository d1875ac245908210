#include <gtest/gtest.h>

#include <filesystem>

#include "backends.h"
#include "platform/text/ansi.h"
#include "server/form.h"
#include "server/query_service.h"
#include "server_fixture.h"
#include "updater/query_protocol.h"

using namespace veltrano::server;
using veltrano::test::queryForm;
namespace fs = std::filesystem;
namespace text = veltrano::text;

namespace {

const std::string kKey(128, '5');

std::string field(const std::string& value, const std::string& key = kKey) {
  return key + meridox::EncDecText(value, key, -1);
}

// The query service on each backend (QueryServiceTest/.../Sqlite and .../Mariadb).
class QueryServiceTest : public ::testing::TestWithParam<veltrano::test::Backend> {
 protected:
  void SetUp() override {
    db_ = dbs_.create("qz_update",
                      "create table qz_product (productcode text, productkey text, "
                      "productname text);"
                      "insert into qz_product values ('TARVIC', 'TARVIC', '타르빅');");
  }
  Reply ask(const std::string& body, bool writable = false) const {
    return QueryService(*dbs_.catalog(writable)).answer(body);
  }
  veltrano::test::TestDatabases dbs_{GetParam()};
  std::string db_;
};

INSTANTIATE_TEST_SUITE_P(Backends, QueryServiceTest, veltrano::test::kBothBackends,
                         veltrano::test::backendName);

}  // namespace

TEST(QueryForm, FieldsSplitIntoKeyAndKeyedHex) {
  EXPECT_EQ(decodeKeyedField(field("select 1")), "select 1");
  EXPECT_EQ(decodeKeyedField(field("조회 '가'")), "조회 '가'");
  EXPECT_EQ(decodeKeyedField(kKey), "");  // an empty text carries its key alone
  const std::string other = meridox::MakeDigitKey();
  EXPECT_EQ(decodeKeyedField(field("qz_update", other)), "qz_update");

  EXPECT_FALSE(decodeKeyedField(kKey.substr(1)));                  // key too short
  std::string notDigits = kKey + "1AC1I";
  notDigits[0] = 'x';
  EXPECT_FALSE(decodeKeyedField(notDigits));                       // key not digits
  EXPECT_FALSE(decodeKeyedField(kKey + "ZZI"));                    // not hex
  EXPECT_FALSE(decodeKeyedField(kKey + "1AC1"));                   // no token end
  EXPECT_FALSE(decodeKeyedField(kKey + "0001AC1I"));               // token of more than 5 digits
  EXPECT_FALSE(decodeKeyedField(kKey + "1B00I"));                  // 0x80: no CP949 character
  EXPECT_EQ(decodeKeyedField(kKey + "  1AC1I "), "A");             // blanks around are dropped
  EXPECT_EQ(decodeKeyedField(kKey + "1AC1I1AC"), "A");             // after the last token: unread
}

TEST(QueryForm, TheUpdatersFormDecodes) {
  std::string error;
  const auto r = decodeQueryForm(queryForm("select * from qz_product", "qz_update", "김철수"), error);
  ASSERT_TRUE(r) << error;
  EXPECT_EQ(r->sql, "select * from qz_product");  // the added blank is not encoded
  EXPECT_EQ(r->database, "qz_update");
  EXPECT_EQ(r->userId, "김철수");
}

TEST(QueryForm, UnreadableFormsSayWhy) {
  std::string error;
  const std::string sql = "SQL=" + field("select 1");
  const std::string db = "DATABASE=" + field("qz_update");
  EXPECT_TRUE(decodeQueryForm(sql + "&" + db, error)) << error;  // USERID may be missing
  EXPECT_TRUE(decodeQueryForm("sql=" + field("select 1") + "&" + db + "&extra=1", error));

  EXPECT_FALSE(decodeQueryForm(db, error));
  EXPECT_NE(error.find("SQL"), std::string::npos);
  EXPECT_FALSE(decodeQueryForm(sql, error));
  EXPECT_NE(error.find("DATABASE"), std::string::npos);
  EXPECT_FALSE(decodeQueryForm(sql + "&" + sql + "&" + db, error));
  EXPECT_NE(error.find("twice"), std::string::npos);
  EXPECT_FALSE(decodeQueryForm("SQL=select+1&" + db, error));
  EXPECT_FALSE(decodeQueryForm(sql + "&" + db + "&USERID=%G1", error));
  EXPECT_FALSE(decodeQueryForm("", error));
}

TEST(QueryForm, FormBodiesDecodePlusAndEscapes) {
  const auto f = parseForm("a=1+2&b=%ED%95%9C&&c&d=");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->size(), 4u);
  EXPECT_EQ((*f)[0].second, "1 2");
  EXPECT_EQ((*f)[1].second, "한");
  EXPECT_EQ((*f)[2].first, "c");
  EXPECT_EQ((*f)[3].second, "");
  EXPECT_FALSE(parseForm("a=%2"));
}

TEST_P(QueryServiceTest, NoRowsIsTheExactTextInCp949) {
  const Reply r = ask(queryForm("select * from qz_product where productcode = '없음'", db_));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, text::toAnsiString("조회된 결과값이 없습니다."));
  EXPECT_EQ(r.body.size(), 25u);  // 11 Hangul syllables of two bytes, two blanks, a full stop
  EXPECT_NE(r.contentType.find("euc-kr"), std::string::npos);
}

TEST_P(QueryServiceTest, StatementErrorsAreErrorTextsInCp949) {
  const Reply r = ask(queryForm("select * from 없는표", db_));
  EXPECT_EQ(r.status, 200);
  const std::string utf8 = text::fromAnsi(r.body);
  EXPECT_EQ(utf8.rfind(dbs_.pick<std::string>("[에러번호] 1 : ", "[에러번호] 1146 : "), 0), 0u) << utf8;
  EXPECT_NE(utf8.find("없는표"), std::string::npos) << utf8;  // Korean went in and came back
  EXPECT_EQ(utf8.find(kStylesheetLine), std::string::npos);

  const std::string noDb = text::fromAnsi(ask(queryForm("select 1", "fretline_innovation")).body);
  EXPECT_EQ(noDb.rfind(dbs_.pick<std::string>("[에러번호] 14 : ", "[에러번호] 1049 : "), 0), 0u) << noDb;
}

TEST_P(QueryServiceTest, RowsComeAsTheStylesheetLineAndARowset) {
  const Reply r = ask(queryForm("select productcode, productname as \"제품 이름\", null as memo, 3 as n "
                                "from qz_product",
                                db_));
  EXPECT_EQ(r.status, 200);
  const std::string utf8 = text::fromAnsi(r.body);
  EXPECT_EQ(utf8.rfind(std::string(kStylesheetLine) + "\r\n<xml ", 0), 0u) << utf8;
  EXPECT_NE(utf8.find("제품 이름"), std::string::npos) << utf8;  // a column name with a blank
  EXPECT_NE(utf8.find("타르빅"), std::string::npos) << utf8;
}

TEST_P(QueryServiceTest, ModifyingStatementsAreRefusedOnReadOnlyData) {
  for (const char* sql : {"insert into qz_product values ('A','A','A')",
                          "delete from qz_product", "UPDATE qz_product SET productname = 'x'",
                          "create table x (y integer)"}) {
    const Reply r = ask(queryForm(sql, db_));
    EXPECT_EQ(r.status, 403) << sql;
    EXPECT_EQ(text::fromAnsi(r.body).rfind("[에러번호] 8 : ", 0), 0u) << sql;
  }
  EXPECT_EQ(dbs_.scalar(db_, "select count(*) from qz_product"), "1");
}

TEST_P(QueryServiceTest, UnreadableRequestsGet400) {
  const Reply r = ask("SQL=12&DATABASE=34");
  EXPECT_EQ(r.status, 400);
  EXPECT_EQ(text::fromAnsi(r.body).rfind("[에러번호] 400 : ", 0), 0u);
}
