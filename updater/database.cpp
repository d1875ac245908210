#include "updater/database.h"

#include "platform/deploy/deploy.h"
#include "platform/odbc/odbc.h"
#include "platform/odbc/odbc_recordset.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"

namespace meridox {

namespace ado = veltrano::ado;
namespace text = veltrano::text;

std::string DATABASE::CheckedDatabaseName(std::string_view name) {
  const std::string lower = text::LCase(name);
  if (lower == "qz_update" || lower == "qz_sms" || lower == "tarvicupdate_dbo") return std::string(name);
  return "fretline_innovation";
}

std::string DATABASE::DirectConnectionString(std::string_view databaseName) const {
  return "Provider=SQLOLEDB.1;Password=" + QUERY_PW_DATA + ";Persist Security Info=True;User ID=" + QUERY_ID_DATA +
         ";Initial Catalog=" + std::string(databaseName) + ";Data Source=" + QUERY_IP_DATA;
}

QueryResult DATABASE::SQL(std::string_view SQL_STRING, std::string_view DATABASE_NAME, std::string_view DATABASE_TYPE,
                          std::optional<int>, std::optional<bool>) {
  QueryResult result;
  try {
    const std::string database = CheckedDatabaseName(DATABASE_NAME);
    QUERY_DISPLAY = ado::Recordset::create();
    QUERY_DISPLAY->setCursorLocation(ado::adUseClient);
    QUERY_DISPLAY->setCacheSize(20);
    const std::string mode = text::LCase(DATABASE_TYPE);
    if (mode == "mysql") {
      result = RunQueryService(SQL_STRING, database, QUERY_ID_DATA);
    } else if (mode == "mssql") {
      const std::string odbc = veltrano::odbc::connectionStringFor(DirectConnectionString(database),
                                                                   veltrano::deploy::get("ODBC_DRIVER", "FreeTDS"));
      veltrano::odbc::OpenRecordset(*QUERY_DISPLAY, SQL_STRING, odbc, ado::adOpenStatic, ado::adLockReadOnly);
    }
  } catch (const veltrano::RuntimeError&) {
    // The call ends with what had been assigned.
  }
  return result;
}

}  // namespace meridox
