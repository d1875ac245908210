// Results as ADO XML rowsets and posted recordsets, through the platform's Recordset: what
// the server writes loads back with fitting types, and what the data library posts is read.

#include <gtest/gtest.h>

#include "platform/ado/recordset.h"
#include "server/rowset.h"

using namespace veltrano;
using namespace veltrano::server;

namespace {

ResultSet everyKind() {
  ResultSet rs;
  rs.columns = {{"ID", ColumnKind::Integer, 1},   {"BIG", ColumnKind::BigInt, 1},
                {"RATE", ColumnKind::Double, 1},  {"이름", ColumnKind::Text, 10},
                {"PHOTO", ColumnKind::Blob, 3},   {"MEMO", ColumnKind::Text, 4001}};
  rs.rows.push_back({Variant(std::int64_t{7}), Variant(std::int64_t{5000000000}), Variant(0.1),
                     Variant("한글 'q' <&>"), Variant(Bytes{0, 0xFF, 0x10}), Variant(std::string(4001, 'm'))});
  rs.rows.push_back({Variant(Null), Variant(Null), Variant(Null), Variant(""), Variant(Null), Variant(Null)});
  return rs;
}

}  // namespace

TEST(RowsetReply, LoadsBackWithFittingAdoTypes) {
  const std::string xml = rowsetXml(everyKind());
  // A query's result: plain rows, not pending inserts of a fabricated recordset.
  EXPECT_EQ(xml.find("rs:insert"), std::string::npos);
  ado::Recordset rs;
  ASSERT_TRUE(rs.loadXml(xml)) << xml;
  ASSERT_EQ(rs.Fields().Count(), 6);
  const std::vector<ado::DataTypeEnum> types = {ado::adInteger, ado::adBigInt, ado::adDouble,
                                                ado::adVarWChar, ado::adLongVarBinary,
                                                ado::adLongVarWChar};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(rs.Fields(i).Type(), types[i]) << i;
  EXPECT_EQ(rs.Fields(3).Name(), "이름");
  EXPECT_EQ(rs.Fields(3).DefinedSize(), 10);
  EXPECT_EQ(rs.RecordCount(), 2);

  EXPECT_EQ(rs.Fields(0).Value().toInt64(), 7);
  EXPECT_EQ(rs.Fields(1).Value().toInt64(), 5000000000);
  EXPECT_EQ(rs.Fields(2).Value().toDouble(), 0.1);
  EXPECT_EQ(rs.Fields(3).Value(), Variant("한글 'q' <&>"));
  EXPECT_EQ(rs.Fields(4).Value(), Variant(Bytes{0, 0xFF, 0x10}));
  EXPECT_EQ(rs.Fields(5).Value().toString().size(), 4001u);
  rs.MoveNext();
  for (int i : {0, 1, 2, 4, 5}) EXPECT_TRUE(rs.Fields(i).Value().isNull()) << i;
  EXPECT_EQ(rs.Fields(3).Value(), Variant(""));  // empty text is not NULL
}

TEST(RowsetReply, NoRowsKeepsTheSchema) {
  ResultSet empty;
  empty.columns = {{"A", ColumnKind::Integer, 1}, {"B", ColumnKind::Text, 5}};
  ado::Recordset rs;
  ASSERT_TRUE(rs.loadXml(rowsetXml(empty)));
  EXPECT_EQ(rs.Fields().Count(), 2);
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
}

TEST(PostedRecordset, TheDataLibrarysRequestIsRead) {
  // Built as the data library builds it: SQL and DATABASE adVarChar(65534), BYTESDATA
  // adVariant with the payload appended as one chunk, the row left pending.
  ado::Recordset request;
  request.Fields().Append("SQL", ado::adVarChar, 65534);
  request.Fields().Append("DATABASE", ado::adVarChar, 65534);
  request.Fields().Append("BYTESDATA", ado::adVariant, 0);
  request.Open();
  request.AddNew();
  request.Fields("SQL").setValue(Variant("insert into doc(content) values(?)"));
  request.Fields("DATABASE").setValue(Variant("orvex"));
  request.Fields("BYTESDATA").AppendChunk(Variant(Bytes{0xCA, 0xFE}));
  request.Update();

  std::string error;
  const auto fields = readRecordset(request.SaveXml(), error);
  ASSERT_TRUE(fields) << error;
  ASSERT_EQ(fields->fields.size(), 3u);
  EXPECT_EQ(*fields->find("sql"), Variant("insert into doc(content) values(?)"));
  EXPECT_EQ(*fields->find("DATABASE"), Variant("orvex"));
  const Variant* bytes = fields->find("BYTESDATA");
  ASSERT_TRUE(bytes);
  EXPECT_TRUE(bytes->isBytes() || bytes->toString() == "cafe") << bytes->toString();
}

TEST(PostedRecordset, NotARecordsetOrNoRowSaysWhy) {
  std::string error;
  EXPECT_FALSE(readRecordset("", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(readRecordset("<xml><broken", error));
  EXPECT_FALSE(readRecordset("SQL=select+1", error));
  ResultSet empty;
  empty.columns = {{"DATABASE", ColumnKind::Text, 5}};
  EXPECT_FALSE(readRecordset(rowsetXml(empty), error));
  EXPECT_NE(error.find("no row"), std::string::npos);
}
