// The version check and the catalogue/file-list statements: which rows become the download
// list, in what order and in what form, the placeholders, the target path, the refusal of
// file names that leave their folder, and the "ERROR OF UPDATE" report. The file lists are
// recordsets made in memory, handed to the check through its query function.
#include <gtest/gtest.h>

#include <map>

#include "platform/registry/registry.h"
#include "platform/text/vbstring.h"
#include "support/test_support.h"
#include "updater/cls_sysreg.h"
#include "updater/query_client.h"
#include "updater/version_check.h"

namespace meridox {
namespace {

using veltrano::Null;
using veltrano::RuntimeError;
using veltrano::Variant;
namespace ado = veltrano::ado;
namespace test = veltrano::test;

using Row = std::array<Variant, 8>;  // productcode filename sourcepath downloadpath addreg version memo productkey

ado::RecordsetPtr fileList(const std::vector<Row>& rows) {
  auto rs = ado::Recordset::create();
  for (const char* name : {"productcode", "filename", "sourcepath", "downloadpath", "addreg", "version", "memo", "productkey"})
    rs->Fields().Append(name, ado::adVarWChar, 255, ado::adFldIsNullable);
  rs->Open();
  for (const Row& row : rows) {
    rs->AddNew();
    for (int i = 0; i < 8; ++i) rs->Fields(i).setValue(row[static_cast<std::size_t>(i)]);
    rs->Update();
  }
  if (!rows.empty()) rs->MoveFirst();
  return rs;
}

void setValue(const std::string& keyPath, const std::string& keyName, const std::string& name, const std::string& data) {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath(keyPath);
  reg.KeyName(keyName);
  reg.KeyValue(name);
  reg.SetRegistry(data);
}

// A private registry and folder, the product TARVIC installed in <dir>/app, and a query
// function answering file-list statements from a table of product keys.
struct VersionCheckRun : ::testing::Test {
  test::ScopedRegistry registry;
  test::TempDir dir;
  std::map<std::string, ado::RecordsetPtr> lists;
  std::vector<std::string> sent;
  VersionCheck check{[this](std::string_view sql) -> ado::RecordsetPtr {
    sent.emplace_back(sql);
    for (auto& [key, rs] : lists)
      if (sql == FileListSql(key)) {
        if (rs->State() == ado::adStateOpen && rs->RecordCount() > 0) rs->MoveFirst();  // a fresh reply each time
        return rs;
      }
    return NoRowsRecordset();
  }};

