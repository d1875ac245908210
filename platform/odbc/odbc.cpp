#include "platform/odbc/odbc.h"

#include <algorithm>
#include <map>

#include "platform/odbc/odbc_api.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#ifdef _WIN32
#include "platform/text/wide.h"
#endif

namespace veltrano::odbc {

struct Connection::Handles {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
};

namespace {

// The text of the ODBC calls. unixODBC: the narrow calls, in UTF-8 (the drivers we use speak
// it). Windows: the wide calls of odbc32 (UNICODE maps each name onto its W function), since
// the narrow ones would pass through the ANSI code page. Lengths of the calls count these units;
// SQLGetData's count bytes.
#ifdef _WIN32
using Unit = SQLWCHAR;
static_assert(sizeof(Unit) == sizeof(wchar_t));
constexpr SQLSMALLINT kTextCType = SQL_C_WCHAR;
std::basic_string<Unit> toOdbc(std::string_view utf8) {
  const std::wstring wide = text::widen(utf8);
  return {wide.begin(), wide.end()};
}
std::string fromOdbc(const Unit* units, std::size_t count) {
  return text::narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(units), count));
}
#else
using Unit = SQLCHAR;
constexpr SQLSMALLINT kTextCType = SQL_C_CHAR;
std::basic_string<Unit> toOdbc(std::string_view utf8) { return {utf8.begin(), utf8.end()}; }
std::string fromOdbc(const Unit* units, std::size_t count) { return {reinterpret_cast<const char*>(units), count}; }
#endif

template <std::size_t N>
constexpr SQLSMALLINT unitsOf(const Unit (&)[N]) {
  return static_cast<SQLSMALLINT>(N);
}

// The text a call wrote into `buffer`, given the length it reported. The text ends at its
// terminator at the latest: some driver managers report the driver's byte count where the
// wide calls count characters (Wine's odbc32 over unixODBC does).
template <std::size_t N>
std::string written(const Unit (&buffer)[N], SQLSMALLINT reported) {
  std::size_t n = 0;
  const std::size_t limit = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(reported, 0)), N - 1);
  while (n < limit && buffer[n] != 0) ++n;
  return fromOdbc(buffer, n);
}

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string out;
  Unit state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT i = 1; i <= 5; ++i) {
    if (!SQL_SUCCEEDED(api().SQLGetDiagRec(type, handle, i, state, &native, message, unitsOf(message), &length))) break;
    if (!out.empty()) out += "\n";
    out += written(message, length);
  }
  return out.empty() ? "ODBC call failed" : out;
}

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle) {
  throw RuntimeError(err::kAutomationError, "Microsoft OLE DB Provider for ODBC Drivers", diagnostics(type, handle));
}

struct Statement {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ~Statement() {
    if (stmt) api().SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
};

Variant readCell(SQLHSTMT stmt, SQLUSMALLINT col, int sqlType) {
  SQLLEN indicator = 0;
  switch (sqlType) {
    case SQL_INTEGER: case SQL_SMALLINT: case SQL_TINYINT: case SQL_BIGINT: case SQL_BIT: {
      SQLBIGINT v = 0;
      if (!SQL_SUCCEEDED(api().SQLGetData(stmt, col, SQL_C_SBIGINT, &v, 0, &indicator))) fail(SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA) return Variant(Null);
      if (sqlType == SQL_BIT) return Variant(v != 0);
      if (sqlType == SQL_BIGINT) return Variant(static_cast<std::int64_t>(v));
      return Variant(static_cast<std::int32_t>(v));
    }
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: case SQL_DECIMAL: case SQL_NUMERIC: {
      double v = 0;
      if (!SQL_SUCCEEDED(api().SQLGetData(stmt, col, SQL_C_DOUBLE, &v, 0, &indicator))) fail(SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA) return Variant(Null);
      return sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC ? Variant::decimal(v) : Variant(v);
    }
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: {
      Bytes out;
      std::uint8_t buf[8192];
      while (true) {
        SQLRETURN rc = api().SQLGetData(stmt, col, SQL_C_BINARY, buf, sizeof buf, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) fail(SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA) return Variant(Null);
        std::size_t got = (indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof buf))
                              ? sizeof buf
                              : static_cast<std::size_t>(indicator);
        out.insert(out.end(), buf, buf + got);
        if (rc == SQL_SUCCESS) break;
      }
      return Variant(std::move(out));
    }
    default: {
      // Text and everything else: read as characters, whole before conversion, so that a
      // character cut between two pieces is joined again. Each piece ends in a terminator.
      std::basic_string<Unit> out;
      Unit buf[4096];
      while (true) {
        SQLRETURN rc = api().SQLGetData(stmt, col, kTextCType, buf, sizeof buf, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) fail(SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA) return Variant(Null);
        const std::size_t bytes = (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buf))
                                      ? sizeof buf - sizeof(Unit)
                                      : static_cast<std::size_t>(indicator);
        out.append(buf, bytes / sizeof(Unit));
        if (rc == SQL_SUCCESS) break;
      }
      return Variant(fromOdbc(out.data(), out.size()));
    }
  }
}

}  // namespace

