#include "server/mariadb_catalog.h"

#include <errmsg.h>
#include <mysql.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "server/mariadb_statement.h"
#include "server/result_builder.h"

namespace veltrano::server {

namespace {

using Kind = StatementError::Kind;

constexpr const char* kReadOnlyMessage =
    "the database is read-only: statements that change data are refused";

// The connection broke: the server went away, the connection was killed or cut, or a reply
// could not be read. Caught by the retry loop, never seen by callers.
struct Dropped {
  unsigned code;
  std::string message;
};

bool isDropped(unsigned code) {
  switch (code) {
    case 1053:  // ER_SERVER_SHUTDOWN
    case 1152:  // ER_ABORTING_CONNECTION
    case 1158: case 1159: case 1160: case 1161:  // ER_NET_READ/WRITE errors
    case 1927:  // ER_CONNECTION_KILLED
    case 4031:  // ER_CLIENT_INTERACTION_TIMEOUT
    // The client library's: cannot connect, server gone or lost, a reply it cannot read.
    case CR_UNKNOWN_ERROR: case CR_SOCKET_CREATE_ERROR: case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR: case CR_IPSOCK_ERROR: case CR_UNKNOWN_HOST:
    case CR_SERVER_GONE_ERROR: case CR_SERVER_HANDSHAKE_ERR: case CR_SERVER_LOST:
    case CR_COMMANDS_OUT_OF_SYNC: case CR_NET_PACKET_TOO_LARGE: case CR_SSL_CONNECTION_ERROR:
    case CR_MALFORMED_PACKET: case CR_SERVER_LOST_EXTENDED: case CR_ERR_NET_READ:
    case CR_ERR_NET_WRITE: case CR_ERR_NET_UNCOMPRESS:
      return true;
    default:
      return false;
  }
}

// Each statement's session: exact text comparisons, SQLite's reading of quotes, backslashes
// and "||", and no statement running longer than the limit.
std::string sessionSetup(const DatabaseCatalog::Limits& limits) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f",
                std::max<double>(static_cast<double>(limits.statementTime.count()) / 1000.0, 0.001));
  return std::string("SET NAMES utf8mb4 COLLATE utf8mb4_nopad_bin, SESSION sql_mode = "
                     "'STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,"
                     "NO_BACKSLASH_ESCAPES,PIPES_AS_CONCAT', SESSION autocommit = 1, "
                     "SESSION max_statement_time = ") +
         seconds;
}

std::string interruptedMessage(const DatabaseCatalog::Limits& limits) {
  return "the statement ran longer than " + std::to_string(limits.statementTime.count() / 1000) +
         " seconds and was stopped";
}

