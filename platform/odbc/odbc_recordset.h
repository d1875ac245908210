#pragma once
// Opening a recordset on a statement run through ODBC (the direct mode's Recordset.Open with a
// source and a connection string).

#include <string>
#include <string_view>

#include "platform/ado/recordset.h"

namespace veltrano::odbc {

// Runs `sql` on a connection made from the ODBC connection string and opens `rs` on its result:
// one field per column, typed from the column's SQL type, the rows in order. Raises what the
// connection raises (the recordset then stays closed).
void OpenRecordset(ado::Recordset& rs, std::string_view sql, const std::string& connectionString,
                   ado::CursorTypeEnum cursorType = ado::adOpenStatic, ado::LockTypeEnum lockType = ado::adLockReadOnly);

// The ADO type of a column of an ODBC result.
ado::DataTypeEnum adoTypeOf(int sqlType);

}  // namespace veltrano::odbc
