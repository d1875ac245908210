// The recordset object: closed-state errors, the cursor at BOF and EOF, fields by position and
// by name, editing (AddNew, Update, CancelUpdate, implicit updates), AppendChunk, conversions
// of assigned values, and sharing by handle.

#include <gtest/gtest.h>

#include "ado_test_support.h"

namespace veltrano::ado {
namespace {

using test::errorOf;
using test::opened;
using test::sample;

// Three unchanged records: ID 1, 2, 3 with NAME "one", "two", "three".
RecordsetPtr threeRows() {
  return opened(
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
      " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
      "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
      "<s:AttributeType name='ID'><s:datatype dt:type='int' dt:maxLength='4'/></s:AttributeType>"
      "<s:AttributeType name='NAME' rs:nullable='true'><s:datatype dt:type='string' rs:dbtype='str' dt:maxLength='20'/>"
      "</s:AttributeType></s:ElementType></s:Schema>"
      "<rs:data><z:row ID='1' NAME='one'/><z:row ID='2' NAME='two'/><z:row ID='3' NAME='three'/></rs:data></xml>");
}

RecordsetPtr fabricated() {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("SQL", adVarChar, 65534);
  rs->Fields().Append("DATABASE", adVarChar, 65534);
  rs->Fields().Append("BYTESDATA", adVariant, 0);
  rs->Open();
  return rs;
}

Variant id(int v) { return Variant(std::int32_t{v}); }

// ---- closed and open ----

TEST(RecordsetState, EverythingButFieldsAndPropertiesNeedsAnOpenRecordset) {
  RecordsetPtr rs = Recordset::create();
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(rs->Fields().Count(), 0);
  const std::vector<std::function<void()>> operations = {
      [&] { rs->Bof(); },         [&] { rs->Eof(); },          [&] { rs->MoveFirst(); },
      [&] { rs->MoveLast(); },    [&] { rs->MoveNext(); },     [&] { rs->MovePrevious(); },
      [&] { rs->RecordCount(); }, [&] { rs->AbsolutePosition(); }, [&] { rs->setAbsolutePosition(1); },
      [&] { rs->AddNew(); },      [&] { rs->Update(); },       [&] { rs->CancelUpdate(); },
      [&] { rs->EditMode(); },    [&] { rs->Status(); },       [&] { rs->SaveXml(); },
      [&] { rs->Close(); },       [&] { rs->valueAt(0, 0); },
  };
  for (std::size_t i = 0; i < operations.size(); ++i) EXPECT_EQ(errorOf(operations[i]), 3704) << "operation " << i;

  rs->Fields().Append("A", adInteger);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).Value(); }), 3704);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).setValue(id(1)); }), 3704);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).AppendChunk(Variant("x")); }), 3704);
  EXPECT_EQ(rs->Fields(0).Name(), "A");  // the definition is readable while closed

  rs->setCursorLocation(adUseClient);
  rs->setCacheSize(20);
  rs->setLockType(adLockOptimistic);
  rs->setCursorType(adOpenStatic);
  EXPECT_EQ(rs->CursorLocation(), adUseClient);
  EXPECT_EQ(rs->CacheSize(), 20);
  EXPECT_EQ(rs->LockType(), adLockOptimistic);
  EXPECT_EQ(rs->CursorType(), adOpenStatic);
}

TEST(RecordsetState, OpenCloseAndOpenAgain) {
  RecordsetPtr rs = Recordset::create();
  EXPECT_EQ(errorOf([&] { rs->Open(); }), 3001);  // no source and no fields
  rs->Fields().Append("A", adInteger);
  rs->Open();
  EXPECT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(errorOf([&] { rs->Open(); }), 3705);
  EXPECT_EQ(errorOf([&] { rs->OpenXml(sample("sample_c_types_basic.xml")); }), 3705);
  EXPECT_EQ(errorOf([&] { rs->Fields().Append("B", adInteger); }), 3219);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).setPrecision(5); }), 3219);
  rs->AddNew();
  rs->Fields(0).setValue(id(7));
  rs->Close();
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(errorOf([&] { rs->Close(); }), 3704);
  EXPECT_EQ(rs->Fields().Count(), 1);
  rs->Open();
  EXPECT_EQ(rs->RecordCount(), 0);  // the rows went with the close

  // Opening a document replaces the fields.
  rs->Close();
  rs->OpenXml(sample("sample_c_types_basic.xml"));
  EXPECT_EQ(rs->Fields().Count(), 5);
}

