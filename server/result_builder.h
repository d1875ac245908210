#pragma once
// A result gathered row by row as a catalogue fetches it, whatever the database: the limits of
// DatabaseCatalog checked as each row and value comes (so a result over a limit is stopped
// there, not read to its end), text made well-formed UTF-8, and each column's kind settled
// from the values seen, the same way for every backend.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/database.h"

namespace veltrano::server {

// `bytes` with every byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD (overlong forms, surrogates, code points beyond U+10FFFF and cut sequences included).
std::string wellFormedUtf8(std::string_view bytes);

class ResultBuilder {
 public:
  struct Column {
    std::string name;
    // The kind when the column holds no value (every value NULL, or no row).
    ColumnKind declaredKind = ColumnKind::Text;
    // A text column's declared size in characters (VARCHAR(40)), 0 when none.
    std::size_t declaredSize = 0;
  };

  ResultBuilder(std::vector<Column> columns, const DatabaseCatalog::Limits& limits);

  // Starts the next row. Throws StatementError (kTooBig) when it would pass the row limit.
  void beginRow();
  // The next value of the current row; each counts towards the byte limit (numbers 8 bytes,
  // NULL 1) and throws StatementError (kTooBig) once the result passes it.
  void addNull();
  void addInteger(std::int64_t v);
  void addDouble(double v);
  void addText(std::string_view bytes);
  void addBlob(const std::uint8_t* data, std::size_t size);
  // Throws StatementError (kTooBig) when a value of `size` bytes would pass the byte limit:
  // for a backend that learns a value's size before fetching it.
  void checkRoom(std::size_t size) const;

  // The result, each column's kind settled: Blob if any value is bytes, else Text if any is
  // text (numbers among them written as text), else Double if any is real (integers among
  // them made doubles), else BigInt if any integer is beyond 32 bits, else Integer.
  ResultSet finish() &&;

  // The result of a statement that returns no columns.
  static ResultSet rowsAffected(std::int64_t count);

 private:
  [[noreturn]] void tooManyBytes() const;
  void count(std::size_t n);
  std::size_t column() const { return result_.rows.back().size(); }

  std::vector<Column> columns_;
  DatabaseCatalog::Limits limits_;
  ResultSet result_;
  std::vector<unsigned> seen_;  // per column: the kinds of values seen
  std::size_t bytes_ = 0;       // of the values so far: what the reply will at least carry
};

}  // namespace veltrano::server
