// The version check of an update run at scale: 10,000 files in 20 products, each file's
// version read from the registry store and compared with the server's, its target path
// tested, against the reference server on loopback. Beside it, in paired rounds, the costs it
// is made of when done bare, one after the other: the same 10,000 registry reads through the
// registry calls alone (open, query, close), one query fetching the same 10,000 rows, and a
// stat(2) of each of the 10,000 target paths.
//
// The figure to watch is the ratio of the check's time to the parts'. The check sends 20
// queries instead of one and tests its paths as Windows-style paths written in lower case
// (the files are upper case on disk); a value near 1 means it adds little over the work it
// cannot avoid.

#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/paired_rounds.h"
#include "platform/registry/registry.h"
#include "platform/ui/scripted_ui.h"
#include "updater/cls_sysreg.h"
#include "updater/mod_standard.h"
#include "updater/version_check.h"

namespace {

namespace stdfs = std::filesystem;
namespace reg = veltrano::reg;

constexpr int kProducts = 20;
constexpr int kFilesPerProduct = 500;

std::string productKey(int p) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "P%02d", p);
  return buf;
}
std::string fileName(int f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "FILE%04d.DLL", f);
  return buf;
}

int shell(const std::string& command) { return std::system(command.c_str()); }

struct Site {
  stdfs::path dir = stdfs::temp_directory_path() / ("bench-update-check-" + std::to_string(getpid()));
  std::FILE* server = nullptr;
  int serverPid = -1;
  std::vector<std::string> keys;
  std::string error;

  Site() {
    stdfs::create_directories(dir / "data" / "db");
    stdfs::create_directories(dir / "data" / "files");
    if (!makeCatalogue() || !startServer()) return;
    reg::useStore((dir / "registry.db").string());
    for (int p = 1; p <= kProducts; ++p) {
      const std::string key = productKey(p);
      keys.push_back(key);
      const stdfs::path app = dir / "apps" / key;
      stdfs::create_directories(app);
      set("SOFTWARE\\VELTRANO\\COMMON", "Installed", key, app.string());
      for (int f = 1; f <= kFilesPerProduct; ++f) {
        set("SOFTWARE\\VELTRANO\\" + key, "Install Files", fileName(f), "1.0." + std::to_string(f));
        std::ofstream(app / fileName(f)).put('x');
      }
    }
  }
  ~Site() {
    if (serverPid > 0) kill(serverPid, SIGTERM);
    if (server) pclose(server);
    std::error_code ec;
    stdfs::remove_all(dir, ec);
  }

  static void set(const std::string& path, const std::string& name, const std::string& value, const std::string& data) {
    meridox::cls_SysREg r;
    r.hKey(reg::HKEY_CURRENT_USER);
    r.KeyPath(path);
    r.KeyName(name);
    r.KeyValue(value);
    r.SetRegistry(data);
  }

  bool makeCatalogue() {
    const stdfs::path sql = dir / "catalogue.sql";
    std::ofstream out(sql);
    out << "create table qz_product (productcode text primary key, productkey text, productname text);\n"
           "create table qz_files (productcode text, filename text, sourcepath text, downloadpath text,"
           " addreg text, version text, memo text, productkey text, primary key (productkey, filename));\n"
           "with recursive p(n) as (select 1 union all select n + 1 from p where n < "
        << kProducts
        << ") insert into qz_product select printf('P%02d', n), printf('P%02d', n), 'product ' || n from p;\n"
           "with recursive f(n) as (select 1 union all select n + 1 from f where n < "
        << kFilesPerProduct
        << ") insert into qz_files select productcode, printf('FILE%04d.DLL', f.n), '127.0.0.1:1/FILES/' ||"
           " productkey || '/', '{APPPATH}\\', '0', '1.0.' || f.n, 'file ' || f.n, productkey from qz_product, f;\n";
    out.close();
    if (shell("sqlite3 -bail '" + (dir / "data" / "db" / "qz_update.sqlite").string() + "' < '" + sql.string() +
              "'") != 0) {
      error = "sqlite3 could not build the catalogue";
      return false;
    }
    return true;
  }

  bool startServer() {
    const std::string program = VELTRANO_SERVER_PROGRAM;
    const std::string command = "sh -c 'echo $$; exec \"$0\" --listen 127.0.0.1:0 --data \"$1\"' '" + program +
                                "' '" + (dir / "data").string() + "'";
    server = popen(command.c_str(), "r");
    char line[256];
    if (!server || !std::fgets(line, sizeof line, server)) {
      error = "cannot start " + program;
      return false;
    }
    serverPid = std::atoi(line);
    if (!std::fgets(line, sizeof line, server) || std::string(line).rfind("listening on ", 0) != 0) {
      error = "the reference server did not start";
      return false;
    }
    std::string host = std::string(line).substr(13);
    while (!host.empty() && (host.back() == '\n' || host.back() == '\r')) host.pop_back();
    setenv("VELTRANO_QUERY_HOST", host.c_str(), 1);
    return true;
  }
};

Site& site() {
  static Site s;
  return s;
}

void versionCheck(benchmark::State& state) {
  Site& s = site();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  veltrano::ui::ScriptedUi ui;
  veltrano::ui::ScopedUi scoped(ui);
  for (auto _ : state) {
    meridox::VersionCheck check(meridox::OpenServerQuery);
    const meridox::UpdateFileList files = check.Run(s.keys, false);
    if (meridox::FileCount(files) != 0) return state.SkipWithError("files were selected");
  }
}

// The three parts, bare and in turn.
void parts(benchmark::State& state) {
  Site& s = site();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  veltrano::ui::ScriptedUi ui;
  veltrano::ui::ScopedUi scoped(ui);
  std::vector<std::string> paths;
  for (const std::string& key : s.keys)
    for (int f = 1; f <= kFilesPerProduct; ++f) paths.push_back((s.dir / "apps" / key / fileName(f)).string());
  std::uint8_t data[256];
  for (auto _ : state) {
    for (const std::string& key : s.keys) {
      const std::string path = "SOFTWARE\\VELTRANO\\" + key + "\\Install Files";
      for (int f = 1; f <= kFilesPerProduct; ++f) {
        reg::HKEY h = 0;
        if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, path, 0, reg::KEY_ALL_ACCESS, &h) != reg::ERROR_SUCCESS)
          return state.SkipWithError("registry key missing");
        std::uint32_t type = 0, size = sizeof data;
        reg::RegQueryValueExA(h, fileName(f), &type, data, &size);
        reg::RegCloseKey(h);
        benchmark::DoNotOptimize(size);
      }
    }
    auto rs = meridox::OpenServerQuery(
        "select productcode,filename,sourcepath,downloadpath,addreg,version,memo,productkey from qz_files");
    std::size_t rows = 0, bytes = 0;
    while (rs && !rs->Eof()) {
      for (int i = 0; i < 8; ++i) bytes += rs->Fields(i).Value().toText().size();
      ++rows;
      rs->MoveNext();
    }
    if (rows != static_cast<std::size_t>(kProducts * kFilesPerProduct)) return state.SkipWithError("rows missing");
    benchmark::DoNotOptimize(bytes);
    struct stat st {};
    for (const std::string& p : paths)
      if (::stat(p.c_str(), &st) != 0) return state.SkipWithError("a file is missing");
  }
}

}  // namespace

int main(int argc, char** argv) {
  bench::Paired pair("version_check_10000_files", "version check", "bare parts", bench::Clock::Wall);
  pair.add(7, versionCheck, parts, 2);
  return bench::runPaired(argc, argv);
}