// One connection with its session and its prepared statements. Used by one thread at a time.
//
// On destruction the connection is closed; one marked unusable (its state unknown: a result
// left unread, an error in the middle) is cut first, so that nothing left on it is read.
class Connection {
 public:
  Connection(const MariadbCatalog::Settings& settings, bool writable,
             const DatabaseCatalog::Limits& limits)
      : limits_(limits), writable_(writable) {
    mysql_ = mysql_init(nullptr);
    if (!mysql_) throw Dropped{2008, "out of memory for a MariaDB connection"};
    const unsigned connectSeconds = 5;
    const unsigned readSeconds =
        static_cast<unsigned>(limits.statementTime.count() / 1000) + 10;
    const unsigned writeSeconds = 30;
    const unsigned localInfile = 0;
    const unsigned long packet = static_cast<unsigned long>(
        std::min<std::size_t>(limits.maxBytes + (1u << 20), std::size_t{1} << 30));
    mysql_optionsv(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_optionsv(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &connectSeconds);
    mysql_optionsv(mysql_, MYSQL_OPT_READ_TIMEOUT, &readSeconds);
    mysql_optionsv(mysql_, MYSQL_OPT_WRITE_TIMEOUT, &writeSeconds);
    mysql_optionsv(mysql_, MYSQL_OPT_LOCAL_INFILE, &localInfile);
    mysql_optionsv(mysql_, MYSQL_OPT_MAX_ALLOWED_PACKET, &packet);
    const MariadbAddress& a = settings.address;
    if (!mysql_real_connect(mysql_, a.host.c_str(), a.user.c_str(), settings.password.c_str(),
                            nullptr, a.socket.empty() ? static_cast<unsigned>(a.port) : 0,
                            a.socket.empty() ? nullptr : a.socket.c_str(), CLIENT_FOUND_ROWS)) {
      const unsigned code = mysql_errno(mysql_);
      const std::string message = mysql_error(mysql_);
      mysql_close(mysql_);
      mysql_ = nullptr;
      if (isDropped(code)) throw Dropped{code, "cannot reach the database server: " + message};
      // Wrong account or password, and the like: no use trying again.
      throw StatementError(Kind::Statement, static_cast<int>(code),
                           "the database server refused the connection: " + message);
    }
    try {
      setUpSession();
    } catch (...) {
      mysql_close(mysql_);
      throw;
    }
  }

  ~Connection() {
    if (mysql_ && !usable_) {
      const int fd = static_cast<int>(mysql_get_socket(mysql_));
      if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    }
    std::vector<MYSQL_STMT*> statements;
    for (auto& [text, stmt] : statements_) statements.push_back(stmt);
    if (mysql_) mysql_close(mysql_);  // also detaches the statements from the connection
    for (MYSQL_STMT* s : statements) mysql_stmt_close(s);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool usable() const { return usable_; }
  void markUnusable() { usable_ = false; }

  // False when the server has closed the connection while it was idle (restart, timeout,
  // kill): the socket has something to read, or its end, when no reply is awaited.
  bool looksAlive() const {
    const int fd = static_cast<int>(mysql_get_socket(mysql_));
    if (fd < 0) return false;
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 0;
  }

  // The error of the last call as an exception: Dropped when the connection broke.
  [[noreturn]] void fail(unsigned code, const char* message) {
    if (isDropped(code)) {
      usable_ = false;
      throw Dropped{code, message};
    }
    switch (code) {
      case 1969:  // ER_STATEMENT_TIMEOUT
        throw StatementError(Kind::Statement, error_number::kInterrupted, interruptedMessage(limits_));
      case 1044:  // ER_DBACCESS_DENIED_ERROR
      case 1142:  // ER_TABLEACCESS_DENIED_ERROR
      case 1143:  // ER_COLUMNACCESS_DENIED_ERROR
      case 1227:  // ER_SPECIFIC_ACCESS_DENIED_ERROR
      case 1290:  // ER_OPTION_PREVENTS_STATEMENT (a read-only server)
      case 1792:  // ER_CANT_EXECUTE_IN_READ_ONLY_TRANSACTION
        throw StatementError(Kind::Refused, static_cast<int>(code), message);
      default:
        throw StatementError(Kind::Statement, static_cast<int>(code), message);
    }
  }
  [[noreturn]] void fail() { fail(mysql_errno(mysql_), mysql_error(mysql_)); }
  [[noreturn]] void fail(MYSQL_STMT* s) {
    // An error read while rows are fetched may be left on the connection only.
    if (mysql_stmt_errno(s) == 0 && mysql_errno(mysql_) != 0) fail();
    if (mysql_stmt_errno(s) == 0) {
      usable_ = false;
      throw StatementError(Kind::Statement, error_number::kStatement,
                           "the statement failed without a reason from the database");
    }
    fail(mysql_stmt_errno(s), mysql_stmt_error(s));
  }

  // Makes `schema` the connection's default schema.
  void useSchema(const std::string& schema, std::string_view asRequested) {
    if (schema == schema_) return;
    if (mysql_select_db(mysql_, schema.c_str()) != 0) {
      const unsigned code = mysql_errno(mysql_);
      if (code == 1049 || code == 1044)  // ER_BAD_DB_ERROR, ER_DBACCESS_DENIED_ERROR
        throw StatementError(Kind::NoDatabase, static_cast<int>(code),
                             "no database named \"" + std::string(asRequested) + "\" (" +
                                 mysql_error(mysql_) + ")");
      fail();
    }
    schema_ = schema;
  }

  // The statement prepared on this connection for the current schema, kept by its text.
  MYSQL_STMT* prepared(const std::string& text) {
    const std::string key = schema_ + '\0' + text;
    if (const auto it = statements_.find(key); it != statements_.end()) return it->second;
    if (statements_.size() >= kMaxStatements) closeStatements();
    MYSQL_STMT* s = mysql_stmt_init(mysql_);
    if (!s) fail();
    if (mysql_stmt_prepare(s, text.data(), static_cast<unsigned long>(text.size())) != 0) {
      const unsigned code = mysql_stmt_errno(s);
      const std::string message = mysql_stmt_error(s);
      mysql_stmt_close(s);
      fail(code, message.c_str());
    }
    statements_.emplace(key, s);
    return s;
  }

  // Leaves nothing of a statement's doing for the next: a transaction is rolled back, and
  // after a statement that may have changed the session (settings, temporary tables, locks,
  // variables) the session is reset and set up again.
  void tidy(MariadbEffect effect) {
    if (!usable_) return;
    if (effect == MariadbEffect::Other) {
      closeStatements();
      if (mysql_reset_connection(mysql_) != 0) {
        usable_ = false;
        return;
      }
      schema_.clear();
      try {
        setUpSession();
      } catch (...) {
        usable_ = false;
      }
    } else if (mysql_->server_status & SERVER_STATUS_IN_TRANS) {
      if (mysql_query(mysql_, "ROLLBACK") != 0) usable_ = false;
    }
  }

 private:
  static constexpr std::size_t kMaxStatements = 64;

  void setUpSession() {
    const std::string setup = sessionSetup(limits_);
    if (mysql_real_query(mysql_, setup.data(), setup.size()) != 0) fail();
    if (!writable_ && mysql_query(mysql_, "SET SESSION TRANSACTION READ ONLY") != 0) fail();
  }

  void closeStatements() {
    for (auto& [text, stmt] : statements_) mysql_stmt_close(stmt);
    statements_.clear();
  }

  MYSQL* mysql_ = nullptr;
  DatabaseCatalog::Limits limits_;
  bool writable_;
  bool usable_ = true;
  std::string schema_;  // the default schema now, "" for none
  std::unordered_map<std::string, MYSQL_STMT*> statements_;
};

// How a column's values are fetched.
enum class Fetch { Signed, Unsigned, Double, Decimal, Bits, Time, Text, Bytes, Null };

struct ColumnPlan {
  Fetch fetch = Fetch::Text;
  ResultBuilder::Column column;
  unsigned decimals = 0;
};

ColumnPlan planOf(const MYSQL_FIELD& f) {
  ColumnPlan p;
  p.column.name.assign(f.name, f.name_length);
  p.decimals = f.decimals;
  const bool binary = f.charsetnr == 63;
  switch (f.type) {
    case MYSQL_TYPE_TINY: case MYSQL_TYPE_SHORT: case MYSQL_TYPE_INT24: case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG: case MYSQL_TYPE_YEAR:
      p.fetch = (f.flags & UNSIGNED_FLAG) ? Fetch::Unsigned : Fetch::Signed;
      p.column.declaredKind = ColumnKind::Integer;
      break;
    case MYSQL_TYPE_BIT:
      p.fetch = Fetch::Bits;
      p.column.declaredKind = ColumnKind::Integer;
      break;
    case MYSQL_TYPE_FLOAT: case MYSQL_TYPE_DOUBLE:
      p.fetch = Fetch::Double;
      p.column.declaredKind = ColumnKind::Double;
      break;
    case MYSQL_TYPE_DECIMAL: case MYSQL_TYPE_NEWDECIMAL:
      p.fetch = Fetch::Decimal;
      p.column.declaredKind = f.decimals == 0 ? ColumnKind::Integer : ColumnKind::Double;
      break;
    case MYSQL_TYPE_DATE: case MYSQL_TYPE_NEWDATE: case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME: case MYSQL_TYPE_TIMESTAMP:
      p.fetch = Fetch::Time;
      p.column.declaredKind = ColumnKind::Text;
      break;
    case MYSQL_TYPE_NULL:
      p.fetch = Fetch::Null;
      p.column.declaredKind = ColumnKind::Text;
      break;
    case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_STRING: case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET:
      p.fetch = binary ? Fetch::Bytes : Fetch::Text;
      p.column.declaredKind = binary ? ColumnKind::Blob : ColumnKind::Text;
      // A table column's declared size (VARCHAR(40)), as SQLite gives a column's declared type;
      // the length is in bytes of the result's character set.
      if (!binary && f.org_name_length > 0) {
        const MARIADB_CHARSET_INFO* cs = mariadb_get_charset_by_nr(f.charsetnr);
        const unsigned perChar = cs && cs->char_maxlen > 0 ? cs->char_maxlen : 1;
        p.column.declaredSize = std::min<std::size_t>(f.length / perChar, 1073741823);
      }
      break;
    default:  // the BLOB and TEXT types, JSON, GEOMETRY
      p.fetch = binary ? Fetch::Bytes : Fetch::Text;
      p.column.declaredKind = binary ? ColumnKind::Blob : ColumnKind::Text;
      break;
  }
  return p;
}

// MariaDB's own text of a date or time ("2024-03-01 13:05:00.25" with two decimals).
std::string timeText(const MYSQL_TIME& t, enum_field_types type, unsigned decimals) {
  char buf[64];
  int n = 0;
  if (type == MYSQL_TYPE_DATE || type == MYSQL_TYPE_NEWDATE) {
    n = std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", t.year, t.month, t.day);
  } else if (type == MYSQL_TYPE_TIME) {
    n = std::snprintf(buf, sizeof buf, "%s%02u:%02u:%02u", t.neg ? "-" : "", t.day * 24 + t.hour,
                      t.minute, t.second);
  } else {
    n = std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
  }
  std::string text(buf, static_cast<std::size_t>(std::max(n, 0)));
  if (type != MYSQL_TYPE_DATE && type != MYSQL_TYPE_NEWDATE && decimals > 0 && decimals <= 6) {
    char frac[16];
    std::snprintf(frac, sizeof frac, ".%06lu", t.second_part % 1000000);
    text.append(frac, decimals + 1);
  }
  return text;
}

// A value of one column of the row being fetched.
struct Cell {
  unsigned long length = 0;
  my_bool isNull = 0;
  my_bool truncated = 0;
  std::int64_t integer = 0;
  double real = 0;
  MYSQL_TIME time{};
  char small[256];  // text and bytes up to this size; longer ones are fetched apart
};

// Binds a parameter value the way SqliteCatalog binds it.
void bindValue(MYSQL_BIND& b, const Variant& v, std::int64_t& integer, double& real) {
  std::memset(&b, 0, sizeof b);
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      b.buffer_type = MYSQL_TYPE_NULL;
      break;
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::LongLong:
    case VarType::Byte:
      integer = v.type() == VarType::Boolean ? (v.boolean() ? 1 : 0) : v.toInt64();
      b.buffer_type = MYSQL_TYPE_LONGLONG;
      b.buffer = &integer;
      break;
    case VarType::String:
      b.buffer_type = MYSQL_TYPE_STRING;
      b.buffer = const_cast<char*>(v.str().data());
      b.buffer_length = static_cast<unsigned long>(v.str().size());
      break;
    case VarType::ByteArray:
      b.buffer_type = MYSQL_TYPE_BLOB;
      b.buffer = const_cast<std::uint8_t*>(v.bytes().data());
      b.buffer_length = static_cast<unsigned long>(v.bytes().size());
      break;
    case VarType::Date:
    case VarType::Currency:
    case VarType::Single:
    case VarType::Double:
    case VarType::Decimal:
      real = v.toDouble();
      b.buffer_type = MYSQL_TYPE_DOUBLE;
      b.buffer = &real;
      break;
  }
}

// Runs a prepared statement with its values and gathers its result.
ResultSet execute(Connection& c, MYSQL_STMT* s, const MariadbStatement& st,
                  const std::vector<const Variant*>& values, const DatabaseCatalog::Limits& limits,
                  bool& sent) {
  if (mysql_stmt_param_count(s) != st.placeholders.size())
    throw StatementError(Kind::Statement, error_number::kRange,
                         "MariaDB finds " + std::to_string(mysql_stmt_param_count(s)) +
                             " parameters in the statement where the server finds " +
                             std::to_string(st.placeholders.size()));
  std::vector<MYSQL_BIND> params(st.placeholders.size());
  std::vector<std::int64_t> integers(params.size());
  std::vector<double> reals(params.size());
  for (std::size_t i = 0; i < params.size(); ++i)
    bindValue(params[i], *values[st.placeholders[i]], integers[i], reals[i]);
  if (!params.empty() && mysql_stmt_bind_param(s, params.data()) != 0) c.fail(s);

  sent = true;
  if (mysql_stmt_execute(s) != 0) c.fail(s);
  const unsigned columnCount = mysql_stmt_field_count(s);
  if (columnCount == 0)
    return ResultBuilder::rowsAffected(static_cast<std::int64_t>(mysql_stmt_affected_rows(s)));

  MYSQL_RES* meta = mysql_stmt_result_metadata(s);
  if (!meta) c.fail(s);
  const std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> metaOwner(meta, &mysql_free_result);
  const MYSQL_FIELD* fields = mysql_fetch_fields(meta);

  std::vector<ColumnPlan> plans;
  std::vector<ResultBuilder::Column> columns;
  for (unsigned i = 0; i < columnCount; ++i) {
    plans.push_back(planOf(fields[i]));
    columns.push_back(plans.back().column);
  }
  std::vector<Cell> cells(columnCount);
  std::vector<MYSQL_BIND> binds(columnCount);
  for (unsigned i = 0; i < columnCount; ++i) {
    Cell& cell = cells[i];
    MYSQL_BIND& b = binds[i];
    b.length = &cell.length;
    b.is_null = &cell.isNull;
    b.error = &cell.truncated;
    switch (plans[i].fetch) {
      case Fetch::Signed:
      case Fetch::Unsigned:
        b.buffer_type = MYSQL_TYPE_LONGLONG;
        b.buffer = &cell.integer;
        b.is_unsigned = plans[i].fetch == Fetch::Unsigned;
        break;
      case Fetch::Double:
        b.buffer_type = MYSQL_TYPE_DOUBLE;
        b.buffer = &cell.real;
        break;
      case Fetch::Time:
        b.buffer_type = fields[i].type;
        b.buffer = &cell.time;
        b.buffer_length = sizeof cell.time;
        break;
      case Fetch::Null:
        b.buffer_type = MYSQL_TYPE_NULL;
        break;
      default:  // Decimal, Bits, Text, Bytes: their bytes
        b.buffer_type = MYSQL_TYPE_BLOB;
        b.buffer = cell.small;
        b.buffer_length = sizeof cell.small;
        break;
    }
  }
  if (mysql_stmt_bind_result(s, binds.data()) != 0) c.fail(s);

  ResultBuilder result(std::move(columns), limits);
  try {
    while (true) {
      const int rc = mysql_stmt_fetch(s);
      if (rc == MYSQL_NO_DATA) break;
      if (rc == 1) c.fail(s);
      result.beginRow();
      for (unsigned i = 0; i < columnCount; ++i) {
        Cell& cell = cells[i];
        if (cell.isNull) {
          result.addNull();
          continue;
        }
        const ColumnPlan& plan = plans[i];
        std::string_view bytes(cell.small, std::min<std::size_t>(cell.length, sizeof cell.small));
        std::string large;
        if ((plan.fetch == Fetch::Text || plan.fetch == Fetch::Bytes || plan.fetch == Fetch::Decimal ||
             plan.fetch == Fetch::Bits) &&
            cell.length > sizeof cell.small) {
          // Too long for the small buffer: its size is known before it is copied.
          result.checkRoom(cell.length);
          large.resize(cell.length);
          MYSQL_BIND whole = binds[i];
          whole.buffer = large.data();
          whole.buffer_length = cell.length;
          if (mysql_stmt_fetch_column(s, &whole, i, 0) != 0) c.fail(s);
          bytes = large;
        }
        switch (plan.fetch) {
          case Fetch::Signed:
            result.addInteger(cell.integer);
            break;
          case Fetch::Unsigned: {
            const auto u = static_cast<std::uint64_t>(cell.integer);
            if (u > static_cast<std::uint64_t>(INT64_MAX)) result.addDouble(static_cast<double>(u));
            else result.addInteger(static_cast<std::int64_t>(u));
            break;
          }
          case Fetch::Double:
            result.addDouble(cell.real);
            break;
          case Fetch::Decimal: {
            std::int64_t whole = 0;
            const auto [end, ec] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), whole);
            if (plan.decimals == 0 && ec == std::errc() && end == bytes.data() + bytes.size()) {
              result.addInteger(whole);
            } else {
              double d = 0;
              std::from_chars(bytes.data(), bytes.data() + bytes.size(), d);
              result.addDouble(d);
            }
            break;
          }
          case Fetch::Bits: {
            std::uint64_t v = 0;
            for (unsigned char b : bytes) v = (v << 8) | b;
            if (v > static_cast<std::uint64_t>(INT64_MAX)) result.addDouble(static_cast<double>(v));
            else result.addInteger(static_cast<std::int64_t>(v));
            break;
          }
          case Fetch::Time:
            result.addText(timeText(cell.time, fields[i].type, plan.decimals));
            break;
          case Fetch::Text:
            result.addText(bytes);
            break;
          case Fetch::Bytes:
            result.addBlob(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            break;
          case Fetch::Null:
            result.addNull();
            break;
        }
      }
    }
  } catch (const StatementError&) {
    // Over a limit, or failed midway: the rest of the result is not read; the connection goes.
    c.markUnusable();
    throw;
  }
  if (mysql_stmt_free_result(s) != 0) c.markUnusable();
  return std::move(result).finish();
}

}  // namespace

