#pragma once
// The ODBC headers of the platform's driver manager (internal). Windows's need the Win32 base
// types declared first.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
