#include "server/database.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

#include "platform/text/ansi.h"

namespace veltrano::server {

namespace {

using Kind = StatementError::Kind;

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

std::size_t utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// `bytes` with every byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD (overlong forms, surrogates, code points beyond U+10FFFF and cut sequences included).
std::string wellFormedUtf8(std::string_view bytes) {
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c < 0x80) len = 1;
    else if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c == 0xE0) len = 3, lo = 0xA0;
    else if (c >= 0xE1 && c <= 0xEC) len = 3;
    else if (c == 0xED) len = 3, hi = 0x9F;
    else if (c >= 0xEE && c <= 0xEF) len = 3;
    else if (c == 0xF0) len = 4, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) len = 4;
    else if (c == 0xF4) len = 4, hi = 0x8F;
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      const unsigned char b = p[i + k];
      ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
    }
    if (ok) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
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
  bool anonymousUsed = false;
  const int count = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= count; ++i) {
    const char* name = sqlite3_bind_parameter_name(stmt, i);
    if (!name || name[0] == '?') {
      if (p.firstAnonymous && !anonymousUsed) {
        bindValue(c, stmt, i, *p.firstAnonymous);
        anonymousUsed = true;
        continue;
      }
      throw StatementError(Kind::Statement, SQLITE_RANGE,
                           "parameter " + std::to_string(i) + " (?) has no value");
    }
    const std::string_view bare = name + 1;
    const auto found = std::find_if(p.named.begin(), p.named.end(),
                                    [&](const auto& kv) { return equalsNoCase(kv.first, bare); });
    if (found == p.named.end())
      throw StatementError(Kind::Statement, SQLITE_RANGE,
                           std::string("parameter ") + name + " has no value");
    bindValue(c, stmt, i, found->second);
  }
  if (p.firstAnonymous && !anonymousUsed) {
    // A payload sent for a statement with nowhere to put it would be lost without notice.
    const Variant& v = *p.firstAnonymous;
    const bool empty = v.isEmpty() || v.isNull() || (v.isBytes() && v.bytes().empty()) ||
                       (v.isString() && v.str().empty());
    if (!empty)
      throw StatementError(Kind::Statement, SQLITE_RANGE,
                           "the statement has no ? parameter for the data sent with it");
  }
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

