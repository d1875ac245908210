#pragma once
// The embedded databases: one SQLite file per database name, DIR/db/<name>.sqlite. Each call
// runs exactly one statement on a connection of the calling thread (each thread keeps its own
// connections open between calls, so any number of worker threads may call at once; a file
// replaced on disk is opened afresh, and no transaction outlives a call).
//
// Guards, whatever the statement says:
//  - without `writable` the file is opened read-only and a statement that would change it is
//    refused before it runs;
//  - other database files cannot be attached (ATTACH and VACUUM INTO are refused), extensions
//    cannot be loaded, and the schema cannot be written directly;
//  - one statement per call: text after the first statement is refused, not ignored;
//  - at most `maxRows` rows: a larger result is an error, never a silently shortened reply;
//  - at most `maxBytes` bytes of values in a result, and no single value larger (SQLite refuses
//    to make such a value before allocating it): a larger result is an error as well;
//  - a statement running longer than the time limit is interrupted.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/variant.h"

namespace veltrano::server {

// Text values are always well-formed UTF-8: bytes stored as text that are not UTF-8 each
// become U+FFFD.
//
// Each worker thread also keeps its compiled statements, by text, so a statement sent again
// is not compiled again.

// What a reply column holds, chosen from the values SQLite returned (their storage classes),
// or from the declared type when every value is NULL. The rowset reply maps them to ADO types.
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
// bytes, matching their column's kind. A statement that returns no columns (insert, update,
// create ...) gives one column "RowsAffected" (BigInt) with one row: the rows it changed.
struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Variant>> rows;
};

// Why a statement did not run. `code` is SQLite's primary result code (1 for a plain SQL
// error, 8 read-only, 14 cannot open, ...), reported to clients in the error text.
class StatementError : public std::runtime_error {
 public:
  enum class Kind {
    Statement,   // the statement failed (syntax, constraint, too many rows, ...)
    Refused,     // a modifying statement on a read-only database
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

// Values bound to a statement's parameters.
struct StatementParameters {
  // Bound to the statement's first anonymous parameter ("?").
  std::optional<Variant> firstAnonymous;
  // Bound to named parameters (":NAME", "@NAME", "$NAME"); names compared without regard to
  // case, without their prefix character.
  std::vector<std::pair<std::string, Variant>> named;
};

class DatabaseCatalog {
 public:
  struct Limits {
    std::size_t maxRows = 100000;
    std::chrono::milliseconds statementTime{30000};
    std::size_t maxBytes = 64u << 20;
  };

  DatabaseCatalog(std::filesystem::path folder, bool writable, Limits limits);

  // Runs `sql` on the database called `database` (letters, digits, "_" and "-"; compared
  // without regard to case: the file name is the lower-case name). Every parameter of the
  // statement must get a value from `parameters`. Throws StatementError.
  ResultSet run(std::string_view database, std::string_view sql,
                const StatementParameters& parameters = {}) const;

  // Runs the statement stored for `page` in the table qz_pages(page, statement) of the
  // database (page names compared without regard to case). Throws StatementError (NoPage
  // when the database has no such page).
  ResultSet runPage(std::string_view database, std::string_view page,
                    const StatementParameters& parameters) const;

  // The file that holds a database, or nothing when the name is not a valid database name.
  std::optional<std::filesystem::path> fileOf(std::string_view database) const;

  bool writable() const { return writable_; }
  const Limits& limits() const { return limits_; }

 private:
  std::filesystem::path folder_;
  bool writable_;
  Limits limits_;
};

}  // namespace veltrano::server
