#include "updater/version_check.h"

#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/text/vbstring.h"
#include "updater/cls_sysreg.h"
#include "updater/mod_sysfolder.h"
#include "updater/query_client.h"

namespace meridox {

namespace text = veltrano::text;
using veltrano::RuntimeError;
using veltrano::ado::Recordset;

namespace {

constexpr const char* kCrLf = "\r\n";

std::string trimmedUpper(const veltrano::Variant& v) { return text::UCase(text::Trim(v.toString())); }

cls_SysREg installFilesKey(std::string_view productKey) {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\" + std::string(productKey));
  reg.KeyName("Install Files");
  return reg;
}

bool isFailureResult(Recordset& rs) {
  try {
    return rs.State() == veltrano::ado::adStateOpen && rs.Fields().Count() == 1 &&
           rs.Fields(0).Name() == kFailureField;
  } catch (const RuntimeError&) {
    return false;
  }
}

template <class F>
std::string orEmpty(F&& derive) {
  try {
    return derive();
  } catch (const RuntimeError&) {
    return {};
  }
}

}  // namespace

std::string CatalogueSql(std::string_view productcode) {
  std::string sql = "select * from qz_product";
  if (!text::Trim(productcode).empty())
    sql += " where productcode in ('" + std::string(productcode) + "','" + kUpdaterProductCode + "')";
  return sql;
}

std::string FileListSql(std::string_view productKey) {
  return std::string("select  productcode,") + "filename," + "sourcepath," + "downloadpath," + "addreg," +
         "version," + "memo,productkey" + " from qz_files" + " where productkey='" + std::string(productKey) +
         "' order by filename";
}

std::string GetInstalledPath(std::string_view productcode) {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\COMMON");
  reg.KeyName(kInstalledKeyName);
  reg.KeyValue(text::UCase(productcode));
  return reg.GetRegistry();
}

namespace {

template <class AppPath>
std::string resolve(std::string_view folder, AppPath&& appPath) {
  std::string d(folder);
  if (d.find("{APPPATH}") != std::string::npos) d = text::Replace(d, "{APPPATH}", appPath());
  if (d.find("{SYSPATH}") != std::string::npos) d = text::Replace(d, "{SYSPATH}", GetSystemFolder());
  if (d.find("{WINPATH}") != std::string::npos) d = text::Replace(d, "{WINPATH}", veltrano::sysinfo::windowsFolder());
  return d;
}

}  // namespace

std::string ResolvePlaceholders(std::string_view folder, std::string_view productcode) {
  return resolve(folder, [&] { return GetInstalledPath(productcode); });
}

std::string TargetPath(std::string_view folder, std::string_view filename) {
  const std::string t = text::LCase(std::string(folder) + "\\" + text::UCase(filename));
  return text::Replace(t, "meridoxpch.exe", "meridox.exe");
}

std::string ExistencePath(std::string_view folder, std::string_view filename) {
  // A folder whose name holds the patch program's name is changed by TargetPath too: that
  // rare spelling is left to TargetPath itself.
  if (text::LCase(folder).find("meridoxpch.exe") != std::string::npos) return TargetPath(folder, filename);
  return std::string(folder) + "\\" + text::Replace(text::UCase(filename), "MERIDOXPCH.EXE", "MERIDOX.EXE");
}

bool IsSelected(std::string_view serverVersion, std::string_view installedVersion, bool fileExists,
                bool downloadAll) {
  return text::RemoveNuls(serverVersion) != installedVersion || !fileExists || downloadAll;
}

bool StaysInFolder(std::string_view filename) {
  if (filename.find(':') != std::string_view::npos) return false;
  if (!filename.empty() && (filename.front() == '\\' || filename.front() == '/')) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = filename.find_first_of("\\/", start);
    const std::string_view part = filename.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (text::Trim(part) == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

FileRow ReadFileRow(Recordset& rs, InstalledPaths* installed) {
  FileRow row;
  const std::string name = text::UCase(text::Trim(rs.Fields(1).Value().toString()));
  row.keyValue = text::RemoveNuls(name);
  row.serverVersion = text::Trim(rs.Fields(5).Value().toString());
  const std::string productcode = trimmedUpper(rs.Fields(0).Value());
  row.folder = resolve(text::Trim(rs.Fields(3).Value().toString()), [&] {
    if (!installed) return GetInstalledPath(productcode);
    auto it = installed->find(productcode);
    if (it == installed->end()) it = installed->emplace(productcode, GetInstalledPath(productcode)).first;
    return it->second;
  });
  row.target = TargetPath(row.folder, name);
  row.existence = ExistencePath(row.folder, name);
  return row;
}

UpdateFileEntry ReadFileEntry(Recordset& rs, const FileRow& row) {
  UpdateFileEntry e;
  e.productcode = trimmedUpper(rs.Fields(0).Value());
  e.filename = trimmedUpper(rs.Fields(1).Value());
  e.sourcepath = trimmedUpper(rs.Fields(2).Value());
  e.downloadpath = row.folder;
  e.productkey = trimmedUpper(rs.Fields(7).Value());
  e.addreg = AddRegFlag(rs.Fields(4).Value());
  e.version = trimmedUpper(rs.Fields(5).Value());
  e.memo = trimmedUpper(rs.Fields(6).Value());
  return e;
}

VersionCheck::VersionCheck(Query query) : query_(std::move(query)) {}

UpdateFileList VersionCheck::Run(const std::vector<std::string>& productKeys, bool downloadAll) {
  UpdateFileList files = NewUpdateFiles();
  InstalledPaths installed;
  for (const std::string& key : productKeys) {
    productKey_ = text::UCase(text::Trim(key));
    atHand_.reset();
    cls_SysREg reg = installFilesKey(productKey_);
    atHand_ = query_(FileListSql(productKey_));
    if (!atHand_) throw RuntimeError(veltrano::err::kObjectNotSet, "Meridox");
    Recordset& rs = *atHand_;
    while (!rs.Eof()) {
      const FileRow row = ReadFileRow(rs, &installed);
      reg.KeyValue(row.keyValue);
      const std::string installed = reg.GetRegistry();
      if (IsSelected(row.serverVersion, installed, veltrano::fs::fileExists(row.existence), downloadAll)) {
        UpdateFileEntry entry = ReadFileEntry(rs, row);
        // The file is written to downloadpath + filename: a name that climbs out of the folder
        // would let the server place files anywhere.
        if (!StaysInFolder(entry.filename))
          throw RuntimeError(veltrano::err::kBadFileName, "Meridox",
                             "서버의 파일 이름 \"" + entry.filename +
                                 "\"이(가) 다운로드 폴더 밖을 가리키므로 업데이트를 중단합니다.");
        files.push_back(std::move(entry));
      }
      rs.MoveNext();
    }
  }
  return files;
}

std::string UpdateErrorReport(const RuntimeError& error, Recordset* atHand, std::string_view productKey) {
  std::string report = "ERROR : " + std::to_string(error.number()) + kCrLf + kCrLf + "DESCRIPTION : " +
                       error.description() + kCrLf + kCrLf;
  if (atHand && isFailureResult(*atHand)) {
    const std::string failure = orEmpty([&] { return atHand->Fields(0).Value().toText(); });
    return report + kFailureField + " : " + failure;
  }
  std::string installed, serverVersion, target;
  if (atHand) {
    Recordset& rs = *atHand;
    serverVersion = orEmpty([&] { return text::RemoveNuls(text::Trim(rs.Fields(5).Value().toString())); });
    target = orEmpty([&] { return ReadFileRow(rs).target; });
    installed = orEmpty([&] {
      cls_SysREg reg = installFilesKey(productKey);
      reg.KeyValue(text::RemoveNuls(text::UCase(text::Trim(rs.Fields(1).Value().toString()))));
      return reg.GetRegistry();
    });
  }
  return report + "REGISTRY : " + installed + kCrLf + "DVERSION : " + serverVersion + kCrLf + "DIRECTORY : " + target;
}

}  // namespace meridox
