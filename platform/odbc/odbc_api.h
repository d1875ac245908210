#pragma once
// The ODBC headers of the platform's driver manager and its calls, through one table (internal).
// On Linux unixODBC is loaded when the first connection opens, not at program start: most runs
// of the programs never open one. On Windows the table holds odbc32's own calls (the wide ones
// under UNICODE, whose names the headers map onto the plain ones); its headers need the Win32
// base types declared first.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#define VELTRANO_ODBC_CALLS(X)                                                                 \
  X(SQLAllocHandle) X(SQLDescribeCol) X(SQLDisconnect) X(SQLDriverConnect) X(SQLExecDirect)    \
  X(SQLFetch) X(SQLFreeHandle) X(SQLGetData) X(SQLGetDiagRec) X(SQLNumResultCols)              \
  X(SQLSetConnectAttr) X(SQLSetEnvAttr)

namespace veltrano::odbc {

struct Api {
#define VELTRANO_ODBC_FIELD(name) decltype(&::name) name = nullptr;
  VELTRANO_ODBC_CALLS(VELTRANO_ODBC_FIELD)
#undef VELTRANO_ODBC_FIELD
};

// The table, the driver manager loaded by the first call (thread-safe); raises the automation
// error (440) naming the library when it cannot be loaded.
const Api& api();

}  // namespace veltrano::odbc
