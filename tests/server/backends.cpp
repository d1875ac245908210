#include "backends.h"

#include <sqlite3.h>

#include <stdexcept>

#include "server/mariadb_catalog.h"
#include "server/sqlite_catalog.h"

namespace veltrano::test {

namespace fs = std::filesystem;

std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Sqlite ? "Sqlite" : "Mariadb";
}

void PrintTo(Backend backend, std::ostream* out) {
  *out << (backend == Backend::Sqlite ? "SQLite" : "MariaDB");
}

TestDatabases::TestDatabases(Backend backend) : backend_(backend) {
  fs::create_directories(dir_.path() / "db");
  if (mariadb()) schemas_ = std::make_unique<TestSchemas>();
}

std::string TestDatabases::create(const std::string& base, const std::string& sql,
                                  const std::string& mariadbSql) {
  if (mariadb()) return schemas_->create(base, mariadbSql.empty() ? sql : mariadbSql);
  execute(base, sql);
  return base;
}

std::unique_ptr<server::DatabaseCatalog> TestDatabases::catalog(
    bool writable, server::DatabaseCatalog::Limits limits, const std::string& user,
    const std::string& password) const {
  if (!mariadb()) return std::make_unique<server::SqliteCatalog>(dir_.path() / "db", writable, limits);
  server::MariadbCatalog::Settings settings;
  settings.address = schemas_->server().socketAddress(user);
  settings.password = password;
  settings.connections = 4;
  return std::make_unique<server::MariadbCatalog>(settings, writable, limits);
}

void TestDatabases::execute(const std::string& database, const std::string& sql) const {
  if (mariadb()) {
    schemas_->server().execute("USE `" + database + "`;" + sql);
    return;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open((dir_.path() / "db" / (database + ".sqlite")).c_str(), &db) != SQLITE_OK)
    throw std::runtime_error("cannot open " + database);
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  const std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("SQLite: " + message + "\nin: " + sql);
}

std::string TestDatabases::scalar(const std::string& database, const std::string& sql) const {
  if (mariadb()) return schemas_->server().scalar(sql, database);
  sqlite3* db = nullptr;
  sqlite3_open((dir_.path() / "db" / (database + ".sqlite")).c_str(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  std::string v;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_blob(st, 0))
    v.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return v;
}

}  // namespace veltrano::test
