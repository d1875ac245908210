// Reading and writing ADO's XML rowset format: the samples written by ADO, byte-exact round
// trips, every field type saved and loaded back, names that need aliases, the shapes of
// recordset the system builds, and the reader's tolerance.

#include <gtest/gtest.h>

#include "ado_test_support.h"
#include "platform/ado/rowset_writer.h"
#include "platform/text/ansi.h"

#include <cstring>

namespace veltrano::ado {
namespace {

using test::dataSection;
using test::opened;
using test::sample;

Variant currency(std::int64_t scaled) { return Variant(CurrencyValue{scaled}); }
Bytes bytesOf(std::initializer_list<int> list) {
  Bytes b;
  for (int v : list) b.push_back(static_cast<std::uint8_t>(v));
  return b;
}

// ---- the samples written by ADO ----

TEST(RowsetSamples, ShippersFromTheDocumentationLoadWithProviderMetadata) {
  RecordsetPtr rs = opened(sample("sample_a_shippers.xml"));
  ASSERT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields(0).Name(), "ShipperID");
  EXPECT_EQ(rs->Fields(0).Type(), adInteger);
  EXPECT_EQ(rs->Fields(0).Precision(), 10);
  EXPECT_TRUE(rs->Fields(0).Attributes() & adFldKeyColumn);
  EXPECT_FALSE(rs->Fields(0).Attributes() & adFldMayBeNull);
  EXPECT_EQ(rs->Fields(1).Type(), adVarWChar);
  EXPECT_EQ(rs->Fields(1).DefinedSize(), 40);
  EXPECT_TRUE(rs->Fields(1).Attributes() & adFldIsNullable);
  EXPECT_EQ(rs->fieldDefs()[1].baseTable, "shippers");
  ASSERT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields("shipperid").Value(), Variant(std::int32_t{1}));
  EXPECT_EQ(rs->Fields("CompanyName").Value(), Variant("Speedy Express"));
  rs->MoveLast();
  EXPECT_EQ(rs->Fields(2).Value(), Variant("(503) 555-9931"));
  EXPECT_EQ(rs->Status(), adRecUnmodified);

  // Re-saved in ADO's own layout, with the metadata kept.
  const std::string saved = rs->SaveXml();
  EXPECT_NE(saved.find("\t\t<s:AttributeType name='ShipperID' rs:number='1' rs:basetable='shippers' "
                       "rs:basecolumn='ShipperID' rs:keycolumn='true'>\r\n"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true' "
                       "rs:maybenull='false'/>"),
            std::string::npos);
  EXPECT_NE(saved.find("\t<z:row ShipperID='2' CompanyName='United Package' Phone='(503) 555-3199'/>\r\n"),
            std::string::npos);
}

TEST(RowsetSamples, BasicTypesOfAFabricatedRecordsetArePendingInserts) {
  RecordsetPtr rs = opened(sample("sample_c_types_basic.xml"));
  const DataTypeEnum types[] = {adInteger, adBoolean, adCurrency, adDouble, adDate};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(rs->Fields(i).Type(), types[i]) << i;
  EXPECT_EQ(rs->Fields(4).DefinedSize(), 16);
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Status(), adRecNew);
  EXPECT_EQ(rs->Fields("ID").Value(), Variant(std::int32_t{1}));
  EXPECT_EQ(rs->Fields("FLAG").Value(), Variant(true));
  EXPECT_EQ(rs->Fields("AMOUNT").Value(), currency(12345600));
  EXPECT_EQ(rs->Fields("RATIO").Value(), Variant(3.14159));
  EXPECT_EQ(rs->Fields("WHEN_AT").Value(), Variant(makeDate(2001, 2, 3, 4, 5, 6)));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("ID").Value(), Variant(std::int32_t{-2}));
  EXPECT_EQ(rs->Fields("FLAG").Value(), Variant(false));
  EXPECT_EQ(rs->Fields("AMOUNT").Value(), currency(-78900));
  EXPECT_EQ(rs->Fields("RATIO").Value(), Variant(-0.25));
  EXPECT_EQ(rs->Fields("WHEN_AT").Value(), Variant(makeDate(1999, 12, 31, 23, 59, 58)));
}

TEST(RowsetSamples, ForcedNullsAndEmptyStringsStayApart) {
  RecordsetPtr rs = opened(sample("sample_d_nulls.xml"));
  EXPECT_EQ(rs->Fields(1).Type(), adVarWChar);
  EXPECT_TRUE(rs->Fields("MAYBE_TEXT").Value().isNull());
  EXPECT_TRUE(rs->Fields("MAYBE_INT").Value().isNull());
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("MAYBE_TEXT").Value(), Variant(""));
  EXPECT_EQ(rs->Fields("MAYBE_INT").Value(), Variant(std::int32_t{0}));
}

TEST(RowsetSamples, BinaryFieldsReadAsByteArrays) {
  RecordsetPtr rs = opened(sample("sample_e_binary.xml"));
  EXPECT_EQ(rs->Fields(1).Type(), adBinary);
  EXPECT_EQ(rs->Fields(2).Type(), adLongVarBinary);
  EXPECT_EQ(rs->Fields(1).Value(), Variant(bytesOf({0x00, 0x01, 0x02, 0xff})));
  EXPECT_EQ(rs->Fields(2).Value(), Variant(bytesOf({0xde, 0xad, 0xbe, 0xef, 0x00, 0x10, 0x20, 0x30})));
  EXPECT_EQ(rs->Fields(2).ActualSize(), 8);
}

