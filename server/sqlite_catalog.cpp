#include "server/sqlite_catalog.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

#include "server/result_builder.h"

namespace veltrano::server {

namespace {

using Kind = StatementError::Kind;

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Refuses what would reach beyond the one database file: attaching others (VACUUM INTO
// attaches its target too).
int authorize(void*, int action, const char*, const char*, const char*, const char*) {
  return (action == SQLITE_ATTACH || action == SQLITE_DETACH) ? SQLITE_DENY : SQLITE_OK;
}

struct Deadline {
  std::chrono::steady_clock::time_point end;
  bool expired = false;
};

int checkDeadline(void* p) {
  auto* d = static_cast<Deadline*>(p);
  if (std::chrono::steady_clock::now() >= d->end) d->expired = true;
  return d->expired ? 1 : 0;
}

class Connection {
 public:
  Connection(const std::filesystem::path& file, bool writable, std::string_view name) {
    const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) |
                      SQLITE_OPEN_NOMUTEX;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
      throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                           "no database named \"" + std::string(name) + "\"");
    const int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw StatementError(Kind::NoDatabase, rc & 0xFF,
                           "cannot open database \"" + std::string(name) + "\": " + message);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_set_authorizer(db_, authorize, nullptr);
  }
  ~Connection() {
    statements_.clear();
    sqlite3_close(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  sqlite3* get() const { return db_; }

  [[noreturn]] void fail(int rc) const {
    throw StatementError(Kind::Statement, rc & 0xFF, sqlite3_errmsg(db_));
  }

  // Compiled statements kept by their text; a statement is only kept once it has been
  // checked to be a single statement. Emptied when full (a server sees a few statements
  // again and again, and odd ones once).
  sqlite3_stmt* cached(std::string_view sql) const {
    const auto it = statements_.find(std::string(sql));
    return it == statements_.end() ? nullptr : it->second.get();
  }
  sqlite3_stmt* keep(std::string_view sql, sqlite3_stmt* stmt) const {
    if (statements_.size() >= kMaxStatements) statements_.clear();
    statements_.emplace(std::string(sql), Owned(stmt, &sqlite3_finalize));
    return stmt;
  }

 private:
  static constexpr std::size_t kMaxStatements = 64;
  using Owned = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;
  mutable std::unordered_map<std::string, Owned> statements_;
  sqlite3* db_ = nullptr;
};

// Each worker thread keeps its connections open between requests: opening a database and
// reading its schema costs more than most statements. A connection is reused while the file
// at its path is still the file it opened (a database replaced by a new file, as the sample
// script does, is opened afresh); a few files per thread at most, the least recently used
// closed first.
class ConnectionCache {
 public:
  // The connection for `file`; the caller runs one statement on it, then calls release().
  Connection& acquire(const std::filesystem::path& file, bool writable, std::string_view name) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                           "no database named \"" + std::string(name) + "\"");
    ++clock_;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->file != file || it->writable != writable) continue;
      if (it->device == st.st_dev && it->inode == st.st_ino) {
        it->lastUse = clock_;
        return *it->connection;
      }
      entries_.erase(it);
      break;
    }
    if (entries_.size() >= kMaxEntries)
      entries_.erase(std::min_element(entries_.begin(), entries_.end(),
                                      [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
    auto connection = std::make_unique<Connection>(file, writable, name);
    entries_.push_back(Entry{file, writable, st.st_dev, st.st_ino, clock_, std::move(connection)});
    return *entries_.back().connection;
  }

  // Leaves no transaction open: every request stands alone.
  static void release(Connection& c) {
    if (!sqlite3_get_autocommit(c.get())) sqlite3_exec(c.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

 private:
  static constexpr std::size_t kMaxEntries = 8;
  struct Entry {
    std::filesystem::path file;
    bool writable;
    dev_t device;
    ino_t inode;
    std::uint64_t lastUse;
    std::unique_ptr<Connection> connection;
  };
  std::vector<Entry> entries_;
  std::uint64_t clock_ = 0;
};

thread_local ConnectionCache tConnections;

// A connection of this thread's cache for the span of one request.
class Lease {
 public:
  Lease(const std::filesystem::path& file, bool writable, std::string_view name,
        std::size_t maxValueBytes)
      : connection_(tConnections.acquire(file, writable, name)) {
    // No value larger than a reply may carry is ever made (zeroblob, printf, ...).
    const std::size_t cap = std::min<std::size_t>(maxValueBytes, std::numeric_limits<int>::max());
    sqlite3_limit(connection_.get(), SQLITE_LIMIT_LENGTH, static_cast<int>(cap));
  }
  ~Lease() { ConnectionCache::release(connection_); }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  const Connection& get() const { return connection_; }

 private:
  Connection& connection_;
};

using StatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// A kept statement back to its unbound, not-yet-run state when the call ends (a statement
// left stepping would also hold a read transaction open).
struct ResetOnExit {
  sqlite3_stmt* stmt;
  ~ResetOnExit() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
};

// The one statement of `sql`, from the connection's cache or compiled and kept; refuses empty
// text and text holding a second statement.
sqlite3_stmt* prepareSingle(const Connection& c, std::string_view sql) {
  if (sqlite3_stmt* kept = c.cached(sql)) return kept;
  if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw StatementError(Kind::Statement, SQLITE_TOOBIG, "statement text too long");
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(c.get(), sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  StatementPtr stmt(raw, &sqlite3_finalize);
  if (rc != SQLITE_OK) c.fail(rc);
  if (!stmt) throw StatementError(Kind::Statement, SQLITE_MISUSE, "no statement to run");

  // Whatever follows must compile to nothing (blanks, semicolons, comments).
  const char* end = sql.data() + sql.size();
  while (tail && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* nextTail = nullptr;
    rc = sqlite3_prepare_v2(c.get(), tail, static_cast<int>(end - tail), &next, &nextTail);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next)
      throw StatementError(Kind::Statement, SQLITE_MISUSE,
                           "only one statement may be sent per request");
    if (nextTail == tail) break;
    tail = nextTail;
  }
  return c.keep(sql, stmt.release());
}

void bindValue(const Connection& c, sqlite3_stmt* stmt, int index, const Variant& v) {
  int rc = SQLITE_OK;
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case VarType::Boolean:
      rc = sqlite3_bind_int64(stmt, index, v.boolean() ? 1 : 0);
      break;
    case VarType::Integer:
    case VarType::Long:
    case VarType::LongLong:
    case VarType::Byte:
      rc = sqlite3_bind_int64(stmt, index, v.toInt64());
      break;
    case VarType::String:
      rc = sqlite3_bind_text64(stmt, index, v.str().data(), v.str().size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
      break;
    case VarType::ByteArray: {
      const Bytes& b = v.bytes();
      static const std::uint8_t none = 0;
      rc = sqlite3_bind_blob64(stmt, index, b.empty() ? &none : b.data(), b.size(),
                               SQLITE_TRANSIENT);
      break;
    }
    case VarType::Date:
    case VarType::Currency:
    case VarType::Single:
    case VarType::Double:
    case VarType::Decimal:
      rc = sqlite3_bind_double(stmt, index, v.toDouble());
      break;
  }
  if (rc != SQLITE_OK) c.fail(rc);
}

void bindParameters(const Connection& c, sqlite3_stmt* stmt, const StatementParameters& p) {
  const int count = sqlite3_bind_parameter_count(stmt);
  std::vector<std::string> names;
  names.reserve(count);
  for (int i = 1; i <= count; ++i) {
    const char* name = sqlite3_bind_parameter_name(stmt, i);
    names.emplace_back(name ? name : "");
  }
  const std::vector<const Variant*> values = p.resolve(names);
  for (int i = 1; i <= count; ++i) bindValue(c, stmt, i, *values[i - 1]);
}

// Declared size of a type such as VARCHAR(40); 0 when none is declared.
std::size_t declaredSize(const char* decl) {
  if (!decl) return 0;
  const char* open = std::strchr(decl, '(');
  if (!open) return 0;
  unsigned long n = 0;
  if (std::sscanf(open + 1, "%lu", &n) != 1) return 0;
  return n > 1073741823ul ? 1073741823ul : n;
}

// Kind by SQLite's type affinity rules, for columns without any value.
ColumnKind kindOfDeclaredType(const char* decl) {
  const std::string t = lowerAscii(decl ? decl : "");
  if (t.find("int") != std::string::npos) return ColumnKind::Integer;
  if (t.find("char") != std::string::npos || t.find("clob") != std::string::npos ||
      t.find("text") != std::string::npos)
    return ColumnKind::Text;
  if (t.find("blob") != std::string::npos) return ColumnKind::Blob;
  if (t.find("real") != std::string::npos || t.find("floa") != std::string::npos ||
      t.find("doub") != std::string::npos || t.find("num") != std::string::npos ||
      t.find("dec") != std::string::npos)
    return ColumnKind::Double;
  return ColumnKind::Text;
}

ResultSet execute(const Connection& c, sqlite3_stmt* stmt, bool writable,
                  const DatabaseCatalog::Limits& limits) {
  if (!writable && !sqlite3_stmt_readonly(stmt))
    throw StatementError(Kind::Refused, SQLITE_READONLY,
                         "the database is read-only: statements that change data are refused");

  Deadline deadline{std::chrono::steady_clock::now() + limits.statementTime};
  sqlite3_progress_handler(c.get(), 10000, checkDeadline, &deadline);
  struct ProgressOff {
    sqlite3* db;
    ~ProgressOff() { sqlite3_progress_handler(db, 0, nullptr, nullptr); }
  } progressOff{c.get()};

  const int columnCount = sqlite3_column_count(stmt);
  std::vector<ResultBuilder::Column> columns;
  for (int i = 0; i < columnCount; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    const char* decl = sqlite3_column_decltype(stmt, i);
    columns.push_back({name ? name : "", kindOfDeclaredType(decl), declaredSize(decl)});
  }
  ResultBuilder result(std::move(columns), limits);

  while (true) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      if (deadline.expired)
        throw StatementError(Kind::Statement, SQLITE_INTERRUPT,
                             "the statement ran longer than " +
                                 std::to_string(limits.statementTime.count() / 1000) +
                                 " seconds and was stopped");
      c.fail(rc);
    }
    result.beginRow();
    for (int i = 0; i < columnCount; ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
          result.addInteger(sqlite3_column_int64(stmt, i));
          break;
        case SQLITE_FLOAT:
          result.addDouble(sqlite3_column_double(stmt, i));
          break;
        case SQLITE_TEXT: {
          const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
          const auto n = static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
          result.addText(std::string_view(p ? p : "", p ? n : 0));
          break;
        }
        case SQLITE_BLOB: {
          const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, i));
          result.addBlob(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
          break;
        }
        default:
          result.addNull();
      }
    }
  }

