// Documents that are malformed, truncated or hostile: each gives a closed recordset with a
// reason (or the run-time error of OpenXml), never a crash or memory out of proportion; and a
// small fuzz run over truncations and byte flips of valid documents.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <random>

#include "ado_test_support.h"

namespace veltrano::ado {
namespace {

using test::sample;

const char* const kHead =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
    " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>";
const char* const kSchema =
    "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
    "<s:AttributeType name='ID'><s:datatype dt:type='int' dt:maxLength='4'/></s:AttributeType>"
    "<s:AttributeType name='TXT'><s:datatype dt:type='string' dt:maxLength='50'/></s:AttributeType>"
    "<s:AttributeType name='BIN'><s:datatype dt:type='bin.hex' dt:maxLength='50'/></s:AttributeType>"
    "<s:AttributeType name='WHEN'><s:datatype dt:type='dateTime' rs:dbtype='variantdate'/></s:AttributeType>"
    "<s:AttributeType name='OK'><s:datatype dt:type='boolean'/></s:AttributeType>"
    "</s:ElementType></s:Schema>";

std::string withRows(const std::string& rows) {
  return std::string(kHead) + kSchema + "<rs:data>" + rows + "</rs:data></xml>";
}

LoadResult load(const std::string& xml) {
  RecordsetPtr rs = Recordset::create();
  const LoadResult r = rs->loadXml(xml);
  EXPECT_EQ(rs->State(), r ? adStateOpen : adStateClosed);
  return r;
}

struct Hostile {
  const char* what;
  std::string xml;
  LoadStatus status;
};

std::vector<Hostile> hostileDocuments() {
  const std::string c = sample("sample_c_types_basic.xml");
  const std::string laughs =
      "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol 'lol'>"
      "<!ENTITY lol2 '&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;'>"
      "<!ENTITY lol3 '&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;'>"
      "<!ENTITY lol9 '&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;'>]>" +
      withRows("<z:row ID='1' TXT='&lol9;'/>");
  std::string wrongS = withRows("");
  wrongS.replace(wrongS.find("BDC6E3F0"), 8, "BDC6E3F1");
  std::string wrongRs = withRows("");
  wrongRs.replace(wrongRs.find("urn:schemas-microsoft-com:rowset"), 32, "urn:schemas-microsoft-com:rowsex");
  std::string wrongId = withRows("");
  wrongId.replace(wrongId.find("id='RowsetSchema'"), 17, "id='OtherSchema'");
  std::string noName = withRows("");
  noName.replace(noName.find("name='TXT'"), 10, "rs:name='TXT'");
  std::string twice = withRows("");
  twice.replace(twice.find("name='TXT'"), 10, "name='ID'");
  return {
      {"empty text", "", LoadStatus::NoDocument},
      {"blanks only", " \r\n\t ", LoadStatus::NoDocument},
      {"plain text", "조회된 결과값이 없습니다.", LoadStatus::Malformed},
      {"an HTML error page", "<html><body>500 Internal Server Error</body></html>", LoadStatus::NotARowset},
      {"truncated in half", c.substr(0, c.size() / 2), LoadStatus::Malformed},
      {"truncated inside a value", c.substr(0, c.find("1234.56") + 3), LoadStatus::Malformed},
      {"billion laughs", laughs, LoadStatus::DtdForbidden},
      {"a plain DOCTYPE", "<!DOCTYPE xml>" + c, LoadStatus::DtdForbidden},
      {"an undeclared entity", withRows("<z:row ID='1' TXT='&xxe;'/>"), LoadStatus::Malformed},
      {"an entity without end", withRows("<z:row ID='1' TXT='a & b'/>"), LoadStatus::Malformed},
      {"a reference to no character", withRows("<z:row TXT='&#xD800;'/>"), LoadStatus::Malformed},
      {"a huge character reference", withRows("<z:row TXT='&#99999999999;'/>"), LoadStatus::Malformed},
      {"a duplicate known attribute", withRows("<z:row ID='1' ID='2'/>"), LoadStatus::Malformed},
      {"a duplicate unknown attribute", withRows("<z:row ID='1' X='1' Y='2' X='3'/>"), LoadStatus::Malformed},
      {"a duplicate schema attribute", withRows("").replace(withRows("").find("name='ID'"), 9, "name='ID' name='ID'"),
       LoadStatus::Malformed},
      {"a '<' inside a value", withRows("<z:row TXT='a<b'/>"), LoadStatus::Malformed},
      {"a control character inside a value", withRows("<z:row TXT='a\x01b'/>"), LoadStatus::Malformed},
      {"invalid UTF-8 inside a value", withRows("<z:row TXT='\xB0\xA1'/>"), LoadStatus::Malformed},
      {"text before the document", "junk" + c, LoadStatus::Malformed},
      {"text after the document", c + "junk", LoadStatus::Malformed},
      {"a second document element", c + "<xml/>", LoadStatus::Malformed},
      {"an unterminated comment", "<!-- " + c, LoadStatus::Malformed},
      {"a wrong schema namespace", wrongS, LoadStatus::NotARowset},
      {"a wrong rowset namespace", wrongRs, LoadStatus::NotARowset},
      {"a wrong schema id", wrongId, LoadStatus::NotARowset},
      {"no schema", std::string(kHead) + "<rs:data/></xml>", LoadStatus::NotARowset},
      {"no data", std::string(kHead) + kSchema + "</xml>", LoadStatus::NotARowset},
      {"a field without a name", noName, LoadStatus::BadSchema},
      {"two fields of one name", twice, LoadStatus::BadSchema},
      {"no fields", std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'/></s:Schema><rs:data/></xml>",
       LoadStatus::BadSchema},
      {"a reference to no AttributeType",
       std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'><s:attribute type='nope'/>"
                            "</s:ElementType></s:Schema><rs:data/></xml>",
       LoadStatus::BadSchema},
      {"a bad maxLength", withRows("").replace(withRows("").find("dt:maxLength='4'"), 16, "dt:maxLength='x'"),
       LoadStatus::BadSchema},
      {"text in an int", withRows("<z:row ID='one'/>"), LoadStatus::BadValue},
      {"an int out of range", withRows("<z:row ID='2147483648'/>"), LoadStatus::BadValue},
      {"a date that does not exist", withRows("<z:row WHEN='2001-02-30T00:00:00'/>"), LoadStatus::BadValue},
      {"a locale date in a dateTime", withRows("<z:row WHEN='6/12/2026 2:30:15 PM'/>"), LoadStatus::BadValue},
      {"odd hex", withRows("<z:row BIN='abc'/>"), LoadStatus::BadValue},
      {"not hex", withRows("<z:row BIN='zz'/>"), LoadStatus::BadValue},
      {"a Boolean that is not one", withRows("<z:row OK='yes'/>"), LoadStatus::BadValue},
      {"a changed row without its original", withRows("<rs:update><z:row ID='1'/></rs:update>"), LoadStatus::NotARowset},
  };
}

TEST(RowsetHostile, EachBadDocumentIsRefusedWithItsReason) {
  for (const Hostile& h : hostileDocuments()) {
    const LoadResult r = load(h.xml);
    EXPECT_EQ(r.status, h.status) << h.what << ": " << r.description;
    EXPECT_FALSE(r.description.empty()) << h.what;
    EXPECT_LE(r.offset, h.xml.size()) << h.what;
  }
}

TEST(RowsetHostile, OpenXmlRaisesAndLeavesTheRecordsetClosed) {
  RecordsetPtr rs = Recordset::create();
  rs->Fields().Append("KEEP", adInteger);
  try {
    rs->OpenXml(withRows("<z:row ID='1' ID='2'/>"));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kErrorBadXml);
    EXPECT_NE(e.description().find("duplicate attribute 'ID'"), std::string::npos) << e.description();
  }
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(rs->Fields(0).Name(), "KEEP");  // nothing half-loaded
  const std::vector<std::uint8_t> junk = {0xFF, 0x00, 0x3C, 0x78};
  EXPECT_EQ(test::errorOf([&] { rs->OpenStream(junk); }), kErrorBadXml);
  EXPECT_EQ(rs->State(), adStateClosed);
}

TEST(RowsetHostile, OffsetsPointAtTheFault) {
  const std::string dup = withRows("<z:row ID='1' TXT='a' ID='2'/>");
  LoadResult r = load(dup);
  EXPECT_EQ(dup.substr(r.offset, 6), "ID='2'");
  const std::string bad = withRows("<z:row ID='1' TXT='x&bad;'/>");
  r = load(bad);
  EXPECT_EQ(bad.substr(r.offset, 5), "&bad;");
  const std::string value = withRows("<z:row ID='1'/><z:row ID='x2'/>");
  r = load(value);
  EXPECT_EQ(value.substr(r.offset, 2), "x2");
  EXPECT_NE(r.description.find("field 'ID'"), std::string::npos) << r.description;
}

TEST(RowsetHostile, HugeValuesDeepNestingAndManyAttributesStayBounded) {
  // A valid 8 MB value loads whole.
  const std::string big(8u << 20, 'x');
  RecordsetPtr rs = Recordset::create();
  ASSERT_TRUE(rs->loadXml(withRows("<z:row ID='1' TXT='" + big + "'/>")));
  EXPECT_EQ(rs->Fields("TXT").Value().str().size(), big.size());
  EXPECT_LT(rs->memoryBytes(), 3 * big.size());

  // 200,000 nested unknown elements inside the data: skipped, no recursion.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  EXPECT_TRUE(load(withRows("<z:row ID='1'/>" + deep)));
  // The same nesting left open is malformed.
  EXPECT_EQ(load(withRows(deep.substr(0, deep.size() / 2))).status, LoadStatus::Malformed);

  // 100,000 distinct unknown attributes on a row are ignored; one repeated is found.
  std::string attributes;
  for (int i = 0; i < 100000; ++i) attributes += " a" + std::to_string(i) + "='1'";
  EXPECT_TRUE(load(withRows("<z:row ID='1'" + attributes + "/>")));
  EXPECT_EQ(load(withRows("<z:row ID='1'" + attributes + " a77='2'/>")).status, LoadStatus::Malformed);
}

TEST(RowsetHostile, AWideSchemaWithManyEmptyRowsIsRefusedNotAllocated) {
  std::string schema = std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'>";
  for (int i = 0; i < 3000; ++i) schema += "<s:AttributeType name='f" + std::to_string(i) + "'/>";
  schema += "</s:ElementType></s:Schema><rs:data>";
  std::string rows;
  for (int i = 0; i < 20000; ++i) rows += "<z:row/>";
  // 60 million cells asked for by a document of about 260 KB.
  EXPECT_EQ(load(schema + rows + "</rs:data></xml>").status, LoadStatus::TooLarge);
  // A few such rows are fine.
  EXPECT_TRUE(load(schema + "<z:row/><z:row f2999='last'/></rs:data></xml>"));
}

TEST(RowsetHostile, ThousandsOfFieldsOrDeclarationsCostNoQuadraticTime) {
  // 60,000 fields, the last two sharing a name: found without comparing every pair.
  std::string schema = std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'>";
  for (int i = 0; i < 60000; ++i) schema += "<s:AttributeType name='f" + std::to_string(i) + "'/>";
  EXPECT_EQ(load(schema + "<s:AttributeType name='f59999'/></s:ElementType></s:Schema><rs:data/></xml>").status,
            LoadStatus::BadSchema);
  EXPECT_TRUE(load(schema + "</s:ElementType></s:Schema><rs:data><z:row f59999='x'/></rs:data></xml>"));
  // 100,000 namespace declarations on the data element would make every row's lookup long.
  std::string declarations;
  for (int i = 0; i < 100000; ++i) declarations += " xmlns:p" + std::to_string(i) + "='urn:x'";
  std::string rows;
  for (int i = 0; i < 1000; ++i) rows += "<z:row ID='1'/>";
  std::string doc = withRows(rows);
  doc.insert(doc.find("<rs:data") + 8, declarations);
  EXPECT_EQ(load(doc).status, LoadStatus::TooLarge);
}

TEST(RowsetHostile, RowsInAnotherNamespaceAreNotRows) {
  std::string doc = withRows("<z:row ID='1'/>");
  doc.replace(doc.find("#RowsetSchema"), 13, "#OtherSchema");
  RecordsetPtr rs = Recordset::create();
  ASSERT_TRUE(rs->loadXml(doc));
  EXPECT_EQ(rs->RecordCount(), 0);
}

// ---- values normalised to their field's type ----

std::string oneField(const std::string& datatype, const std::string& value) {
  return std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'><s:AttributeType name='v'>" +
         "<s:datatype " + datatype + "/></s:AttributeType></s:ElementType></s:Schema><rs:data><z:row v='" + value +
         "'/></rs:data></xml>";
}

// What the saved document holds as the value of v.
std::string savedValue(const std::string& saved) {
  const std::size_t at = saved.find(" v='");
  if (at == std::string::npos) return "(none)";
  return saved.substr(at + 4, saved.find('\'', at + 4) - at - 4);
}

// The exact decimal digits of a double, as the C library prints them.
std::string exactDigits(double v, int scale) {
  char buf[600];
  std::snprintf(buf, sizeof buf, "%.*f", scale, v);
  return buf;
}

TEST(RowsetValues, LoadedValuesSaveAsReadAndSaveStably) {
  struct Case {
    const char* what;
    std::string datatype, value, saved;
  } cases[] = {
      {"a numeric of scale 255 far beyond a 400-byte buffer", "dt:type='number' rs:dbtype='numeric' rs:scale='255'",
       "1e200", exactDigits(1e200, 255)},
      {"a number without rs:dbtype keeps its decimals", "dt:type='number'", "12.5", "12.5"},
      {"a numeric without rs:scale keeps its decimals", "dt:type='number' rs:dbtype='numeric'", "-0.0625", "-0.0625"},
      {"a numeric of scale 2 holds two decimals", "dt:type='number' rs:dbtype='numeric' rs:scale='2'", "0.125", "0.12"},
      {"a numeric pads to its scale", "dt:type='number' rs:dbtype='numeric' rs:scale='3'", "7.5", "7.500"},
      {"the last instant of 9999 stays in 9999", "dt:type='dateTime'", "9999-12-31T23:59:59.9999",
       "9999-12-31T23:59:59.999"},
      {"a time before midnight stays before it", "dt:type='time'", "23:59:59.9999", "23:59:59.999"},
      {"a date holds no time of day", "dt:type='date'", "2024-02-29T18:00:00", "2024-02-29"},
  };
  for (const Case& c : cases) {
    RecordsetPtr rs = Recordset::create();
    const LoadResult r = rs->loadXml(oneField(c.datatype, c.value));
    ASSERT_TRUE(r) << c.what << ": " << r.description;
    const Variant read = rs->Fields("v").Value();
    const std::string saved = rs->SaveXml();
    EXPECT_EQ(savedValue(saved), c.saved) << c.what;
    RecordsetPtr again = Recordset::create();
    ASSERT_TRUE(again->loadXml(saved)) << c.what;
    EXPECT_EQ(again->Fields("v").Value().toString(), read.toString()) << c.what;  // read as it was first read
    EXPECT_EQ(again->SaveXml(), saved) << c.what;
  }
  // Not finite has no place in a numeric; a double holds it.
  EXPECT_EQ(load(oneField("dt:type='number' rs:dbtype='numeric'", "INF")).status, LoadStatus::BadValue);
  EXPECT_EQ(load(oneField("dt:type='number' rs:dbtype='decimal'", "nan")).status, LoadStatus::BadValue);
  EXPECT_TRUE(load(oneField("dt:type='float'", "INF")));
}

TEST(RowsetValues, AValueNoTextFormCarriesRaisesOverflowNamingItsField) {
  struct Case {
    DataTypeEnum type;
    Variant value;
  } cases[] = {
      {adNumeric, Variant::decimal(std::numeric_limits<double>::infinity())},
      {adDecimal, Variant::decimal(std::nan(""))},
      {adDate, Variant(DateValue{2958466.5})},   // 10000-01-01 12:00
      {adDBDate, Variant(DateValue{-693594.0})},  // 0000-12-31
  };
  for (const Case& c : cases) {
    RecordsetPtr rs = Recordset::create();
    rs->Fields().Append("AMOUNT", c.type);
    rs->Open();
    rs->AddNew();
    rs->Fields("AMOUNT").setValue(c.value);
    try {
      rs->SaveXml();
      ADD_FAILURE() << "saved " << c.type;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::kOverflow);
      EXPECT_NE(e.description().find("'AMOUNT'"), std::string::npos) << e.description();
    }
  }
}