TEST(RowsetSamples, AliasedNamesAndEveryPendingState) {
  RecordsetPtr rs = opened(sample("sample_f_name_mapping.xml"));
  EXPECT_EQ(rs->Fields(1).Name(), "Field Space Text");
  EXPECT_EQ(rs->Fields(2).Name(), "1LeadingInteger");
  EXPECT_EQ(rs->Fields(3).Name(), "Name-With-Dash");
  EXPECT_EQ(rs->Fields(4).Name(), "한글 필드");
  EXPECT_EQ(rs->Fields(3).Type(), adVarChar);
  EXPECT_EQ(rs->Fields(4).Type(), adVarWChar);
  // The deleted row is not shown; the updated, unchanged and inserted ones are, in order.
  ASSERT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Status(), adRecModified);
  EXPECT_EQ(rs->Fields("field space text").Value(), Variant("alpha-updated"));
  EXPECT_EQ(rs->Fields("Field Space Text").OriginalValue(), Variant("alpha"));
  EXPECT_EQ(rs->Fields("한글 필드").Value(), Variant("한글_4_값"));
  EXPECT_EQ(rs->Fields("1LeadingInteger").Value(), Variant(std::int32_t{11}));
  rs->MoveNext();
  EXPECT_EQ(rs->Status(), adRecUnmodified);
  EXPECT_EQ(rs->Fields(0).Value(), Variant(std::int32_t{3}));
  rs->MoveNext();
  EXPECT_EQ(rs->Status(), adRecNew);
  EXPECT_EQ(rs->Fields(3).Value(), Variant("dash-four"));
}

TEST(RowsetSamples, UpdateOfOneFieldAndEscapedText) {
  RecordsetPtr rs = opened(sample("sample_g_varwchar_states.xml"));
  ASSERT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields("ID").Value(), Variant(std::int32_t{1}));  // unchanged by the update
  EXPECT_EQ(rs->Fields("VALUE_FIELD").Value(), Variant("한글"));
  EXPECT_EQ(rs->Fields("VALUE_FIELD").OriginalValue(), Variant(""));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("VALUE_FIELD").Value(), Variant("Joe's <xml> & data"));

  RecordsetPtr nulls = opened(sample("sample_g_varwchar_null_states.xml"));
  EXPECT_TRUE(nulls->Fields(1).Value().isNull());  // forced to NULL by the update
  EXPECT_EQ(nulls->Fields(1).OriginalValue(), Variant(""));
  nulls->MoveNext();
  EXPECT_TRUE(nulls->Fields(1).Value().isNull());
  nulls->MoveNext();
  EXPECT_EQ(nulls->Status(), adRecNew);
  EXPECT_TRUE(nulls->Fields(1).Value().isNull());
}

TEST(RowsetSamples, WrappedBinHexIgnoresTheLineBreaks) {
  RecordsetPtr rs = opened(sample("sample_h_longvarbinary_wrapping.xml"));
  const Bytes first = rs->Fields(1).Value().bytes();
  ASSERT_EQ(first.size(), 96u);  // 80 + 110 + 2 hex digits
  EXPECT_EQ(first[0], 0x00);
  EXPECT_EQ(first[1], 0x13);
  EXPECT_EQ(first[39], 0xe5);
  EXPECT_EQ(first[40], 0xf8);
  EXPECT_EQ(first[95], 0x0d);
}

TEST(RowsetSamples, ReSavedHandWrittenSchemaKeepsItsShape) {
  RecordsetPtr rs = opened(sample("sample_j_attribute_refs_roundtrip.xml"));
  EXPECT_EQ(rs->Fields(0).Name(), "Text First");
  EXPECT_EQ(rs->Fields(0).Type(), adBSTR);  // string, 4294967295, long: ADO's BSTR form
  EXPECT_EQ(rs->Fields(1).Type(), adInteger);
  EXPECT_EQ(rs->Fields(2).Type(), adLongVarBinary);
  EXPECT_EQ(rs->Fields(2).Value(), Variant(bytesOf({0x0a, 0x0b})));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("Number After Text").Value(), Variant(std::int32_t{20}));
  EXPECT_TRUE(rs->Fields("Binary Third").Value().isNull());
}

TEST(RowsetSamples, AdoWrittenDocumentsSaveBackByteForByte) {
  for (const char* name : {"sample_c_types_basic.xml", "sample_d_nulls.xml", "sample_e_binary.xml",
                           "sample_f_name_mapping.xml", "sample_g_varwchar_states.xml",
                           "sample_g_varwchar_null_states.xml", "sample_h_longvarbinary_wrapping.xml",
                           "sample_j_attribute_refs_roundtrip.xml"}) {
    const std::string original = sample(name);
    ASSERT_FALSE(original.empty()) << name;
    EXPECT_EQ(opened(original)->SaveXml(), original) << name;
  }
}

