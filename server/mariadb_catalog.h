#pragma once
// The MariaDB catalogue: one schema per database name on a MariaDB server, reached through
// MariaDB Connector/C over a bounded pool of connections that the calling threads share (a
// call waits for a free connection; connections are opened when first needed and kept).
//
// Each session is set up the same way: utf8mb4 with the collation utf8mb4_nopad_bin (exact
// comparisons, as on SQLite), sql_mode with NO_BACKSLASH_ESCAPES and PIPES_AS_CONCAT (quotes,
// backslashes and "||" as in SQLite), autocommit, the statement time limit as
// max_statement_time, and without `writable` every transaction READ ONLY (the server's own
// refusal of statements it cannot show to only read comes first; see mariadb_statement.h).
// LOAD DATA LOCAL is off. Statements are prepared (kept per connection, by schema and text)
// and their parameters bound, never pasted into the text; rows are fetched one by one and the
// result stopped, and its connection closed rather than drained, as soon as it passes a limit.
//
// Results are those of SqliteCatalog for the same rows; each value's kind comes from its
// column's type: whole numbers (integer types, YEAR, BIT, DECIMAL without decimals) as
// integers, FLOAT, DOUBLE and other DECIMAL as doubles (a BIGINT UNSIGNED beyond 2^63-1 too),
// text types as text, binary types as bytes, and DATE, TIME, DATETIME and TIMESTAMP as text in
// MariaDB's own form ("2024-03-01", "13:05:00", "2024-03-01 13:05:00.25"). A statement that
// returns no columns counts the rows it found (CLIENT_FOUND_ROWS), as SQLite counts them.
//
// Errors carry MariaDB's error number and message; a write the account may not do, or one in a
// READ ONLY transaction, is Refused; an unknown schema is NoDatabase.
//
// A connection found dropped (the server restarted, the connection killed) is closed and a new
// one opened. A statement is tried again, once, on a fresh connection when it was never sent,
// or when it only reads; a statement that may write and whose connection dropped after it was
// sent fails (it may or may not have run, and never runs twice).

#include <memory>
#include <string>

#include "server/database.h"
#include "server/options.h"

namespace veltrano::server {

class MariadbCatalog : public DatabaseCatalog {
 public:
  struct Settings {
    MariadbAddress address;
    std::string password;
    std::size_t connections = 8;  // at most this many open at once
  };

  MariadbCatalog(Settings settings, bool writable, Limits limits);
  ~MariadbCatalog() override;

  ResultSet run(std::string_view database, std::string_view sql,
                const StatementParameters& parameters = {}) const override;
  ResultSet runPage(std::string_view database, std::string_view page,
                    const StatementParameters& parameters) const override;

  // Opens a connection now (and keeps it in the pool). Throws StatementError when the server
  // cannot be reached or refuses the account.
  void connect() const;

  // Connections open now (idle or in use): for tests.
  std::size_t openConnections() const;

 private:
  class Pool;
  std::unique_ptr<Pool> pool_;
};

}  // namespace veltrano::server