std::string numberText(const Variant& v) {
  if (v.type() == VarType::LongLong) return std::to_string(v.toInt64());
  char buf[40];
  const double d = v.toDouble();
  std::snprintf(buf, sizeof buf, "%.15g", d);
  if (std::strtod(buf, nullptr) != d) std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

// Settles each column's kind from the storage classes seen, converting mixed cells so every
// cell of a column has the column's kind.
void settleColumns(ResultSet& rs, const std::vector<unsigned>& seen,
                   const std::vector<const char*>& decls) {
  enum : unsigned { kInt = 1, kBigInt = 2, kReal = 4, kText = 8, kBlob = 16 };
  for (std::size_t col = 0; col < rs.columns.size(); ++col) {
    ResultColumn& c = rs.columns[col];
    const unsigned s = seen[col];
    if (s == 0) c.kind = kindOfDeclaredType(decls[col]);
    else if (s & kBlob) c.kind = ColumnKind::Blob;
    else if (s & kText) c.kind = ColumnKind::Text;
    else if (s & kReal) c.kind = ColumnKind::Double;
    else if (s & kBigInt) c.kind = ColumnKind::BigInt;
    else c.kind = ColumnKind::Integer;

    std::size_t longest = 0;
    for (auto& row : rs.rows) {
      Variant& v = row[col];
      if (v.isNull()) continue;
      if (c.kind == ColumnKind::Text && !v.isString()) {
        const Variant asText(numberText(v));
        v = asText;
      } else if (c.kind == ColumnKind::Double && !v.isNull()) {
        const Variant asDouble(v.toDouble());
        v = asDouble;
      } else if (c.kind == ColumnKind::Blob && !v.isBytes()) {
        const std::string t = v.isString() ? v.str() : numberText(v);
        const Variant asBytes(Bytes(t.begin(), t.end()));
        v = asBytes;
      }
      if (v.isString()) longest = std::max(longest, utf8Length(v.str()));
      if (v.isBytes()) longest = std::max(longest, v.bytes().size());
    }
    if (c.kind == ColumnKind::Text) longest = std::max(longest, declaredSize(decls[col]));
    c.definedSize = std::max<std::size_t>(longest, 1);
  }
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
  ResultSet rs;
  std::vector<unsigned> seen(columnCount, 0);
  std::vector<const char*> decls(columnCount, nullptr);
  for (int i = 0; i < columnCount; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    rs.columns.push_back({name ? name : "", ColumnKind::Text, 1});
    decls[i] = sqlite3_column_decltype(stmt, i);
  }

  std::size_t bytes = 0;  // of the values so far: what the reply will at least carry
  auto count = [&](std::size_t n) {
    bytes += n;
    if (bytes > limits.maxBytes)
      throw StatementError(Kind::Statement, SQLITE_TOOBIG,
                           "the result is larger than " + std::to_string(limits.maxBytes) +
                               " bytes (the server's reply limit)");
  };
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
    if (rs.rows.size() >= limits.maxRows)
      throw StatementError(Kind::Statement, SQLITE_TOOBIG,
                           "the result has more than " + std::to_string(limits.maxRows) +
                               " rows (the server's row limit)");
    std::vector<Variant> row;
    row.reserve(columnCount);
    for (int i = 0; i < columnCount; ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER: {
          const std::int64_t v = sqlite3_column_int64(stmt, i);
          seen[i] |= (v < INT32_MIN || v > INT32_MAX) ? 2u : 1u;
          count(8);
          row.emplace_back(v);
          break;
        }
        case SQLITE_FLOAT:
          seen[i] |= 4u;
          count(8);
          row.emplace_back(sqlite3_column_double(stmt, i));
          break;
        case SQLITE_TEXT: {
          seen[i] |= 8u;
          const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
          const auto n = static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
          count(n);
          row.emplace_back(wellFormedUtf8(std::string_view(p ? p : "", p ? n : 0)));
          break;
        }
        case SQLITE_BLOB: {
          seen[i] |= 16u;
          const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, i));
          const int n = sqlite3_column_bytes(stmt, i);
          count(static_cast<std::size_t>(n));
          row.emplace_back(p ? Bytes(p, p + n) : Bytes());
          break;
        }
        default:
          count(1);
          row.emplace_back(Null);
      }
    }
    rs.rows.push_back(std::move(row));
  }

  if (columnCount == 0) {
    rs.columns.push_back({"RowsAffected", ColumnKind::BigInt, 8});
    rs.rows.push_back({Variant(static_cast<std::int64_t>(sqlite3_changes64(c.get())))});
    return rs;
  }
  settleColumns(rs, seen, decls);
  return rs;
}

}  // namespace

DatabaseCatalog::DatabaseCatalog(std::filesystem::path folder, bool writable, Limits limits)
    : folder_(std::move(folder)), writable_(writable), limits_(limits) {}

std::optional<std::filesystem::path> DatabaseCatalog::fileOf(std::string_view database) const {
  if (database.empty() || database.size() > 64) return std::nullopt;
  for (char ch : database) {
    const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                    (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
    if (!ok) return std::nullopt;
  }
  return folder_ / (lowerAscii(database) + ".sqlite");
}

ResultSet DatabaseCatalog::run(std::string_view database, std::string_view sql,
                               const StatementParameters& parameters) const {
  const auto file = fileOf(database);
  if (!file)
    throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                         "\"" + std::string(database) + "\" is not a database name");
  const Lease lease(*file, writable_, database, limits_.maxBytes);
  const Connection& c = lease.get();
  sqlite3_stmt* stmt = prepareSingle(c, sql);
  const ResetOnExit reset{stmt};
  bindParameters(c, stmt, parameters);
  return execute(c, stmt, writable_, limits_);
}

ResultSet DatabaseCatalog::runPage(std::string_view database, std::string_view page,
                                   const StatementParameters& parameters) const {
  const auto file = fileOf(database);
  if (!file)
    throw StatementError(Kind::NoDatabase, SQLITE_CANTOPEN,
                         "\"" + std::string(database) + "\" is not a database name");
  const Lease lease(*file, writable_, database, limits_.maxBytes);
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
  return execute(c, stmt, writable_, limits_);
}

}  // namespace veltrano::server