TEST(RowsetSamples, RawTabCrLfAndQuotesInValuesAsMdacWritesThem) {
  // After the text_escapes document: raw TAB, CR and LF inside values, &#x22; for '"', and a
  // start tag broken before its third attribute although the physical line is short.
  const std::string head = sample("sample_c_types_basic.xml").substr(0, sample("sample_c_types_basic.xml").find("\t\t<s:AttributeType"));
  const std::string schema =
      head +
      "\t\t<s:AttributeType name='ID' rs:number='1' rs:write='true'>\r\n"
      "\t\t\t<s:datatype dt:type='int' dt:maxLength='4' rs:precision='0' rs:fixedlength='true' rs:maybenull='false'/>\r\n"
      "\t\t</s:AttributeType>\r\n"
      "\t\t<s:AttributeType name='TXT_VAR' rs:number='2' rs:nullable='true' rs:write='true'>\r\n"
      "\t\t\t<s:datatype dt:type='string' rs:dbtype='str' dt:maxLength='400' rs:precision='0' rs:maybenull='false'/>\r\n"
      "\t\t</s:AttributeType>\r\n"
      "\t\t<s:AttributeType name='TXT_WIDE' rs:number='3' rs:nullable='true' rs:write='true'>\r\n"
      "\t\t\t<s:datatype dt:type='string' dt:maxLength='400' rs:precision='0' rs:maybenull='false'/>\r\n"
      "\t\t</s:AttributeType>\r\n"
      "\t\t<s:AttributeType name='TXT_LONG' rs:number='4' rs:nullable='true' rs:write='true'>\r\n"
      "\t\t\t<s:datatype dt:type='string' dt:maxLength='2000' rs:precision='0' rs:long='true' rs:maybenull='false'/>\r\n"
      "\t\t</s:AttributeType>\r\n"
      "\t\t<s:extends type='rs:rowbase'/>\r\n"
      "\t</s:ElementType>\r\n"
      "</s:Schema>\r\n";
  const std::string escaped = "row=1|phase=0|&#x22;dq&#x22;|&#x27;sq&#x27;|&#x3c;&#x26;&#x3e;|tab\tcr\rlf\nend";
  const std::string doc = schema +
                          "<rs:data>\r\n"
                          "\t<z:row ID='1' TXT_VAR='" + escaped + "' TXT_WIDE='" + escaped +
                          "|wide=한글_값_€'\r\n"
                          "\t\t TXT_LONG='" + escaped + "'/>\r\n"
                          "</rs:data>\r\n"
                          "</xml>";
  RecordsetPtr rs = opened(doc);
  const std::string plain = "row=1|phase=0|\"dq\"|'sq'|<&>|tab\tcr\rlf\nend";
  EXPECT_EQ(rs->Fields("TXT_VAR").Value(), Variant(plain));
  EXPECT_EQ(rs->Fields("TXT_WIDE").Value(), Variant(plain + "|wide=한글_값_€"));
  EXPECT_EQ(rs->Fields("TXT_LONG").Value(), Variant(plain));
  EXPECT_EQ(rs->SaveXml(), doc);
}

// ---- everything we save loads back equal ----

struct TypeCase {
  const char* name;
  DataTypeEnum type;
  std::int64_t size;
  Variant typical;
  Variant edge;
};

std::vector<TypeCase> everyType() {
  Bytes longBytes;
  for (int i = 0; i < 300; ++i) longBytes.push_back(static_cast<std::uint8_t>(i * 37));
  return {
      {"SMALL", adSmallInt, 0, Variant(std::int16_t{-1234}), Variant(std::int16_t{-32768})},
      {"INT", adInteger, 0, Variant(std::int32_t{123456}), Variant(std::int32_t{2147483647})},
      {"SINGLE", adSingle, 0, Variant(1.25f), Variant(-0.1f)},
      {"DOUBLE", adDouble, 0, Variant(3.14159), Variant(-1.0e300)},
      {"MONEY", adCurrency, 0, currency(12345600), currency(INT64_MIN)},
      {"WHEN", adDate, 0, Variant(makeDate(2026, 6, 12, 14, 30, 15)), Variant(makeDate(1899, 12, 30))},
      {"BSTR_TEXT", adBSTR, 0, Variant("넓은 문자열"), Variant("")},
      {"FLAG", adBoolean, 0, Variant(true), Variant(false)},
      {"TINY", adTinyInt, 0, Variant(std::int16_t{-128}), Variant(std::int16_t{127})},
      {"UTINY", adUnsignedTinyInt, 0, Variant(std::uint8_t{255}), Variant(std::uint8_t{0})},
      {"BIG", adBigInt, 0, Variant(std::int64_t{-9223372036854775807LL - 1}), Variant(std::int64_t{42})},
      {"GUID", adGUID, 0, Variant("{01234567-89AB-CDEF-0123-456789ABCDEF}"), Variant("{00000000-0000-0000-0000-000000000000}")},
      {"FIXED_BIN", adBinary, 4, Variant(bytesOf({0, 1, 2, 0xff})), Variant(bytesOf({0xde, 0xad, 0xbe, 0xef}))},
      {"CHAR10", adChar, 10, Variant("abc       "), Variant("가나다       ")},
      {"WCHAR5", adWChar, 5, Variant("한글   "), Variant("     ")},
      {"DECIMAL", adDecimal, 0, Variant::decimal(-1234.5678), Variant::decimal(0)},
      {"NUMERIC", adNumeric, 0, Variant::decimal(-1.2345), Variant::decimal(0)},
      {"DBDATE", adDBDate, 0, Variant(makeDate(2024, 2, 29)), Variant(makeDate(100, 1, 1))},
      {"DBTIME", adDBTime, 0, Variant(DateValue{0.5}), Variant(DateValue{0})},
      {"STAMP", adDBTimeStamp, 0, Variant(makeDate(2038, 1, 19, 3, 14, 7.125)), Variant(makeDate(9999, 12, 31, 23, 59, 59))},
      {"VARCHAR", adVarChar, 200, Variant("결과 'quoted' \"double\" <tag> & amp"), Variant("")},
      {"LONGVARCHAR", adLongVarChar, 100000, Variant("line1\r\nline2\ttab\nend"), Variant(std::string(3000, 'x'))},
      {"VARWCHAR", adVarWChar, 50, Variant("한글 텍스트 €"), Variant("control\x01char")},
      {"LONGVARWCHAR", adLongVarWChar, 1000000, Variant("  leading and trailing blanks  "), Variant(std::string("nul\0in", 6))},
      {"VARBIN", adVarBinary, 16, Variant(bytesOf({0x0a, 0x0b})), Variant(Bytes())},
      {"LONGVARBIN", adLongVarBinary, 100000, Variant(longBytes), Variant(bytesOf({0}))},
      {"VARIANT_TEXT", adVariant, 0, Variant("아무 값"), Variant("")},
  };
}