// The peak resident memory of this process while `f` runs (VmHWM, reset first).
long peakKiB(const std::function<void()>& f) {
  std::ofstream("/proc/self/clear_refs") << "5";
  f();
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST(RowsetValues, CopiesOfOriginalRowsCountAgainstTheBudget) {
  // 8,000 originals without a changed row over 1,000 fields: each takes a second slot. The
  // loader may use up to 8 Mi cells plus 2 per byte of the document, 16 bytes each.
  std::string doc = std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'>";
  for (int i = 0; i < 1000; ++i) doc += "<s:AttributeType name='f" + std::to_string(i) + "'/>";
  doc += "</s:ElementType></s:Schema><rs:data><rs:update>";
  for (int i = 0; i < 8000; ++i) doc += "<rs:original><z:row/></rs:original>";
  doc += "</rs:update></rs:data></xml>";
  const long budgetKiB = static_cast<long>(((8u << 20) + 2 * doc.size()) * 16 / 1024);
  LoadResult r;
  const long before = peakKiB([] {});
  const long peak = peakKiB([&] { r = load(doc); });
  EXPECT_EQ(r.status, LoadStatus::TooLarge);
  ASSERT_GT(before, 0);
  // Cells moved when the reserve ran out held everything twice for a moment (255 MB here).
  EXPECT_LT(peak - before, budgetKiB + 16 * 1024);
}

// ---- fuzz ----

// Loads a mutated document. Whatever happens must not crash; a document that loads must save,
// and what it saves must load back to the same document.
void loadMutated(const std::string& xml, int& loaded) {
  RecordsetPtr rs = Recordset::create();
  if (!rs->loadXml(xml)) return;
  ++loaded;
  const std::string saved = rs->SaveXml();
  RecordsetPtr again = Recordset::create();
  const LoadResult r = again->loadXml(saved);
  ASSERT_TRUE(r) << r.description << "\n" << saved;
  EXPECT_EQ(again->SaveXml(), saved);
}

TEST(RowsetFuzz, TruncationAtEveryOffset) {
  for (const char* name : {"sample_f_name_mapping.xml", "sample_h_longvarbinary_wrapping.xml"}) {
    const std::string doc = sample(name);
    int loaded = 0;
    for (std::size_t n = 0; n < doc.size(); ++n) loadMutated(doc.substr(0, n), loaded);
    // Only cuts inside the final "</xml>" can never load; everything shorter is malformed.
    EXPECT_EQ(loaded, 0) << name;
    loadMutated(doc, loaded);
    EXPECT_EQ(loaded, 1) << name;
  }
}

TEST(RowsetFuzz, RandomByteFlipsWithAFixedSeed) {
  const std::string docs[] = {sample("sample_f_name_mapping.xml"), sample("sample_d_nulls.xml"),
                              sample("sample_e_binary.xml"), sample("sample_g_varwchar_null_states.xml")};
  const char interesting[] = {'<', '>', '&', '\'', '"', '/', ':', '=', ' ', '\0', '\x01', '\xFF', '\xEA', 'z', '0'};
  std::mt19937 random(20240607);
  int loaded = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string doc = docs[round % 4];
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k) {
      const std::size_t at = random() % doc.size();
      doc[at] = random() % 2 ? interesting[random() % sizeof interesting] : static_cast<char>(random() & 0xFF);
    }
    loadMutated(doc, loaded);
  }
  // Some mutations (inside values) still give valid documents; most do not.
  EXPECT_GT(loaded, 0);
  EXPECT_LT(loaded, 4000);
}

}  // namespace
}  // namespace veltrano::ado