  if (columnCount == 0) return ResultBuilder::rowsAffected(sqlite3_changes64(c.get()));
  return std::move(result).finish();
}

}  // namespace

SqliteCatalog::SqliteCatalog(std::filesystem::path folder, bool writable, Limits limits)
    : DatabaseCatalog(writable, limits), folder_(std::move(folder)) {}

std::optional<std::filesystem::path> SqliteCatalog::fileOf(std::string_view database) const {
  const auto name = normalName(database);
  if (!name) return std::nullopt;
  return folder_ / (*name + ".sqlite");
}

ResultSet SqliteCatalog::run(std::string_view database, std::string_view sql,
                               const StatementParameters& parameters) const {
  const auto file = fileOf(database);
  if (!file)
    throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                         "\"" + std::string(database) + "\" is not a database name");
  const Lease lease(*file, writable(), database, limits().maxBytes);
  const Connection& c = lease.get();
  sqlite3_stmt* stmt = prepareSingle(c, sql);
  const ResetOnExit reset{stmt};
  bindParameters(c, stmt, parameters);
  return execute(c, stmt, writable(), limits());
}

ResultSet SqliteCatalog::runPage(std::string_view database, std::string_view page,
                                   const StatementParameters& parameters) const {
  const auto file = fileOf(database);
  if (!file)
    throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                         "\"" + std::string(database) + "\" is not a database name");
  const Lease lease(*file, writable(), database, limits().maxBytes);
  const Connection& c = lease.get();
  std::string statement;
  {
    constexpr std::string_view lookupSql =
        "select statement from qz_pages where page = ?1 collate nocase";
    sqlite3_stmt* lookup = c.cached(lookupSql);
    if (!lookup) {
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v3(c.get(), lookupSql.data(), static_cast<int>(lookupSql.size()),
                             SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw StatementError(Kind::NoPage, SQLITE_NOTFOUND,
                             "database \"" + std::string(database) + "\" has no pages (" +
                                 sqlite3_errmsg(c.get()) + ")");
      }
      lookup = c.keep(lookupSql, raw);
    }
    const ResetOnExit resetLookup{lookup};
    sqlite3_bind_text64(lookup, 1, page.data(), page.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    const int rc = sqlite3_step(lookup);
    if (rc == SQLITE_ROW) {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(lookup, 0));
      statement = p ? p : "";
    } else if (rc == SQLITE_DONE) {
      throw StatementError(Kind::NoPage, SQLITE_NOTFOUND,
                           "no page \"" + std::string(page) + "\" in database \"" +
                               std::string(database) + "\"");
    } else {
      c.fail(rc);
    }
  }
  sqlite3_stmt* stmt = prepareSingle(c, statement);
  const ResetOnExit reset{stmt};
  bindParameters(c, stmt, parameters);
  return execute(c, stmt, writable(), limits());
}

}  // namespace veltrano::server