// ---- the cursor ----

TEST(RecordsetCursor, BofAndEofAroundThreeRecords) {
  RecordsetPtr rs = threeRows();
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  EXPECT_EQ(rs->Fields(0).Value(), id(1));
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(rs->AbsolutePosition(), adPosBOF);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).Value(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).setValue(id(9)); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->Status(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->MovePrevious(); }), 3021);
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("NAME").Value(), Variant("one"));
  rs->MoveLast();
  EXPECT_EQ(rs->AbsolutePosition(), 3);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->AbsolutePosition(), adPosEOF);
  EXPECT_EQ(errorOf([&] { rs->Fields(1).Value(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->Fields(1).AppendChunk(Variant("x")); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3021);
  rs->MovePrevious();
  EXPECT_EQ(rs->Fields(1).Value(), Variant("three"));
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields(0).Value(), id(1));
  rs->setAbsolutePosition(2);
  EXPECT_EQ(rs->Fields(1).Value(), Variant("two"));
  EXPECT_EQ(errorOf([&] { rs->setAbsolutePosition(0); }), 3001);
  EXPECT_EQ(errorOf([&] { rs->setAbsolutePosition(4); }), 3001);
}

TEST(RecordsetCursor, EmptyRecordsetIsAtBofAndEof) {
  RecordsetPtr rs = fabricated();
  EXPECT_TRUE(rs->Bof());
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_EQ(rs->AbsolutePosition(), adPosBOF);
  rs->MoveFirst();
  rs->MoveLast();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->MovePrevious(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->Fields(0).Value(); }), 3021);
}

TEST(RecordsetCursor, ReadingEveryRecordTheWayTheUpdaterDoes) {
  RecordsetPtr rs = opened(sample("sample_a_shippers.xml"));
  std::vector<std::string> names;
  while (!rs->Eof()) {
    names.push_back(rs->Fields(1).Value().toText());
    rs->MoveNext();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Speedy Express", "United Package", "Federal Shipping"}));
  EXPECT_EQ(rs->valueAt(1, 2), Variant("(503) 555-3199"));  // without moving
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(errorOf([&] { rs->valueAt(3, 0); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->valueAt(0, 3); }), 3265);
}

// ---- fields ----

TEST(RecordsetFields, ByPositionAndByNameWithoutRegardToCase) {
  RecordsetPtr rs = fabricated();
  EXPECT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields("sql").Name(), "SQL");
  EXPECT_EQ(rs->Fields("Database").index(), 1);
  EXPECT_EQ(rs->Fields()["BytesData"].Type(), adVariant);
  EXPECT_EQ(errorOf([&] { rs->Fields("NOPE"); }), 3265);
  EXPECT_EQ(errorOf([&] { rs->Fields(3); }), 3265);
  EXPECT_EQ(errorOf([&] { rs->Fields(-1); }), 3265);

  RecordsetPtr korean = Recordset::create();
  korean->Fields().Append("결과없음", adVarChar, 65534);
  EXPECT_EQ(korean->Fields("결과없음").DefinedSize(), 65534);
  EXPECT_EQ(errorOf([&] { korean->Fields("결과"); }), 3265);
  korean->Fields().Append("Café", adInteger);
  EXPECT_EQ(korean->Fields("CAFÉ").index(), 1);
  EXPECT_EQ(errorOf([&] { korean->Fields().Append("café", adInteger); }), 3367);
}

TEST(RecordsetFields, AppendGivesAdoSizesAndAttributes) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("I", adInteger);
  rs->Fields().Append("D", adDate);
  rs->Fields().Append("B", adBSTR);
  rs->Fields().Append("L", adLongVarChar, 5000);
  rs->Fields().Append("N", adVarWChar, 10, adFldIsNullable);
  EXPECT_EQ(rs->Fields("I").DefinedSize(), 4);
  EXPECT_EQ(rs->Fields("D").DefinedSize(), 16);
  EXPECT_EQ(rs->Fields("B").DefinedSize(), 4294967295LL);
  EXPECT_EQ(rs->Fields("I").Attributes(), adFldUpdatable | adFldFixed);
  EXPECT_EQ(rs->Fields("L").Attributes(), adFldUpdatable | adFldLong);
  EXPECT_EQ(rs->Fields("N").Attributes(), adFldUpdatable | adFldIsNullable);
  EXPECT_EQ(errorOf([&] { rs->Fields().Append("i", adInteger); }), 3367);
  EXPECT_EQ(errorOf([&] { rs->Fields().Append("X", static_cast<DataTypeEnum>(999)); }), 3001);
}

