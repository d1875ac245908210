#pragma once
// The two database backends of the server for value-parameterised tests: every reply test runs
// on SQLite files and on MariaDB schemas (the shared test server, mariadb_instance.h), named
// ".../Sqlite" and ".../Mariadb". Tests of one backend's own ways are named after it
// (SqliteCatalogTest, MariadbCatalogTest).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mariadb_instance.h"
#include "server/database.h"
#include "support/test_support.h"

namespace veltrano::test {

enum class Backend { Sqlite, Mariadb };

inline const auto kBothBackends = ::testing::Values(Backend::Sqlite, Backend::Mariadb);
std::string backendName(const ::testing::TestParamInfo<Backend>& info);
void PrintTo(Backend backend, std::ostream* out);

// The databases of one test on one backend.
class TestDatabases {
 public:
  explicit TestDatabases(Backend backend);

  Backend backend() const { return backend_; }
  bool mariadb() const { return backend_ == Backend::Mariadb; }
  // `sqlite` or `mariadb`, by the backend: for what the two say differently.
  template <typename T>
  T pick(T sqlite, T mariadb) const { return this->mariadb() ? mariadb : sqlite; }

  // Creates the database `base` from `sql` (statements separated by ";"; `mariadbSql` instead
  // on MariaDB when given). Returns its name for requests: `base` on SQLite, the test's own
  // schema name on MariaDB.
  std::string create(const std::string& base, const std::string& sql,
                     const std::string& mariadbSql = "");
  // A catalogue of these databases (on MariaDB through the socket as root, or as `user`).
  std::unique_ptr<server::DatabaseCatalog> catalog(bool writable,
                                                   server::DatabaseCatalog::Limits limits = {},
                                                   const std::string& user = "root",
                                                   const std::string& password = "") const;
  // Statements and values straight from the database, not through the server.
  void execute(const std::string& database, const std::string& sql) const;
  std::string scalar(const std::string& database, const std::string& sql) const;

  const std::filesystem::path& folder() const { return dir_.path(); }  // SQLite: db/ below it
  TestSchemas& schemas() { return *schemas_; }
  MariadbInstance& mariadbServer() const { return schemas_->server(); }

 private:
  Backend backend_;
  TempDir dir_;
  std::unique_ptr<TestSchemas> schemas_;
};

}  // namespace veltrano::test
