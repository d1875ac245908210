#pragma once
// A database connection over ODBC (unixODBC on Linux, the system's odbc32 on Windows): what
// the direct query mode needs, a statement run and its result set read whole.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/variant.h"

namespace veltrano::odbc {

struct Column {
  std::string name;
  int sqlType = 0;        // ODBC SQL type (SQL_INTEGER, SQL_VARCHAR, ...)
  std::size_t size = 0;   // column size
  int decimals = 0;
  bool nullable = true;
};

struct ResultSet {
  std::vector<Column> columns;
  std::vector<std::vector<Variant>> rows;  // integers, doubles, text (UTF-8), bytes, Null
};

// One connection. Failures raise veltrano::RuntimeError whose description carries the driver
// manager's or driver's diagnostic ("[unixODBC]...", "[Microsoft][ODBC Driver Manager]...")
// and whose number is the automation error (440) as ADO reports provider errors.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // SQLDriverConnect with a full ODBC connection string ("DRIVER={FreeTDS};SERVER=...").
  void open(const std::string& connectionString, int loginTimeoutSeconds = 15);
  bool isOpen() const;
  void close();
  // Runs one statement; a statement without a result set gives no columns and no rows.
  ResultSet execute(std::string_view sql, std::size_t maxRows = 0);

 private:
  struct Handles;
  std::unique_ptr<Handles> h_;
};

// Turns an OLE DB connection string for SQL Server ("Provider=SQLOLEDB.1;Password=...;User
// ID=...;Initial Catalog=...;Data Source=...") into an ODBC one for `driver`. For the SQLite
// driver (a driver name containing "SQLite"), the data source is a folder and the catalog the
// file "<catalog>.sqlite" in it.
std::string connectionStringFor(std::string_view oleDbString, std::string_view driver);

}  // namespace veltrano::odbc