TEST(RecordsetFields, AssignedValuesAreConvertedToTheFieldType) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("I", adInteger);
  rs->Fields().Append("S", adSmallInt);
  rs->Fields().Append("B", adBoolean);
  rs->Fields().Append("M", adCurrency);
  rs->Fields().Append("T", adVarChar, 20);
  rs->Fields().Append("D", adDate);
  rs->Fields().Append("BIN", adVarBinary, 10);
  rs->Open();
  rs->AddNew();
  rs->Fields("I").setValue("123");
  EXPECT_EQ(rs->Fields("I").Value(), id(123));
  rs->Fields("I").setValue(2.5);  // half to even
  EXPECT_EQ(rs->Fields("I").Value(), id(2));
  EXPECT_EQ(errorOf([&] { rs->Fields("I").setValue("abc"); }), 13);
  EXPECT_EQ(errorOf([&] { rs->Fields("I").setValue(1e10); }), 6);
  EXPECT_EQ(errorOf([&] { rs->Fields("S").setValue(std::int32_t{40000}); }), 6);
  EXPECT_EQ(rs->Fields("I").Value(), id(2));  // a refused value changes nothing
  rs->Fields("B").setValue("True");
  EXPECT_EQ(rs->Fields("B").Value(), Variant(true));
  rs->Fields("M").setValue(1.23456);
  EXPECT_EQ(rs->Fields("M").Value(), Variant(CurrencyValue{12346}));
  rs->Fields("T").setValue(std::int32_t{42});
  EXPECT_EQ(rs->Fields("T").Value(), Variant("42"));
  rs->Fields("D").setValue("2026-12-07 13:45:30");
  EXPECT_EQ(rs->Fields("D").Value(), Variant(makeDate(2026, 12, 7, 13, 45, 30)));
  rs->Fields("BIN").setValue("AB");
  EXPECT_EQ(rs->Fields("BIN").Value(), Variant(Bytes{'A', 'B'}));
  rs->Fields("T").setValue(Null);
  EXPECT_TRUE(rs->Fields("T").Value().isNull());
  rs->Fields("I").setValue(Variant());
  EXPECT_TRUE(rs->Fields("I").Value().isNull());
}

// ---- editing ----

TEST(RecordsetEditing, AddNewUpdateAndCancelUpdate) {
  RecordsetPtr rs = threeRows();
  rs->setAbsolutePosition(2);
  rs->AddNew();
  EXPECT_EQ(rs->EditMode(), adEditAdd);
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->AbsolutePosition(), 4);
  EXPECT_TRUE(rs->Fields(0).Value().isNull());
  rs->Fields(0).setValue(id(4));
  rs->CancelUpdate();  // the new record goes; the one before comes back
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->EditMode(), adEditNone);
  EXPECT_EQ(rs->Fields(1).Value(), Variant("two"));

  rs->AddNew();
  rs->Fields(0).setValue(id(4));
  rs->Fields(1).setValue("four");
  rs->Update();
  EXPECT_EQ(rs->EditMode(), adEditNone);
  EXPECT_EQ(rs->Status(), adRecNew);
  EXPECT_EQ(rs->AbsolutePosition(), 4);  // the new record stays current
  rs->Fields(1).setValue("FOUR");        // editing a new record keeps it new
  rs->Update();
  EXPECT_EQ(rs->Status(), adRecNew);

  rs->MoveFirst();
  rs->Fields(1).setValue("uno");
  EXPECT_EQ(rs->EditMode(), adEditInProgress);
  rs->CancelUpdate();
  EXPECT_EQ(rs->Fields(1).Value(), Variant("one"));
  EXPECT_EQ(rs->Status(), adRecUnmodified);
}

