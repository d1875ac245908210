#include <gtest/gtest.h>

#include "platform/ado/recordset.h"
#include "platform/grid/grid.h"
#include "platform/grid/recordset_source.h"
#include "platform/runtime/error.h"

using namespace veltrano;
using namespace veltrano::grid;

namespace {

// A reply of the data service as the product programs bind it.
const char* kReply = R"(<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>
<s:Schema id='RowsetSchema'>
<s:ElementType name='row' content='eltOnly'>
<s:AttributeType name='CUST_NM' rs:number='1' rs:nullable='true'><s:datatype dt:type='string' dt:maxLength='50'/></s:AttributeType>
<s:AttributeType name='CNT' rs:number='2' rs:nullable='true'><s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true'/></s:AttributeType>
<s:AttributeType name='UNIT_PRICE' rs:number='3' rs:nullable='true'><s:datatype dt:type='number' rs:dbtype='numeric' dt:maxLength='19' rs:scale='3' rs:precision='18' rs:fixedlength='true'/></s:AttributeType>
<s:AttributeType name='FARE' rs:number='4' rs:nullable='true'><s:datatype dt:type='float' dt:maxLength='8' rs:precision='15' rs:fixedlength='true'/></s:AttributeType>
<s:AttributeType name='FEE' rs:number='5' rs:nullable='true'><s:datatype dt:type='number' rs:dbtype='currency' dt:maxLength='8' rs:precision='19' rs:fixedlength='true'/></s:AttributeType>
<s:extends type='rs:rowbase'/>
</s:ElementType>
</s:Schema>
<rs:data>
<z:row CUST_NM='(주)한빛물류' CNT='12' UNIT_PRICE='12.345' FARE='1234567.5' FEE='1500'/>
<z:row CUST_NM='대한운송' CNT='3' FARE='250000'/>
</rs:data>
</xml>)";

}  // namespace

TEST(RecordsetBinding, FieldTypesOfAPersistedRecordsetGiveTheCellTypes) {
  auto rs = ado::Recordset::create();
  rs->OpenXml(kReply);
  Grid g;
  g.DataSource(rs);
  ASSERT_EQ(g.MaxRows(), 2);
  ASSERT_EQ(g.MaxCols(), 5);
  EXPECT_EQ(g.textAt(0, 1), "CUST_NM");
  EXPECT_EQ(g.cellTypeAt(1, 1), celltype::Edit);
  EXPECT_EQ(g.textAt(1, 1), "(주)한빛물류");
  EXPECT_EQ(g.textAt(1, 2), "12");
  EXPECT_EQ(g.textAt(1, 3), "12.345") << "the numeric field's scale";
  EXPECT_EQ(g.textAt(1, 4), "1,234,567.50") << "a float field shows 2 decimals";
  EXPECT_EQ(g.textAt(1, 5), "1,500.00");
  EXPECT_EQ(g.textAt(2, 3), "") << "a missing attribute is Null";
  EXPECT_EQ(g.cellTypeAt(2, 3), celltype::Number);
  // The grid and the caller share the recordset; the cursor is not moved by the fill.
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  EXPECT_EQ(g.DataSource()->recordCount(), 2);
}

TEST(RecordsetBinding, RecordsetMadeByTheCallerAndAClosedOne) {
  auto rs = ado::Recordset::create();
  rs->Fields().Append("차량번호", ado::adVarWChar, 20);
  rs->Fields().Append("운임", ado::adInteger);
  rs->Open();
  for (int i = 1; i <= 3; ++i) {
    rs->AddNew();
    rs->Fields(0).setValue(Variant("서울 12가 340" + std::to_string(i)));
    rs->Fields(1).setValue(Variant(std::int32_t{i * 10000}));
    rs->Update();
  }
  Grid g;
  g.DataSource(rs);
  EXPECT_EQ(g.MaxRows(), 3);
  EXPECT_EQ(g.textAt(3, 2), "30,000");
  g.Row(4);
  g.MaxRows(4);
  g.Col(2);
  g.Formula("SUM(B1:B3)");
  EXPECT_EQ(g.Text(), "60,000");

  auto closed = ado::Recordset::create();
  Grid other;
  try {
    other.DataSource(closed);
    ADD_FAILURE() << "a closed recordset cannot be shown";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kAdoObjectClosed);
  }
  EXPECT_EQ(sourceOf(nullptr), nullptr);
}
