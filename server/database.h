#pragma once
// The databases the query and data services read and change, whatever holds them: a catalogue
// of databases by name, each call running exactly one statement. Two catalogues implement it:
//  - SqliteCatalog (server/sqlite_catalog.h): one SQLite file per database name below the data
//    folder (the default);
//  - MariadbCatalog (server/mariadb_catalog.h): one schema per database name on a MariaDB
//    server, over a bounded pool of connections (--database mariadb://...).
// Both give the same results for the same rows, and keep the same guards whatever the
// statement says:
//  - without `writable` a statement that would change data is refused before it runs (and
//    the database itself is opened, or the session set, read-only as a second wall);
//  - one statement per call: text after the first statement is refused, not ignored;
//  - at most `maxRows` rows: a larger result is an error, never a silently shortened reply;
//  - at most `maxBytes` bytes of values in a result, and no single value larger: a larger
//    result is an error as well, raised as soon as the limit is passed;
//  - a statement running longer than the time limit is stopped;
//  - no transaction outlives a call.
// Any number of threads may call a catalogue at once.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/variant.h"

namespace veltrano::server {

struct ServerOptions;

// The error numbers of the catalogues' own refusals and limits. They are SQLite's result codes,
// kept on every backend so that the replies stay the same; a statement that the database
// itself rejects carries the database's own number instead (SQLite's primary result code, or
// MariaDB's error number).
namespace error_number {
inline constexpr int kStatement = 1;     // a plain SQL error (SQLite)
inline constexpr int kReadOnly = 8;      // a modifying statement on read-only data
inline constexpr int kInterrupted = 9;   // the statement ran past the time limit
inline constexpr int kNotFound = 12;     // no page of that name
inline constexpr int kCannotOpen = 14;   // no database of that name (SQLite), or no valid name
inline constexpr int kTooBig = 18;       // too many rows or bytes
inline constexpr int kMisuse = 21;       // no statement, or more than one
inline constexpr int kRange = 25;        // a parameter without a value, or a value without one
}  // namespace error_number

// What a reply column holds, chosen from the values the database returned, or from the
// declared type when every value is NULL. The rowset reply maps them to ADO types.
enum class ColumnKind {
  Integer,  // every value a whole number within 32 bits
  BigInt,   // whole numbers, some beyond 32 bits
  Double,   // real numbers (or whole and real mixed)
  Text,     // text (numbers mixed in are given as text)
  Blob,     // bytes
};

struct ResultColumn {
  std::string name;
  ColumnKind kind = ColumnKind::Text;
  // Text: the longest value in characters, or the declared size when larger (VARCHAR(40));
  // Blob: the longest value in bytes. At least 1.
  std::size_t definedSize = 1;
};

// The result of one statement. Cells are Null, 64-bit integers, doubles, UTF-8 text or
// bytes, matching their column's kind. Text values are always well-formed UTF-8: bytes stored
// as text that are not UTF-8 each become U+FFFD. A statement that returns no columns (insert,
// update, create ...) gives one column "RowsAffected" (BigInt) with one row: the rows it
// changed (on MariaDB: the rows it found, as SQLite counts them).
struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Variant>> rows;
};

// Why a statement did not run. `code` is reported to clients in the error text: one of
// error_number's for the catalogue's own refusals, else the database's number.
class StatementError : public std::runtime_error {
 public:
  enum class Kind {
    Statement,   // the statement failed (syntax, constraint, too many rows, ...)
    Refused,     // a modifying statement on a read-only database (refused by the server or
                 // by the database: no right to write, a read-only session)
    NoDatabase,  // no database of that name
    NoPage,      // no page of that name in qz_pages
  };
  StatementError(Kind kind, int code, std::string message)
      : std::runtime_error(std::move(message)), kind_(kind), code_(code) {}
  Kind kind() const { return kind_; }
  int code() const { return code_; }

 private:
  Kind kind_;
  int code_;
};

// Values bound to a statement's parameters. A statement's parameters are numbered as SQLite
// numbers them: "?" takes the next number, "?NNN" the number NNN, and ":NAME", "@NAME" and
// "$NAME" one number per distinct name (prefix included).
struct StatementParameters {
  // Bound to the statement's first anonymous parameter ("?" or "?NNN").
  std::optional<Variant> firstAnonymous;
  // Bound to named parameters (":NAME", "@NAME", "$NAME"); names compared without regard to
  // case, without their prefix character.
  std::vector<std::pair<std::string, Variant>> named;

  // The value of each parameter of a statement, given the name of each by number (index 0 is
  // parameter 1; "" or a name beginning with "?" is anonymous). Throws StatementError
  // (kRange) when a parameter has no value, or when a non-empty firstAnonymous has no place.
  std::vector<const Variant*> resolve(const std::vector<std::string>& names) const;
};

class DatabaseCatalog {
 public:
  struct Limits {
    std::size_t maxRows = 100000;
    std::chrono::milliseconds statementTime{30000};
    std::size_t maxBytes = 64u << 20;
  };

  DatabaseCatalog(bool writable, Limits limits) : writable_(writable), limits_(limits) {}
  virtual ~DatabaseCatalog() = default;
  DatabaseCatalog(const DatabaseCatalog&) = delete;
  DatabaseCatalog& operator=(const DatabaseCatalog&) = delete;

  // Runs `sql` on the database called `database` (letters, digits, "_" and "-", at most 64;
  // compared without regard to case: the lower-case name is the file or the schema). Every
  // parameter of the statement must get a value from `parameters`. Throws StatementError.
  virtual ResultSet run(std::string_view database, std::string_view sql,
                        const StatementParameters& parameters = {}) const = 0;

  // Runs the statement stored for `page` in the table qz_pages(page, statement) of the
  // database (page names compared without regard to case). Throws StatementError (NoPage
  // when the database has no such page).
  virtual ResultSet runPage(std::string_view database, std::string_view page,
                            const StatementParameters& parameters) const = 0;

  bool writable() const { return writable_; }
  const Limits& limits() const { return limits_; }

  // The lower-case name of a database, or nothing when `database` is not a valid name.
  static std::optional<std::string> normalName(std::string_view database);

 private:
  bool writable_;
  Limits limits_;
};

// The catalogue the options ask for: MariaDB with --database, else the SQLite files below
// --data. Opens no connection yet. Throws std::runtime_error when the options cannot work.
std::unique_ptr<DatabaseCatalog> openCatalog(const ServerOptions& options);

}  // namespace veltrano::server