TEST(RecordsetEditing, MovingOrAddingEndsTheEditAsUpdate) {
  RecordsetPtr rs = threeRows();
  rs->Fields(1).setValue("uno");
  EXPECT_EQ(rs->Fields(1).OriginalValue(), Variant("one"));
  rs->MoveNext();
  EXPECT_EQ(rs->EditMode(), adEditNone);
  rs->MovePrevious();
  EXPECT_EQ(rs->Fields(1).Value(), Variant("uno"));
  EXPECT_EQ(rs->Status(), adRecModified);
  EXPECT_EQ(rs->Fields(1).OriginalValue(), Variant("one"));

  rs->setAbsolutePosition(3);
  rs->Fields(0).setValue(id(30));
  rs->AddNew();  // ends the edit of record 3 first
  rs->CancelUpdate();
  EXPECT_EQ(rs->AbsolutePosition(), 3);
  EXPECT_EQ(rs->Fields(0).Value(), id(30));
  EXPECT_EQ(rs->Status(), adRecModified);
}

TEST(RecordsetEditing, CloseDropsAPendingEdit) {
  RecordsetPtr rs = fabricated();
  rs->AddNew();
  rs->Fields(0).setValue("SELECT 1");
  rs->Close();
  rs->Open();
  EXPECT_EQ(rs->RecordCount(), 0);
}

// ---- AppendChunk ----

TEST(RecordsetAppendChunk, BytesTextAndVariants) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("BIN", adLongVarBinary, 100000);
  rs->Fields().Append("TXT", adLongVarChar, 100000);
  rs->Fields().Append("VAR", adVariant);
  rs->Fields().Append("NUM", adInteger);
  rs->Open();
  rs->AddNew();
  rs->Fields("BIN").AppendChunk(Variant(Bytes{1, 2}));
  rs->Fields("BIN").AppendChunk(Variant(Bytes{3}));
  EXPECT_EQ(rs->Fields("BIN").Value(), Variant(Bytes{1, 2, 3}));
  rs->Fields("TXT").AppendChunk(Variant("가나"));
  rs->Fields("TXT").AppendChunk(Variant("다"));
  EXPECT_EQ(rs->Fields("TXT").Value(), Variant("가나다"));
  rs->Fields("VAR").AppendChunk(Variant(Bytes{0xAB}));
  rs->Fields("VAR").AppendChunk(Variant(Bytes{0xCD}));
  rs->Fields("VAR").AppendChunk(Variant(Null));  // nothing to append
  EXPECT_EQ(rs->Fields("VAR").Value(), Variant(Bytes{0xAB, 0xCD}));
  EXPECT_EQ(errorOf([&] { rs->Fields("NUM").AppendChunk(Variant("1")); }), 3001);
  rs->Update();

  // Values written elsewhere in between: the chunk still lands on its own value.
  rs->AddNew();
  rs->Fields("VAR").AppendChunk(Variant("text "));
  rs->Fields("TXT").setValue("other");
  rs->Fields("VAR").AppendChunk(Variant("more"));
  EXPECT_EQ(rs->Fields("VAR").Value(), Variant("text more"));
  EXPECT_EQ(rs->Fields("TXT").Value(), Variant("other"));
}

TEST(RecordsetAppendChunk, ManyChunksBuildOneLargeValue) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("BIN", adLongVarBinary, 0x7FFFFFFF);
  rs->Open();
  rs->AddNew();
  Bytes chunk(1024);
  for (int i = 0; i < 1024; ++i) chunk[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 2000; ++i) rs->Fields(0).AppendChunk(Variant(chunk));
  const Bytes value = rs->Fields(0).Value().bytes();
  ASSERT_EQ(value.size(), 2000u * 1024u);
  EXPECT_EQ(value[1024 * 1999 + 5], 5);
  EXPECT_EQ(rs->Fields(0).ActualSize(), 2000 * 1024);
  EXPECT_LT(rs->memoryBytes(), 8u << 20);  // appended in place, not copied at each chunk
}

// ---- sharing ----

TEST(RecordsetSharing, HandlesAndFieldsSeeOneObject) {
  RecordsetPtr caller = threeRows();
  RecordsetPtr grid = caller;  // the grid binds to the recordset the caller holds
  const Field name = caller->Fields("NAME");
  grid->MoveNext();
  EXPECT_EQ(caller->AbsolutePosition(), 2);
  EXPECT_EQ(name.Value(), Variant("two"));  // a field reads the record current now
  grid->Fields("NAME").setValue("deux");
  grid->Update();
  EXPECT_EQ(caller->Fields(1).Value(), Variant("deux"));
}

}  // namespace
}  // namespace veltrano::ado
