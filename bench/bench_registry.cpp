// Reads of one REG_SZ value through the updater's registry class (cls_SysREg::GetRegistry:
// open, size query, read, close) against the baseline of a bare SQLite point select of the same
// row in the same store file (statement prepared once, step and reset per read).
// Target: GetRegistry reaches at least half the bare rate. The ratio is printed at the end.

#include "bench/paired_rounds.h"
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/registry/registry.h"
#include "updater/cls_sysreg.h"

namespace {

constexpr const char* kKeyPath = "SOFTWARE\\VELTRANO";
constexpr const char* kKeyName = "COMMON";
constexpr const char* kValue = "SERVER_PATH";

// A store of its own in a temporary folder holding the value read, with a few neighbours.
class BenchStore {
 public:
  BenchStore() {
    char tmpl[] = "/tmp/bench-registry-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("cannot create a temporary folder");
    dir_ = tmpl;
    file_ = dir_ / "registry.db";
    veltrano::reg::useStore(file_.string());
    meridox::cls_SysREg r;
    r.hKey(veltrano::reg::HKEY_CURRENT_USER);
    r.KeyPath(kKeyPath);
    r.KeyName(kKeyName);
    for (int i = 0; i < 50; ++i) {
      r.KeyValue("VALUE" + std::to_string(i));
      r.SetRegistry("설정 " + std::to_string(i));
    }
    r.KeyValue(kValue);
    r.SetRegistry("http://127.0.0.1:8080/서버/query");
  }
  ~BenchStore() {
    veltrano::reg::useStore("");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path dir_, file_;
};

BenchStore& benchStore() {
  static BenchStore store;
  return store;
}

void BM_GetRegistry(benchmark::State& state) {
  benchStore();
  meridox::cls_SysREg r;
  r.hKey(veltrano::reg::HKEY_CURRENT_USER);
  r.KeyPath(kKeyPath);
  r.KeyName(kKeyName);
  r.KeyValue(kValue);
  if (r.GetRegistry().empty()) state.SkipWithError("the value is missing");
  for (auto _ : state) {
    std::string v = r.GetRegistry();
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BareSqlitePointSelect(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(benchStore().file().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot open the store");
    sqlite3_close(db);
    return;
  }
  // The key's row, found once; the loop reads the value row itself.
  sqlite3_stmt* findKey = nullptr;
  sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE root=?1 AND fold=?2", -1, &findKey, nullptr);
  sqlite3_bind_int64(findKey, 1, veltrano::reg::HKEY_CURRENT_USER);
  sqlite3_bind_text(findKey, 2, "software\\veltrano\\common", -1, SQLITE_STATIC);
  const sqlite3_int64 keyId = sqlite3_step(findKey) == SQLITE_ROW ? sqlite3_column_int64(findKey, 0) : 0;
  sqlite3_finalize(findKey);

  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2", -1, &q, nullptr);
  sqlite3_bind_int64(q, 1, keyId);
  sqlite3_bind_text(q, 2, "server_path", -1, SQLITE_STATIC);
  for (auto _ : state) {
    std::string v;
    if (sqlite3_step(q) == SQLITE_ROW)
      v.assign(static_cast<const char*>(sqlite3_column_blob(q, 1)), static_cast<std::size_t>(sqlite3_column_bytes(q, 1)));
    sqlite3_reset(q);
    benchmark::DoNotOptimize(v);
    if (v.empty()) {
      state.SkipWithError("the value row is missing");
      break;
    }
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}


}  // namespace

int main(int argc, char** argv) {
  bench::Paired pair("registry_read", "GetRegistry", "bare SQLite point select", bench::Clock::Cpu, "<= 2");
  pair.add(7, BM_GetRegistry, BM_BareSqlitePointSelect);
  return bench::runPaired(argc, argv);
}