TEST(RowsetRoundTrip, EveryTypeWithNullsAndEdgesLoadsBackEqual) {
  const std::vector<TypeCase> cases = everyType();
  RecordsetPtr rs = Recordset::create();
  for (const TypeCase& c : cases) rs->Fields().Append(c.name, c.type, c.size, adFldIsNullable);
  rs->Fields("NUMERIC").setPrecision(18);
  rs->Fields("NUMERIC").setNumericScale(4);
  rs->Fields("DECIMAL").setPrecision(18);
  rs->Fields("DECIMAL").setNumericScale(4);
  rs->Open();
  for (int row = 0; row < 3; ++row) {
    rs->AddNew();
    if (row == 1) continue;  // the middle row stays NULL everywhere
    for (std::size_t i = 0; i < cases.size(); ++i)
      rs->Fields(static_cast<int>(i)).setValue(row == 0 ? cases[i].typical : cases[i].edge);
    rs->Update();
  }
  const std::string saved = rs->SaveXml();
  RecordsetPtr back = opened(saved);
  ASSERT_EQ(back->Fields().Count(), static_cast<int>(cases.size()));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const int f = static_cast<int>(i);
    EXPECT_EQ(back->Fields(f).Name(), cases[i].name);
    EXPECT_EQ(back->Fields(f).Type(), cases[i].type) << cases[i].name;
    EXPECT_EQ(back->Fields(f).DefinedSize(), rs->Fields(f).DefinedSize()) << cases[i].name;
    EXPECT_EQ(back->Fields(f).Attributes(), rs->Fields(f).Attributes()) << cases[i].name;
    EXPECT_EQ(back->Fields(f).Precision(), rs->Fields(f).Precision()) << cases[i].name;
    EXPECT_EQ(back->Fields(f).NumericScale(), rs->Fields(f).NumericScale()) << cases[i].name;
  }
  ASSERT_EQ(back->RecordCount(), 3);
  for (int row = 0; row < 3; ++row) {
    back->setAbsolutePosition(row + 1);
    rs->setAbsolutePosition(row + 1);
    EXPECT_EQ(back->Status(), adRecNew);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const int f = static_cast<int>(i);
      const Variant want = rs->Fields(f).Value();
      EXPECT_EQ(back->Fields(f).Value(), want) << cases[i].name << " row " << row;
      EXPECT_EQ(back->Fields(f).Value().type(), want.type()) << cases[i].name << " row " << row;
      if (row == 1) {
        EXPECT_TRUE(want.isNull());
      }
    }
  }
  // And a second save is the same document.
  EXPECT_EQ(back->SaveXml(), saved);
}

TEST(RowsetRoundTrip, FixedTextIsPaddedAndValuesWrittenInAdoForms) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("C", adChar, 4);
  rs->Fields().Append("D", adDouble);
  rs->Fields().Append("M", adCurrency);
  rs->Fields().Append("N", adNumeric);
  rs->Fields("N").setNumericScale(10);
  rs->Fields("N").setPrecision(28);
  rs->Open();
  rs->AddNew();
  rs->Fields("C").setValue("A");
  rs->Fields("D").setValue(3.14159);
  rs->Fields("M").setValue(currency(-78900));
  rs->Fields("N").setValue(Variant::decimal(0));
  rs->Update();
  EXPECT_EQ(rs->Fields("C").Value(), Variant("A   "));
  EXPECT_NE(rs->SaveXml().find("\t\t<z:row C='A   ' D='3.1415899999999999' M='-7.89' N='.0000000000'/>\r\n"),
            std::string::npos)
      << rs->SaveXml();
}

