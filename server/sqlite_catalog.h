#pragma once
// The SQLite catalogue: one SQLite file per database name, FOLDER/<name>.sqlite. Each call runs
// one statement on a connection of the calling thread (each thread keeps its own connections
// open between calls, and its compiled statements by text; a file replaced on disk is opened
// afresh).
//
// Besides the guards of DatabaseCatalog: without `writable` the file is opened read-only;
// other database files cannot be attached (ATTACH and VACUUM INTO are refused), extensions
// cannot be loaded, and the schema cannot be written directly; SQLite refuses to make a value
// larger than the byte limit before allocating it. The time limit interrupts the statement.

#include <filesystem>
#include <optional>

#include "server/database.h"

namespace veltrano::server {

class SqliteCatalog : public DatabaseCatalog {
 public:
  SqliteCatalog(std::filesystem::path folder, bool writable, Limits limits);

  ResultSet run(std::string_view database, std::string_view sql,
                const StatementParameters& parameters = {}) const override;
  ResultSet runPage(std::string_view database, std::string_view page,
                    const StatementParameters& parameters) const override;

  // The file that holds a database, or nothing when the name is not a valid database name.
  std::optional<std::filesystem::path> fileOf(std::string_view database) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace veltrano::server