Connection::Connection() : h_(std::make_unique<Handles>()) {}
Connection::~Connection() { close(); }

bool Connection::isOpen() const { return h_->connected; }

void Connection::open(const std::string& connectionString, int loginTimeoutSeconds) {
  close();
  if (!SQL_SUCCEEDED(api().SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h_->env)))
    throw RuntimeError(err::kAutomationError, "ODBC", "cannot allocate an ODBC environment");
  api().SQLSetEnvAttr(h_->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(api().SQLAllocHandle(SQL_HANDLE_DBC, h_->env, &h_->dbc))) fail(SQL_HANDLE_ENV, h_->env);
  api().SQLSetConnectAttr(h_->dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)), 0);
  std::basic_string<Unit> in = toOdbc(connectionString);
  Unit out[1024];
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = api().SQLDriverConnect(h_->dbc, nullptr, in.data(), SQL_NTS, out, unitsOf(out), &outLength,
                                  SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string why = diagnostics(SQL_HANDLE_DBC, h_->dbc);
    close();
    throw RuntimeError(err::kAutomationError, "Microsoft OLE DB Provider for ODBC Drivers", why);
  }
  h_->connected = true;
}

void Connection::close() {
  if (h_->connected) api().SQLDisconnect(h_->dbc);
  h_->connected = false;
  if (h_->dbc) api().SQLFreeHandle(SQL_HANDLE_DBC, h_->dbc);
  if (h_->env) api().SQLFreeHandle(SQL_HANDLE_ENV, h_->env);
  h_->dbc = SQL_NULL_HDBC;
  h_->env = SQL_NULL_HENV;
}

ResultSet Connection::execute(std::string_view sql, std::size_t maxRows) {
  if (!h_->connected) throw RuntimeError(err::kAdoObjectClosed, "ODBC");
  Statement s;
  if (!SQL_SUCCEEDED(api().SQLAllocHandle(SQL_HANDLE_STMT, h_->dbc, &s.stmt))) fail(SQL_HANDLE_DBC, h_->dbc);
  std::basic_string<Unit> text = toOdbc(sql);
  SQLRETURN rc = api().SQLExecDirect(s.stmt, text.data(), static_cast<SQLINTEGER>(text.size()));
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) fail(SQL_HANDLE_STMT, s.stmt);
  ResultSet result;
  SQLSMALLINT count = 0;
  api().SQLNumResultCols(s.stmt, &count);
  for (SQLSMALLINT c = 1; c <= count; ++c) {
    Unit name[256];
    SQLSMALLINT nameLength = 0, type = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    api().SQLDescribeCol(s.stmt, static_cast<SQLUSMALLINT>(c), name, unitsOf(name), &nameLength, &type, &size, &decimals, &nullable);
    result.columns.push_back({written(name, nameLength), type,
                              static_cast<std::size_t>(size), decimals, nullable != SQL_NO_NULLS});
  }
  if (count == 0) return result;
  while ((rc = api().SQLFetch(s.stmt)) != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(rc)) fail(SQL_HANDLE_STMT, s.stmt);
    std::vector<Variant> row;
    row.reserve(result.columns.size());
    for (SQLSMALLINT c = 1; c <= count; ++c)
      row.push_back(readCell(s.stmt, static_cast<SQLUSMALLINT>(c), result.columns[static_cast<std::size_t>(c - 1)].sqlType));
    result.rows.push_back(std::move(row));
    if (maxRows && result.rows.size() >= maxRows) break;
  }
  return result;
}

std::string connectionStringFor(std::string_view oleDbString, std::string_view driver) {
  std::map<std::string, std::string> parts;
  for (const std::string& item : text::Split(oleDbString, ";")) {
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    parts[text::UCase(text::Trim(item.substr(0, eq)))] = item.substr(eq + 1);
  }
  auto braced = [](const std::string& v) {
    // ODBC values with ; or braces go in braces, with } doubled.
    if (v.find_first_of(";{}") == std::string::npos) return v;
    return "{" + text::Replace(v, "}", "}}") + "}";
  };
  const std::string drv(driver.empty() ? std::string_view("FreeTDS") : driver);
  std::string out = "DRIVER={" + drv + "};";
  const std::string source = parts["DATA SOURCE"], catalog = parts["INITIAL CATALOG"];
  if (text::UCase(drv).find("SQLITE") != std::string::npos) {
    out += "DATABASE=" + braced((source.empty() ? std::string(".") : source) + "/" + catalog + ".sqlite") + ";";
  } else {
    out += "SERVER=" + braced(source) + ";DATABASE=" + braced(catalog) + ";";
  }
  if (!parts["USER ID"].empty()) out += "UID=" + braced(parts["USER ID"]) + ";";
  if (!parts["PASSWORD"].empty()) out += "PWD=" + braced(parts["PASSWORD"]) + ";";
  return out;
}

}  // namespace veltrano::odbc