// Rows of values held elsewhere (a query's result) give the document a store of unchanged
// records gives: coerced values, escapes, NULLs, padded text, wrapped bin.hex, line breaks.
TEST(RowsetRoundTrip, RowsOfValuesWriteWhatAStoreOfTheSameRowsWrites) {
  std::vector<FieldDef> fields(7);
  const std::pair<const char*, DataTypeEnum> kinds[] = {{"id", adInteger},     {"big", adBigInt},
                                                        {"x", adDouble},       {"이름", adVarWChar},
                                                        {"code", adChar},      {"blob", adLongVarBinary},
                                                        {"memo", adLongVarWChar}};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i].name = kinds[i].first;
    fields[i].type = kinds[i].second;
    fields[i].definedSize = kinds[i].second == adChar ? 4 : 200;
    fields[i].attributes = adFldIsNullable | adFldMayBeNull;
  }
  const std::vector<std::vector<Variant>> rows = {
      {Variant(std::int64_t{7}), Variant(std::int64_t{1} << 40), Variant(0.1), Variant("타르빅 '<&>\"\t\x01"),
       Variant("A"), Variant(Bytes(60, 0xAB)), Variant(std::string(150, 'm'))},
      {Variant(Null), Variant(Null), Variant("2.5"), Variant(std::int64_t{42}), Variant(Null),
       Variant(bytesOf({0, 1})), Variant()},
  };
  RowStore store;
  store.reset(fields.size());
  for (const auto& values : rows) {
    const std::uint32_t slot = store.addSlot();
    for (std::size_t i = 0; i < fields.size(); ++i)
      store.put(store.cells(slot)[i], coerce(fields[i].type, fields[i].definedSize, values[i]));
    store.rows().push_back(RowRef{slot, RowRef::kNoSlot, adRecUnmodified});
  }
  std::string fromStore, fromValues;
  RowsetWriter::write(fields, store, fromStore);
  RowsetWriter::write(fields, rows, fromValues);
  EXPECT_EQ(fromValues, fromStore);
  EXPECT_NE(fromValues.find("code='A   '"), std::string::npos);
  EXPECT_NE(fromValues.find("x='2.5'"), std::string::npos);
}

TEST(RowsetRoundTrip, NamesThatAreNotXmlNamesGetAliases) {
  RecordsetPtr rs = Recordset::create();
  for (const char* name : {"ID", "Field Space Text", "1LeadingInteger", "Name-With-Dash", "한글 필드", "c1", "xmlThing"})
    rs->Fields().Append(name, adInteger);
  EXPECT_EQ(RowsetWriter::xmlNames(rs->fieldDefs()),
            (std::vector<std::string>{"ID", "c1_1", "c2", "c3", "c4", "c1", "c6"}));
  rs->Open();
  rs->AddNew();
  for (int i = 0; i < 7; ++i) rs->Fields(i).setValue(std::int32_t{i * 10});
  const std::string saved = rs->SaveXml();
  EXPECT_NE(saved.find("<s:AttributeType name='c2' rs:name='1LeadingInteger' rs:number='3' rs:write='true'>"),
            std::string::npos);
  EXPECT_NE(saved.find("<s:AttributeType name='c4' rs:name='한글 필드' rs:number='5' rs:write='true'>"), std::string::npos);
  RecordsetPtr back = opened(saved);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(back->Fields(i).Name(), rs->Fields(i).Name());
    EXPECT_EQ(back->Fields(i).Value(), Variant(std::int32_t{i * 10}));
  }
}

TEST(RowsetRoundTrip, PendingUpdatesSaveTheChangedFieldsAndTheOriginal) {
  RecordsetPtr rs = opened(sample("sample_j_attribute_refs_roundtrip.xml"));  // two unchanged rows
  rs->Fields("Text First").setValue("alpha-2");
  rs->Fields("Binary Third").setValue(Null);
  rs->Update();
  EXPECT_EQ(rs->Status(), adRecModified);
  rs->MoveNext();
  rs->Fields(1).setValue(std::int32_t{20});  // the same value: no change
  rs->Update();
  EXPECT_EQ(rs->Status(), adRecUnmodified);
  const std::string saved = rs->SaveXml();
  EXPECT_EQ(dataSection(saved),
            "<rs:data>\r\n"
            "\t<rs:update>\r\n"
            "\t\t<rs:original>\r\n"
            "\t\t\t<z:row c0='alpha' c1='10' c2='0a0b'/>\r\n"
            "\t\t</rs:original>\r\n"
            "\t\t<z:row c0='alpha-2' rs:forcenull='c2'/>\r\n"
            "\t</rs:update>\r\n"
            "\t<z:row c0='beta' c1='20'/>\r\n"
            "</rs:data>\r\n"
            "</xml>");
  RecordsetPtr back = opened(saved);
  EXPECT_EQ(back->Status(), adRecModified);
  EXPECT_EQ(back->Fields(0).Value(), Variant("alpha-2"));
  EXPECT_EQ(back->Fields(0).OriginalValue(), Variant("alpha"));
  EXPECT_TRUE(back->Fields(2).Value().isNull());
  EXPECT_EQ(back->Fields(2).OriginalValue(), Variant(bytesOf({0x0a, 0x0b})));
  EXPECT_EQ(back->SaveXml(), saved);
}

// ---- the recordsets the system builds ----

TEST(SystemRecordsets, FailureRecordsetWithTheTwoLineMessage) {
  const std::string message = "자료저장소에 접속 할 수 없습니다.\r\n인터넷이 사용가능한지 확인하시기 바랍니다.";
  RecordsetPtr rs = Recordset::create();
  rs->setCursorLocation(adUseClient);
  rs->Fields().Append("오류발생", adVarChar, 65534);
  rs->Open();
  rs->AddNew();
  rs->Fields(0).setValue(message);
  rs->Update();
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  EXPECT_EQ(rs->Fields(0).Value(), Variant(message));
  EXPECT_EQ(rs->Fields(0).ActualSize(), static_cast<std::int64_t>(text::ansiByteLength(message)));

  const std::string saved = rs->SaveXml();
  EXPECT_NE(saved.find("\t\t<s:AttributeType name='c0' rs:name='오류발생' rs:number='1' rs:write='true'>\r\n"
                       "\t\t\t<s:datatype dt:type='string' rs:dbtype='str' dt:maxLength='65534' rs:precision='0'"
                       " rs:maybenull='false'/>\r\n"),
            std::string::npos)
      << saved;
  RecordsetPtr back = opened(saved);
  EXPECT_EQ(back->Fields(0).Name(), "오류발생");
  EXPECT_EQ(back->Fields(0).Type(), adVarChar);
  EXPECT_EQ(back->Fields(0).DefinedSize(), 65534);
  EXPECT_EQ(back->Fields(0).Value(), Variant(message));
}