// The connections: at most `connections` open, idle ones kept for the next call.
class MariadbCatalog::Pool {
 public:
  Pool(Settings settings, bool writable, Limits limits)
      : settings_(std::move(settings)), writable_(writable), limits_(limits) {}

  // A connection for one call: an idle one that still looks alive, or a new one (`fresh`: a
  // new one always). Waits while all are in use. Throws Dropped when the server cannot be
  // reached, StatementError when it refuses the account or no connection comes free in time.
  std::unique_ptr<Connection> take(bool fresh) {
    std::unique_ptr<Connection> idle;
    {
      std::unique_lock lock(mutex_);
      const auto deadline = std::chrono::steady_clock::now() + limits_.statementTime +
                            std::chrono::seconds(15);
      if (!freed_.wait_until(lock, deadline,
                             [&] { return !idle_.empty() || idle_.size() + busy_ < settings_.connections; }))
        throw StatementError(Kind::Statement, 5,
                             "all " + std::to_string(settings_.connections) +
                                 " database connections stayed busy");
      ++busy_;
      if (!idle_.empty()) {
        idle = std::move(idle_.back());
        idle_.pop_back();
      }
    }
    if (idle && !fresh && idle->looksAlive()) return idle;
    idle.reset();  // closed outside the lock
    try {
      return std::make_unique<Connection>(settings_, writable_, limits_);
    } catch (...) {
      give(nullptr);
      throw;
    }
  }

