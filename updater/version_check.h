#pragma once
// The catalogue and file-list queries of an update run, and the version check that turns the
// file lists of the installed products into the download list (UpdateFiles).
//
// A file is selected when its server version (trimmed, NULs removed) differs as text from the
// version recorded under the product's "Install Files" key, when no file exists at its target
// path, or when every file is to be fetched again. Target folders come with the placeholders
// {APPPATH} (the product's install folder), {SYSPATH} (the system folder) and {WINPATH} (the
// Windows folder), matched with exact case.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/recordset.h"
#include "platform/runtime/error.h"
#include "updater/update_files.h"

namespace meridox {

inline constexpr const char* kInstalledKeyPath = "Software\\VELTRANO\\COMMON\\";
inline constexpr const char* kInstalledKeyName = "Installed";
// The updater's own product code, added to every filtered catalogue query.
inline constexpr const char* kUpdaterProductCode = "Meridox";

// "select * from qz_product", with " where productcode in ('<code>','Meridox')" when the
// trimmed code is not empty (the code itself is sent as given).
std::string CatalogueSql(std::string_view productcode);
// The file list of one product key, ordered by file name.
std::string FileListSql(std::string_view productKey);

// The install folder recorded for a product code (looked up in upper case), or "".
std::string GetInstalledPath(std::string_view productcode);
// A download folder with {APPPATH} (for `productcode`), {SYSPATH} and {WINPATH} replaced.
std::string ResolvePlaceholders(std::string_view folder, std::string_view productcode);

// Install folders already looked up during one check, by upper-case product code (the
// registry does not change while the check reads it).
using InstalledPaths = std::map<std::string, std::string, std::less<>>;
// The path whose existence decides the check: folder + "\" + file name, all in lower case,
// with the patch program's name turned into the updater's (the running updater's file stands
// for it).
std::string TargetPath(std::string_view folder, std::string_view filename);
// The file TargetPath names, spelled with the folder's own case and the file name in upper
// case, as the run writes it. File names match without regard to case, so it names the same
// file; spelled as the file most likely is, it is found without searching its folder.
std::string ExistencePath(std::string_view folder, std::string_view filename);
bool IsSelected(std::string_view serverVersion, std::string_view installedVersion, bool fileExists,
                bool downloadAll);
// False for a file name that would place the file outside its download folder: a ".."
// component, a leading separator or a drive (any ":").
bool StaysInFolder(std::string_view filename);

// One row of a file list (fields by position: productcode, filename, sourcepath,
// downloadpath, addreg, version, memo, productkey) as the check derives it. Reading raises
// as the recordset does (3265 for a missing position, 94 for a NULL).
struct FileRow {
  std::string keyValue;       // file name: trimmed, upper case, NULs removed
  std::string serverVersion;  // trimmed
  std::string folder;         // download folder, trimmed, placeholders resolved
  std::string target;         // TargetPath(folder, file name)
  std::string existence;      // ExistencePath(folder, file name)
};
// `installed`, when given, keeps the install folders looked up.
FileRow ReadFileRow(veltrano::ado::Recordset& rs, InstalledPaths* installed = nullptr);
// The whole entry of a selected row.
UpdateFileEntry ReadFileEntry(veltrano::ado::Recordset& rs, const FileRow& row);

class VersionCheck {
 public:
  using Query = std::function<veltrano::ado::RecordsetPtr(std::string_view sql)>;
  explicit VersionCheck(Query query);

  // The download list for the product keys, in order. Raises the run-time errors of the
  // queries, the reads and the registry (91 when a file-list query gives no recordset, 64 for
  // a file name that leaves its folder); the row at hand stays available for the report.
  UpdateFileList Run(const std::vector<std::string>& productKeys, bool downloadAll);

  // The recordset being read when Run stopped, and its product key.
  const veltrano::ado::RecordsetPtr& atHand() const { return atHand_; }
  const std::string& productKey() const { return productKey_; }

 private:
  Query query_;
  veltrano::ado::RecordsetPtr atHand_;
  std::string productKey_;
};

// The text of the "ERROR OF UPDATE" box: the error, then the values of the row at hand
// (installed version, server version, target path) derived as the check derives them. Values
// that cannot be read are left empty; for the query service's failure result (one field
// "오류발생") its text stands in place of the row values.
std::string UpdateErrorReport(const veltrano::RuntimeError& error, veltrano::ado::Recordset* atHand,
                              std::string_view productKey);

}  // namespace meridox