TEST(SystemRecordsets, NoRowsRecordsetHasOneFieldAndNoRecord) {
  RecordsetPtr rs = Recordset::create();
  rs->setCursorLocation(adUseClient);
  rs->Fields().Append("결과없음", adVarChar, 65534);
  rs->Open();
  EXPECT_TRUE(rs->Bof());
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  const std::string saved = rs->SaveXml();
  EXPECT_EQ(dataSection(saved), "<rs:data>\r\n</rs:data>\r\n</xml>");
  RecordsetPtr back = opened(saved);
  EXPECT_EQ(back->Fields(0).Name(), "결과없음");
  EXPECT_TRUE(back->Eof());
  EXPECT_EQ(back->CursorLocation(), adUseClient);
}

TEST(SystemRecordsets, DataRequestWithSqlDatabaseAndBytes) {
  RecordsetPtr rs = Recordset::create();
  rs->setCursorLocation(adUseClient);
  rs->Fields().Append("SQL", adVarChar, 65534);
  rs->Fields().Append("DATABASE", adVarChar, 65534);
  rs->Fields().Append("BYTESDATA", adVariant, 0);
  EXPECT_EQ(rs->Fields("BYTESDATA").DefinedSize(), 0);
  rs->Open();
  rs->AddNew();
  rs->Fields("SQL").setValue("SELECT * FROM qz_files WHERE name = '견적서'");
  rs->Fields("DATABASE").setValue("qz_update");
  rs->Fields("BYTESDATA").AppendChunk(Variant(bytesOf({0x00, 0xAB, 0x10, 0xFF})));
  EXPECT_EQ(rs->EditMode(), adEditAdd);  // left in edit mode; saving ends the edit
  EXPECT_EQ(rs->Fields("BYTESDATA").Value(), Variant(bytesOf({0x00, 0xAB, 0x10, 0xFF})));

  const std::string saved = rs->SaveXml();
  EXPECT_NE(saved.find("<s:AttributeType name='BYTESDATA' rs:number='3' rs:write='true'>\r\n"
                       "\t\t\t<s:datatype dt:type='string' rs:maybenull='false'/>"),
            std::string::npos)
      << saved;
  EXPECT_EQ(dataSection(saved),
            "<rs:data>\r\n"
            "\t<rs:insert>\r\n"
            "\t\t<z:row SQL='SELECT * FROM qz_files WHERE name = &#x27;견적서&#x27;' DATABASE='qz_update'"
            " BYTESDATA='00ab10ff'/>\r\n"
            "\t</rs:insert>\r\n"
            "</rs:data>\r\n"
            "</xml>");
  RecordsetPtr back = opened(saved);
  EXPECT_EQ(back->Fields("BYTESDATA").Type(), adVariant);
  EXPECT_EQ(back->Fields("bytesdata").Value(), Variant("00ab10ff"));  // the hex text, as ADO would read it
  EXPECT_EQ(back->Fields("SQL").Value(), rs->Fields("SQL").Value());
  EXPECT_EQ(back->Status(), adRecNew);
}

TEST(SystemRecordsets, QueryReplyPrecededByTheStylesheetInstruction) {
  const std::string body = sample("sample_f_name_mapping.xml");
  RecordsetPtr rs = Recordset::create();
  rs->OpenXml("<?xml:stylesheet type=\"text/xsl\" href=\"Recordsetxml.xsl\"?>" + body, adOpenStatic, adLockOptimistic);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->CursorType(), adOpenStatic);
  EXPECT_EQ(rs->LockType(), adLockOptimistic);
  EXPECT_EQ(rs->CursorLocation(), adUseClient);
  // With a declaration before it, naming an encoding the text no longer has.
  RecordsetPtr rs2 = Recordset::create();
  rs2->OpenXml("<?xml version='1.0' encoding='euc-kr'?>\r\n<?xml:stylesheet type=\"text/xsl\" href=\"Recordsetxml.xsl\"?>\r\n" + body);
  EXPECT_EQ(rs2->Fields(4).Name(), "한글 필드");
}

TEST(SystemRecordsets, DataReplyOpenedOnAStreamAsADynamicCursor) {
  const std::string body = sample("sample_c_types_basic.xml");
  RecordsetPtr rs = Recordset::create();
  rs->OpenStream(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()), adOpenDynamic,
                 adLockOptimistic, 64);
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->CursorType(), adOpenStatic);  // persisted recordsets are static, as in ADO
}

// ---- byte streams ----

std::span<const std::uint8_t> span(const Bytes& b) { return {b.data(), b.size()}; }