  std::string app() const { return (dir / "app").string(); }
  void SetUp() override {
    std::filesystem::create_directories(dir / "app");
    setValue("SOFTWARE\\VELTRANO\\COMMON", "Installed", "TARVIC", app());
  }
  void installed(const std::string& file, const std::string& version, bool present = true) {
    setValue("SOFTWARE\\VELTRANO\\TARVIC", "Install Files", file, version);
    if (present) test::writeFile(dir / "app" / file, "old");
  }
  static Row row(std::string file, std::string version, Variant addreg = "0", std::string key = "TARVIC") {
    return {Variant(key == "TARVIC" ? std::string("tarvic ") : key), Variant(file), Variant("127.0.0.1:1/files/tarvic/"), Variant(" {APPPATH}\\"), addreg,
            Variant(version), Variant("화물관리 program"), Variant(key)};
  }
};

TEST(UpdateStatements, CatalogueAndFileListTextsAreExact) {
  EXPECT_EQ(CatalogueSql(""), "select * from qz_product");
  EXPECT_EQ(CatalogueSql("   "), "select * from qz_product");
  EXPECT_EQ(CatalogueSql("TARVIC"), "select * from qz_product where productcode in ('TARVIC','Meridox')");
  // The code is sent as given: blanks kept, nothing escaped.
  EXPECT_EQ(CatalogueSql(" TARVIC "), "select * from qz_product where productcode in (' TARVIC ','Meridox')");
  EXPECT_EQ(FileListSql("TVSMS"),
            "select  productcode,filename,sourcepath,downloadpath,addreg,version,memo,productkey from qz_files "
            "where productkey='TVSMS' order by filename");
}

TEST(UpdateStatements, TargetPathIsLowerCaseAndStandsTheUpdaterForThePatch) {
  EXPECT_EQ(TargetPath("C:\\Tarvic\\", "TARVIC.EXE"), "c:\\tarvic\\\\tarvic.exe");
  EXPECT_EQ(TargetPath("C:\\Meridox\\", "MERIDOXPCH.EXE"), "c:\\meridox\\\\meridox.exe");
}

TEST(UpdateStatements, ExistenceIsTestedOnTheFileTheTargetNames) {
  EXPECT_EQ(ExistencePath("/opt/Tarvic\\", "tarvic.exe"), "/opt/Tarvic\\\\TARVIC.EXE");
  EXPECT_EQ(ExistencePath("/opt/Meridox", "MeridoxPch.exe"), "/opt/Meridox\\MERIDOX.EXE");
  EXPECT_EQ(ExistencePath("/opt/meridoxpch.exe.d", "x.dll"), TargetPath("/opt/meridoxpch.exe.d", "x.dll"));
}

TEST(UpdateStatements, SelectionIsATextComparison) {
  EXPECT_TRUE(IsSelected("1.0.10", "1.0.9", true, false));
  EXPECT_TRUE(IsSelected("1.0.8", "1.0.9", true, false));  // older differs too
  EXPECT_FALSE(IsSelected("1.0.9", "1.0.9", true, false));
  EXPECT_TRUE(IsSelected("1.0.9", "1.0.9", false, false));  // missing file
  EXPECT_TRUE(IsSelected("1.0.9", "1.0.9", true, true));    // download all
  EXPECT_FALSE(IsSelected(std::string("1.0.9\0", 6), "1.0.9", true, false));  // NULs removed
  EXPECT_TRUE(IsSelected("1.0.9", "", true, false));        // nothing recorded
  EXPECT_FALSE(IsSelected("", "", true, false));
  EXPECT_TRUE(IsSelected("1.0.A", "1.0.a", true, false));   // case counts
}

TEST(UpdateStatements, AddRegFlagTable) {
  EXPECT_TRUE(AddRegFlag(Variant("1")));
  EXPECT_TRUE(AddRegFlag(Variant(" 1 ")));
  EXPECT_TRUE(AddRegFlag(Variant(std::string("1\0", 2))));
  EXPECT_TRUE(AddRegFlag(Variant(std::int32_t{1})));
  EXPECT_FALSE(AddRegFlag(Variant("01")));
  EXPECT_FALSE(AddRegFlag(Variant("0")));
  EXPECT_FALSE(AddRegFlag(Variant("")));
  EXPECT_THROW(AddRegFlag(Variant(Null)), RuntimeError);
}

TEST(UpdateStatements, FileNamesThatLeaveTheirFolderAreRefused) {
  for (const char* ok : {"TARVIC.EXE", "README.TXT", "SUB\\X.DLL", "A..B.DLL", "..X"}) EXPECT_TRUE(StaysInFolder(ok)) << ok;
  for (const char* bad : {"..\\X.DLL", "../X.DLL", "SUB\\..\\..\\X.DLL", "\\WINDOWS\\X.DLL", "/ETC/X", "C:X.DLL",
                          "C:\\X.DLL", "SUB\\ .. \\X", ".."})
    EXPECT_FALSE(StaysInFolder(bad)) << bad;
}

TEST_F(VersionCheckRun, PlaceholdersResolveWithExactCaseOnly) {
  test::ScopedEnv windir("WINDIR", "C:\\WINDOWS");
  test::ScopedEnv system("VELTRANO_SYSTEM_DIR", "C:\\WINDOWS\\system32");
  EXPECT_EQ(ResolvePlaceholders("{APPPATH}\\bin\\", "tarvic"), app() + "\\bin\\");
  EXPECT_EQ(ResolvePlaceholders("{SYSPATH}\\", "TARVIC"), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(ResolvePlaceholders("{WINPATH}\\fonts\\", "TARVIC"), "C:\\WINDOWS\\fonts\\");
  EXPECT_EQ(ResolvePlaceholders("{apppath}\\", "TARVIC"), "{apppath}\\");
  EXPECT_EQ(ResolvePlaceholders("{APPPATH}\\", "TVSMS"), "\\");  // not installed: empty
}

TEST_F(VersionCheckRun, SelectsChangedMissingAndUnrecordedFilesInListOrder) {
  installed("A.DLL", "1.0.9");
  installed("B.DLL", "2.0");
  installed("C.DLL", "3.0", false);  // recorded but the file is gone
  lists["TARVIC"] = fileList({row("a.dll", "1.0.10"), row("b.dll", " 2.0 "), row("c.dll", "3.0"), row("d.dll", "1")});
  const UpdateFileList files = check.Run({"TARVIC"}, false);
  ASSERT_EQ(FileCount(files), 3);
  EXPECT_EQ(files[0].filename, "");  // the placeholder stays empty
  EXPECT_EQ(files[1].filename, "A.DLL");
  EXPECT_EQ(files[2].filename, "C.DLL");
  EXPECT_EQ(files[3].filename, "D.DLL");
  const UpdateFileEntry& e = files[1];
  EXPECT_EQ(e.productcode, "TARVIC");
  EXPECT_EQ(e.productkey, "TARVIC");
  EXPECT_EQ(e.sourcepath, "127.0.0.1:1/FILES/TARVIC/");
  EXPECT_EQ(e.downloadpath, app() + "\\");  // trimmed, resolved, case kept
  EXPECT_EQ(e.version, "1.0.10");
  EXPECT_EQ(e.memo, "화물관리 PROGRAM");
  EXPECT_FALSE(e.addreg);
  EXPECT_EQ(sent, std::vector<std::string>{FileListSql("TARVIC")});
}

TEST_F(VersionCheckRun, DownloadAllSelectsEveryRowOfEveryProduct) {
  installed("A.DLL", "1");
  setValue("SOFTWARE\\VELTRANO\\TVSMS", "Install Files", "S.EXE", "1");
  lists["TARVIC"] = fileList({row("a.dll", "1", "1")});
  lists["TVSMS"] = fileList({row("s.exe", "1", "0", "TVSMS")});
  EXPECT_EQ(FileCount(check.Run({"TARVIC", "TVSMS"}, false)), 1);  // S.EXE's folder is empty: no file there
  const UpdateFileList all = check.Run({"TVSMS", "TARVIC"}, true);
  ASSERT_EQ(FileCount(all), 2);
  EXPECT_EQ(all[1].productkey, "TVSMS");
  EXPECT_EQ(all[1].downloadpath, "\\");  // TVSMS is not installed: {APPPATH} is empty
  EXPECT_EQ(all[2].filename, "A.DLL");
  EXPECT_EQ(all[2].downloadpath, app() + "\\");
  EXPECT_TRUE(all[2].addreg);
}

TEST_F(VersionCheckRun, AProductWithoutRowsContributesNothing) {
  lists["TARVIC"] = fileList({});
  EXPECT_EQ(FileCount(check.Run({"TARVIC", "TVSMS"}, false)), 0);  // TVSMS: the no-rows result
  EXPECT_EQ(sent.size(), 2u);
}

TEST_F(VersionCheckRun, ThePatchProgramIsCheckedAgainstTheRunningUpdater) {
  setValue("SOFTWARE\\VELTRANO\\COMMON", "Installed", "MERIDOX", app());
  setValue("SOFTWARE\\VELTRANO\\MERIDOX", "Install Files", "MERIDOXPCH.EXE", "1.0.1");
  Row patch = row("meridoxpch.exe", "1.0.1", "0", "MERIDOX");
  patch[0] = "Meridox";
  lists["MERIDOX"] = fileList({patch});
  EXPECT_EQ(FileCount(check.Run({"MERIDOX"}, false)), 1);  // no meridox.exe in the folder yet
  test::writeFile(dir / "app" / "Meridox.exe", "updater");
  EXPECT_EQ(FileCount(check.Run({"MERIDOX"}, false)), 0);
}

TEST_F(VersionCheckRun, AFileNameLeavingItsFolderStopsTheCheck) {
  lists["TARVIC"] = fileList({row("a.dll", "1"), row("..\\..\\evil.dll", "1")});
  try {
    check.Run({"TARVIC"}, false);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kBadFileName);
    EXPECT_NE(e.description().find("..\\..\\EVIL.DLL"), std::string::npos);
  }
}

TEST_F(VersionCheckRun, NullColumnRaisesAndTheReportShowsTheRowAtHand) {
  installed("A.DLL", "0.9");
  Row bad = row("a.dll", "1.0");
  bad[2] = Null;  // sourcepath read without a text conversion
  lists["TARVIC"] = fileList({bad});
  try {
    check.Run({"TARVIC"}, false);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kInvalidUseOfNull);
    const std::string report = UpdateErrorReport(e, check.atHand().get(), check.productKey());
    EXPECT_EQ(report, "ERROR : 94\r\n\r\nDESCRIPTION : " + e.description() +
                          "\r\n\r\nREGISTRY : 0.9\r\nDVERSION : 1.0\r\nDIRECTORY : " +
                          veltrano::text::LCase(app() + "\\\\a.dll"));
  }
}

TEST_F(VersionCheckRun, FailureResultOfAFileListIsReportedWithItsText) {
  lists["TARVIC"] = FailureRecordset("[에러번호] 1 : no such table: qz_files");
  try {
    check.Run({"TARVIC"}, false);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kAdoItemNotFound);
    const std::string report = UpdateErrorReport(e, check.atHand().get(), check.productKey());
    EXPECT_EQ(report.substr(report.rfind("\r\n\r\n")), "\r\n\r\n오류발생 : [에러번호] 1 : no such table: qz_files");
  }
}

TEST_F(VersionCheckRun, NoRecordsetForAFileListIsAnObjectError) {
  VersionCheck none([](std::string_view) { return ado::RecordsetPtr(); });
  try {
    none.Run({"TARVIC"}, false);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kObjectNotSet);
    // Nothing can be read: the values are empty.
    EXPECT_NE(UpdateErrorReport(e, none.atHand().get(), none.productKey()).find("REGISTRY : \r\nDVERSION : \r\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace meridox
