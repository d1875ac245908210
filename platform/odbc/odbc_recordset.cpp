#include "platform/odbc/odbc_recordset.h"

#include "platform/odbc/odbc.h"
#include "platform/odbc/odbc_api.h"

namespace veltrano::odbc {

ado::DataTypeEnum adoTypeOf(int sqlType) {
  switch (sqlType) {
    case SQL_INTEGER: return ado::adInteger;
    case SQL_SMALLINT: return ado::adSmallInt;
    case SQL_TINYINT: return ado::adUnsignedTinyInt;
    case SQL_BIGINT: return ado::adBigInt;
    case SQL_BIT: return ado::adBoolean;
    case SQL_REAL: return ado::adSingle;
    case SQL_FLOAT: case SQL_DOUBLE: return ado::adDouble;
    case SQL_DECIMAL: case SQL_NUMERIC: return ado::adNumeric;
    case SQL_CHAR: return ado::adChar;
    case SQL_VARCHAR: return ado::adVarChar;
    case SQL_LONGVARCHAR: return ado::adLongVarChar;
    case SQL_WCHAR: return ado::adWChar;
    case SQL_WLONGVARCHAR: return ado::adLongVarWChar;
    case SQL_BINARY: return ado::adBinary;
    case SQL_VARBINARY: return ado::adVarBinary;
    case SQL_LONGVARBINARY: return ado::adLongVarBinary;
    case SQL_TYPE_DATE: case SQL_DATE: return ado::adDBDate;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return ado::adDBTimeStamp;
    case SQL_GUID: return ado::adGUID;
    default: return ado::adVarWChar;
  }
}

void OpenRecordset(ado::Recordset& rs, std::string_view sql, const std::string& connectionString,
                   ado::CursorTypeEnum cursorType, ado::LockTypeEnum lockType) {
  Connection connection;
  connection.open(connectionString);
  const ResultSet result = connection.execute(sql);
  for (const Column& c : result.columns) {
    const ado::DataTypeEnum type = adoTypeOf(c.sqlType);
    const bool variableText = type == ado::adVarChar || type == ado::adVarWChar || type == ado::adChar ||
                              type == ado::adWChar || type == ado::adVarBinary || type == ado::adBinary;
    const std::int64_t size = variableText ? static_cast<std::int64_t>(c.size ? c.size : 255) : 0;
    rs.Fields().Append(c.name, type, size, c.nullable ? ado::adFldIsNullable | ado::adFldMayBeNull : 0);
  }
  rs.setCursorType(cursorType);
  rs.setLockType(lockType);
  rs.Open();
  for (const auto& row : result.rows) {
    rs.AddNew();
    for (std::size_t i = 0; i < row.size(); ++i) {
      const ado::DataTypeEnum type = adoTypeOf(result.columns[i].sqlType);
      const bool dateType = type == ado::adDBDate || type == ado::adDBTimeStamp;
      rs.Fields(static_cast<int>(i)).setValue(dateType && row[i].isString() ? Variant(row[i].toDate()) : row[i]);
    }
    rs.Update();
  }
  if (rs.RecordCount() > 0) rs.MoveFirst();
}

}  // namespace veltrano::odbc