TEST(RowsetStreams, EncodingsByMarkAndDeclaration) {
  const std::string utf8 = sample("sample_f_name_mapping.xml");
  auto check = [](const Bytes& bytes, const char* what) {
    RecordsetPtr rs = Recordset::create();
    const LoadResult r = rs->loadStream(span(bytes));
    ASSERT_TRUE(r) << what << ": " << r.description;
    EXPECT_EQ(rs->Fields(4).Name(), "한글 필드") << what;
    EXPECT_EQ(rs->Fields(4).Value(), Variant("한글_4_값")) << what;
  };
  Bytes withBom = {0xEF, 0xBB, 0xBF};
  withBom.insert(withBom.end(), utf8.begin(), utf8.end());
  check(withBom, "UTF-8 with a mark");

  Bytes utf16 = {0xFF, 0xFE};
  for (char32_t ch : text::toU32(utf8)) {
    utf16.push_back(static_cast<std::uint8_t>(ch & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(ch >> 8));
  }
  check(utf16, "UTF-16LE");

  const Bytes cp949 = text::toAnsi("<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n" + utf8);
  check(cp949, "declared EUC-KR");

  // Without a declaration the same CP949 bytes are not UTF-8: refused, not guessed.
  const Bytes undeclared = text::toAnsi(utf8);
  RecordsetPtr rs = Recordset::create();
  const LoadResult r = rs->loadStream(span(undeclared));
  EXPECT_EQ(r.status, LoadStatus::BadEncoding);
  EXPECT_EQ(rs->State(), adStateClosed);
}

TEST(RowsetStreams, SaveXmlBytesIsTheUtf8Text) {
  RecordsetPtr rs = opened(sample("sample_d_nulls.xml"));
  const std::vector<std::uint8_t> bytes = rs->SaveXmlBytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), sample("sample_d_nulls.xml"));
}

// ---- what the reader tolerates ----

std::string minimalDocument(const std::string& schemaBody, const std::string& rows,
                            const std::string& prefixes = "s:S dt:D rs:R z:Z") {
  std::string decl;
  const std::pair<const char*, const char*> uris[] = {{"S", "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882"},
                                                      {"D", "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882"},
                                                      {"R", "urn:schemas-microsoft-com:rowset"},
                                                      {"Z", "#RowsetSchema"}};
  std::size_t pos = 0;
  while (pos < prefixes.size()) {
    const std::size_t end = std::min(prefixes.find(' ', pos), prefixes.size());
    const std::string item = prefixes.substr(pos, end - pos);
    const std::string prefix = item.substr(0, item.find(':'));
    const std::string key = item.substr(item.find(':') + 1);
    for (const auto& [k, uri] : uris)
      if (key == k) decl += prefix.empty() ? std::string(" xmlns='") + uri + "'" : " xmlns:" + prefix + "='" + uri + "'";
    pos = end + 1;
  }
  return "<xml" + decl + "><s:Schema id='RowsetSchema'><s:ElementType name='row'>" + schemaBody +
         "</s:ElementType></s:Schema><rs:data>" + rows + "</rs:data></xml>";
}

TEST(RowsetTolerance, TypeOnTheAttributeTypeUntypedColumnsAndAliases) {
  RecordsetPtr rs = opened(minimalDocument(
      "<s:AttributeType name='Phone' dt:type='string'/>"
      "<s:AttributeType name='Untyped'/>"
      "<s:AttributeType name='N'><s:datatype dt:type='i4'/></s:AttributeType>"
      "<s:AttributeType name='R'><s:datatype dt:type='r8'/></s:AttributeType>"
      "<s:AttributeType name='B'><s:datatype dt:type='boolean'/></s:AttributeType>"
      "<s:AttributeType name='H'><s:datatype dt:type='bin.hex'/></s:AttributeType>"
      "<s:AttributeType name='B64'><s:datatype dt:type='bin.base64'/></s:AttributeType>"
      "<s:AttributeType name='U8'><s:datatype dt:type='ui8'/></s:AttributeType>"
      "<s:Extends type='rs:rowbase'/>",
      "<z:row Phone='555' Untyped='free text' N='7' R='1E+20' B='1' H='0A0B' B64='AAEC/w==' U8='18446744073709551615'"
      " ignored='x'/><z:row B='false'/>"));
  EXPECT_EQ(rs->Fields("Phone").Type(), adVariant);  // string without a length: ADO's Variant form
  EXPECT_EQ(rs->Fields("Untyped").Type(), adLongVarWChar);
  EXPECT_EQ(rs->Fields("Untyped").DefinedSize(), 4294967295LL);
  EXPECT_EQ(rs->Fields("N").Value(), Variant(std::int32_t{7}));
  EXPECT_EQ(rs->Fields("R").Value(), Variant(1e20));
  EXPECT_EQ(rs->Fields("B").Value(), Variant(true));
  EXPECT_EQ(rs->Fields("H").Value(), Variant(bytesOf({0x0a, 0x0b})));
  EXPECT_EQ(rs->Fields("B64").Value(), Variant(bytesOf({0x00, 0x01, 0x02, 0xff})));
  EXPECT_EQ(rs->Fields("U8").Value(), Variant::decimal(18446744073709551615.0));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("B").Value(), Variant(false));
  EXPECT_TRUE(rs->Fields("Phone").Value().isNull());
  // Upper-case hex is re-written in lower case, the largest ui8 exactly.
  rs->MoveFirst();
  const std::string saved = rs->SaveXml();
  EXPECT_NE(saved.find("H='0a0b'"), std::string::npos);
  EXPECT_NE(saved.find("U8='18446744073709551615'"), std::string::npos);
  EXPECT_NE(saved.find("<s:AttributeType name='Untyped' rs:number='2'>\r\n"
                       "\t\t\t<s:datatype dt:type='string' dt:maxLength='4294967295' rs:long='true'/>"),
            std::string::npos)
      << saved;
}

