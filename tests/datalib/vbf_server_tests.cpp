// The data access class against the reference server's data service on loopback, over its
// sample database "tarvic" (customer, document, qz_pages).
#include <gtest/gtest.h>

#include "datalib_test_support.h"
#include "lumadata/dictionary.h"
#include "lumadata/vbf.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "reference_server.h"

using namespace veltrano;
using lumadata::VBF;

namespace {

struct Fixture {
  explicit Fixture(std::vector<std::string> extra = {"--writable"}) : server(std::move(extra)) {}
  test::ScopedRegistry registry;
  ui::ScriptedUi scripted;
  ui::ScopedUi scope{scripted};
  datalib_test::MonitorRecorder monitor;
  datalib_test::ReferenceServer server;
  test::ScopedEnv host{"VELTRANO_APP_HOST", server.hostPort()};

  std::vector<std::string> errorTexts() const {
    std::vector<std::string> out;
    for (const auto& s : scripted.shown())
      if (s.kind == "ErrorWindow") out.push_back(s.text);
    return out;
  }
};

std::vector<std::vector<Variant>> rowsOf(ado::Recordset& rs) {
  std::vector<std::vector<Variant>> rows;
  if (rs.State() != ado::adStateOpen || rs.RecordCount() == 0) return rows;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
    std::vector<Variant> row;
    for (int i = 0; i < rs.Fields().Count(); ++i) row.push_back(rs.Fields(i).Value());
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

TEST(VbfReferenceServer, SelectReturnsTheRowsOfTheTableAndSetsTheFlag) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("select custno, name, region from customer order by custno");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(fine, -1);
  ASSERT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields(1).Name(), "name");
  const auto rows = rowsOf(*rs);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][1].toString(), "한빛운송");
  EXPECT_EQ(rows[1][2].toString(), "부산");
  EXPECT_EQ(rows[2][0].toInt32(), 3);
  EXPECT_TRUE(f.errorTexts().empty());
  const auto notices = f.monitor.notices();
  ASSERT_GE(notices.size(), 5u);
  EXPECT_EQ(notices.back(), "TR_COMPLETE|");
}

TEST(VbfReferenceServer, BytesPayloadIsStoredAndReadBack) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  Bytes payload;
  for (int i = 0; i < 3000; ++i) payload.push_back(static_cast<std::uint8_t>((i * 37) & 0xFF));
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("insert into document(docno, title, content) values(10, '배차 사진', ?)", Variant(payload));
  std::int16_t fine = 0;
  auto inserted = db.DB_EXECUTE(&fine);
  ASSERT_NE(inserted, nullptr);
  EXPECT_EQ(fine, -1);
  ASSERT_EQ(inserted->State(), ado::adStateOpen);
  EXPECT_EQ(inserted->Fields(0).Value().toInt32(), 1);  // one row affected

  db.DB_ADD("select title, content from document where docno = 10");
  auto rs = db.DB_EXECUTE();
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Fields(0).Value().toString(), "배차 사진");
  const Variant content = rs->Fields(1).Value();
  ASSERT_TRUE(content.isBytes());
  EXPECT_EQ(content.bytes(), payload);
}

TEST(VbfReferenceServer, ExecuteFillsThePageParametersFromMixedCaseKeys) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  lumadata::Dictionary param;
  param.Add("Region", Variant("서울"));
  auto rs = db.EXECUTE(&param, "CUSTOMER_LIST");
  ASSERT_NE(rs, nullptr);
  const auto rows = rowsOf(*rs);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1].toString(), "한빛운송");
  EXPECT_EQ(rows[1][1].toString(), "새마을화물");

  param.setItem("Region", Variant("부산"));
  rs = db.EXECUTE(&param, "customer_list");  // page names are found without regard to case
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rowsOf(*rs).size(), 1u);
}

TEST(VbfReferenceServer, ExecuteWithoutParametersAndTheUrlRuleAfterIt) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("insert into qz_pages values('CUSTOMER_COUNT', 'select count(*) as n from customer')");
  ASSERT_NE(db.DB_EXECUTE(), nullptr);

  auto count = db.EXECUTE(nullptr, "CUSTOMER_COUNT");
  ASSERT_NE(count, nullptr);
  ASSERT_EQ(count->RecordCount(), 1);
  EXPECT_EQ(count->Fields("n").Value().toInt32(), 3);

  // The object now posts to that page: a statement of DB_ADD is not what the server runs.
  db.DB_ADD("select name from customer where custno = 1");
  auto rs = db.DB_EXECUTE();
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->Fields().Count(), 1);
  EXPECT_EQ(rs->Fields(0).Name(), "n");
  EXPECT_EQ(rs->Fields(0).Value().toInt32(), 3);
}

TEST(VbfReferenceServer, DbExecuteWithoutDbAddRaisesObjectNotSet) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  try {
    db.DB_EXECUTE();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kObjectNotSet);
  }
}

TEST(VbfReferenceServer, StatementErrorIsShownAndGivesAClosedRecordset) {
  Fixture f;
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("select * from no_such_table");
  std::int16_t fine = 0;
  auto rs = db.DB_EXECUTE(&fine);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), ado::adStateClosed);
  EXPECT_EQ(fine, -1);
  const auto shown = f.errorTexts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("[에러번호]", 0), 0u) << shown[0];
  EXPECT_NE(shown[0].find("no_such_table"), std::string::npos) << shown[0];
}

TEST(VbfReferenceServer, RefusedAndUnknownRequestsGiveNoObject) {
  Fixture f(std::vector<std::string>{});  // read-only: modifying statements are refused (403)
  ASSERT_TRUE(f.server.started()) << f.server.problem();
  VBF db;
  db.DB_OPEN("tarvic");
  db.DB_ADD("delete from customer");
  std::int16_t fine = 0;
  EXPECT_EQ(db.DB_EXECUTE(&fine), nullptr);
  EXPECT_EQ(fine, 0);
  EXPECT_EQ(db.EXECUTE(nullptr, "NO_SUCH_PAGE"), nullptr);  // 404
  const auto shown = f.errorTexts();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_FALSE(shown[0].empty());
  EXPECT_FALSE(shown[1].empty());

  // Nothing was deleted.
  db.DB_OPEN("tarvic");
  db.DB_ADD("select count(*) from customer");
  auto rs = db.DB_EXECUTE();
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Fields(0).Value().toInt32(), 3);
}