  // Back from a call: kept when still usable, else closed.
  void give(std::unique_ptr<Connection> c) {
    const bool keep = c && c->usable();
    if (!keep) c.reset();
    std::lock_guard lock(mutex_);
    --busy_;
    if (keep) idle_.push_back(std::move(c));
    freed_.notify_one();
  }

  // After a dropped connection the idle ones went to the same server: they are closed too.
  void closeIdle() {
    std::vector<std::unique_ptr<Connection>> gone;
    std::lock_guard lock(mutex_);
    gone.swap(idle_);
    for (auto& c : gone) c->markUnusable();
  }

  std::size_t open() const {
    std::lock_guard lock(mutex_);
    return idle_.size() + busy_;
  }

  // Runs `call(connection, sent)` on a connection, again once on a fresh connection when its
  // connection dropped and it was never sent, or `retryable`.
  template <typename Call>
  ResultSet withConnection(bool retryable, MariadbEffect effect, Call&& call) {
    for (int attempt = 0;; ++attempt) {
      bool sent = false;
      try {
        std::unique_ptr<Connection> c = take(attempt > 0);
        struct Return {
          Pool& pool;
          std::unique_ptr<Connection>& c;
          ~Return() { pool.give(std::move(c)); }
        } giveBack{*this, c};
        ResultSet result = call(*c, sent);
        c->tidy(effect);
        return result;
      } catch (const Dropped& d) {
        closeIdle();
        if (attempt == 0 && (!sent || retryable)) continue;
        throw StatementError(Kind::Statement, static_cast<int>(d.code),
                             sent ? "the connection to the database was lost after the statement "
                                    "was sent (it may have run): " + d.message
                                  : d.message);
      }
    }
  }