TEST(RowsetTolerance, UnknownTypesReadAsTextAndSaveStably) {
  RecordsetPtr rs = opened(minimalDocument(
      "<s:AttributeType name='U'><s:datatype dt:type='stringC 20'/></s:AttributeType>"
      "<s:AttributeType name='L'><s:datatype dt:type='idref' dt:maxLength='9'/></s:AttributeType>"
      "<s:AttributeType name='C'><s:datatype dt:type='char'/></s:AttributeType>"
      "<s:AttributeType name='S'><s:datatype dt:type='string' rs:dbtype='odd'/></s:AttributeType>",
      "<z:row U='u' L='l' C='c' S='s'/>"));
  EXPECT_EQ(rs->Fields("U").Type(), adVariant);
  EXPECT_EQ(rs->Fields("L").Type(), adVarWChar);
  EXPECT_EQ(rs->Fields("C").Type(), adWChar);
  EXPECT_EQ(rs->Fields("C").DefinedSize(), 1);
  EXPECT_EQ(rs->Fields("S").Type(), adVariant);
  const std::string saved = rs->SaveXml();
  RecordsetPtr back = opened(saved);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(back->Fields(i).Type(), rs->Fields(i).Type()) << i;
    EXPECT_EQ(back->Fields(i).Value(), rs->Fields(i).Value()) << i;
  }
  EXPECT_EQ(back->SaveXml(), saved);
}

TEST(RowsetTolerance, SchemaLevelAttributeTypesReferencedInOrder) {
  RecordsetPtr rs = Recordset::create();
  rs->OpenXml(
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
      " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
      "<s:Schema id='RowsetSchema'>"
      "<s:AttributeType name='s1' rs:name='Number After Text' dt:type='int'/>"
      "<s:AttributeType name='s2' rs:name='Text First'/>"
      "<s:AttributeType name='unused'/>"
      "<s:AttributeType name='s3' rs:name='Binary Third' dt:type='bin.hex'/>"
      "<s:ElementType name='row' content='eltOnly'>"
      "<s:attribute type='s2'/><s:attribute type='s1'/><s:attribute type='s3'/>"
      "</s:ElementType></s:Schema>"
      "<rs:data><z:row s2='alpha' s1='10' s3='0A0B'/><z:row s2='beta' s1='20'/></rs:data></xml>");
  ASSERT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields(0).Name(), "Text First");
  EXPECT_EQ(rs->Fields(1).Name(), "Number After Text");
  EXPECT_EQ(rs->Fields(2).Name(), "Binary Third");
  EXPECT_EQ(rs->Fields(1).Value(), Variant(std::int32_t{10}));
  // Saved as MDAC re-saved it (column types aside: its untyped text is a long string).
  const std::string saved = rs->SaveXml();
  EXPECT_EQ(dataSection(saved), dataSection(sample("sample_j_attribute_refs_roundtrip.xml")));
}

TEST(RowsetTolerance, AnyPrefixesAndADefaultNamespaceForRows) {
  const std::string doc = minimalDocument("<x:AttributeType name='A'><x:datatype q:type='int'/></x:AttributeType>",
                                          "<row A='1'/><row A='2'/>", "x:S q:D rs:R :Z");
  std::string fixed = doc;
  // The minimal document names the schema elements with s:; use x: throughout instead.
  for (const char* from : {"<s:Schema", "</s:Schema", "<s:ElementType", "</s:ElementType"}) {
    std::string to = from;
    to.replace(to.find("s:"), 2, "x:");
    fixed.replace(fixed.find(from), std::strlen(from), to);
  }
  RecordsetPtr rs = opened(fixed);
  EXPECT_EQ(rs->Fields(0).Type(), adInteger);
  EXPECT_EQ(rs->RecordCount(), 2);
}

TEST(RowsetTolerance, NestedElementTypesAndUnknownElementsAreSkipped) {
  RecordsetPtr rs = opened(minimalDocument(
      "<s:AttributeType name='A'><s:datatype dt:type='int'/></s:AttributeType>"
      "<s:ElementType name='child'><s:AttributeType name='X'/></s:ElementType>",
      "<z:row A='1'><child X='9'/></z:row><mine:thing xmlns:mine='urn:x'/><!-- note --><z:row A='2'/>"));
  EXPECT_EQ(rs->Fields().Count(), 1);
  EXPECT_EQ(rs->RecordCount(), 2);
}

TEST(RowsetTolerance, NamespaceDeclaredOnTheRowItself) {
  RecordsetPtr rs = opened(minimalDocument("<s:AttributeType name='A'><s:datatype dt:type='int'/></s:AttributeType>",
                                           "<q:row xmlns:q='#RowsetSchema' A='5'/>"
                                           "<z:row xmlns:z='urn:other' A='6'/>"
                                           "<z:row A='7' xmlns:x='urn:x'/>"));
  ASSERT_EQ(rs->RecordCount(), 2);  // the second is not a row once its declaration applies
  EXPECT_EQ(rs->Fields(0).Value(), Variant(std::int32_t{5}));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields(0).Value(), Variant(std::int32_t{7}));
}

}  // namespace
}  // namespace veltrano::ado