  const Limits& limits() const { return limits_; }

 private:
  Settings settings_;
  bool writable_;
  Limits limits_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::size_t busy_ = 0;  // taken, or being opened
};

namespace {

std::once_flag gLibraryInit;

std::string schemaOf(std::string_view database) {
  const auto name = DatabaseCatalog::normalName(database);
  if (!name)
    throw StatementError(Kind::NoDatabase, error_number::kCannotOpen,
                         "\"" + std::string(database) + "\" is not a database name");
  return *name;
}

}  // namespace

MariadbCatalog::MariadbCatalog(Settings settings, bool writable, Limits limits)
    : DatabaseCatalog(writable, limits) {
  std::call_once(gLibraryInit, [] { mysql_library_init(0, nullptr, nullptr); });
  if (settings.connections == 0) settings.connections = 1;
  pool_ = std::make_unique<Pool>(std::move(settings), writable, limits);
}

MariadbCatalog::~MariadbCatalog() = default;

void MariadbCatalog::connect() const {
  pool_->withConnection(true, MariadbEffect::Reads,
                        [](Connection&, bool&) { return ResultSet{}; });
}

std::size_t MariadbCatalog::openConnections() const { return pool_->open(); }

ResultSet MariadbCatalog::run(std::string_view database, std::string_view sql,
                              const StatementParameters& parameters) const {
  const std::string schema = schemaOf(database);
  const MariadbStatement st = readMariadbStatement(sql);
  const bool refused = !writable() && st.effect != MariadbEffect::Reads;
  return pool_->withConnection(st.effect == MariadbEffect::Reads, st.effect,
                               [&](Connection& c, bool& sent) {
                                 c.useSchema(schema, database);
                                 // Prepared first, as SQLite compiles first: a statement that
                                 // is not one says so before it is refused.
                                 MYSQL_STMT* s = nullptr;
                                 try {
                                   s = c.prepared(st.text);
                                 } catch (const StatementError& e) {
                                   // The read-only session may refuse it already.
                                   if (!refused || e.kind() != Kind::Refused) throw;
                                 }
                                 if (refused)
                                   throw StatementError(
                                       Kind::Refused, error_number::kReadOnly,
                                       st.doubt.empty() ? std::string(kReadOnlyMessage)
                                                        : std::string(kReadOnlyMessage) + " (" +
                                                              st.doubt + " may change data)");
                                 const std::vector<const Variant*> values =
                                     parameters.resolve(st.parameters);
                                 return execute(c, s, st, values, limits(), sent);
                               });
}

ResultSet MariadbCatalog::runPage(std::string_view database, std::string_view page,
                                  const StatementParameters& parameters) const {
  const std::string schema = schemaOf(database);
  static const MariadbStatement lookup =
      readMariadbStatement("select statement from qz_pages where lower(page) = lower(?)");
  const Variant pageName{std::string(page)};
  const ResultSet found = pool_->withConnection(
      true, MariadbEffect::Reads, [&](Connection& c, bool& sent) {
        c.useSchema(schema, database);
        MYSQL_STMT* s = nullptr;
        try {
          s = c.prepared(lookup.text);
        } catch (const StatementError& e) {
          if (e.kind() != Kind::Statement) throw;
          throw StatementError(Kind::NoPage, error_number::kNotFound,
                               "database \"" + std::string(database) + "\" has no pages (" +
                                   e.what() + ")");
        }
        return execute(c, s, lookup, {&pageName}, limits(), sent);
      });
  if (found.rows.empty() || !found.rows[0][0].isString())
    throw StatementError(Kind::NoPage, error_number::kNotFound,
                         "no page \"" + std::string(page) + "\" in database \"" +
                             std::string(database) + "\"");
  return run(database, found.rows[0][0].str(), parameters);
}

}  // namespace veltrano::server
