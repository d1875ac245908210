#pragma once
// DATABASE: runs one statement either through the query service or directly against a
// SQL Server database (over ODBC), chosen by the mode name.

#include <optional>
#include <string>
#include <string_view>

#include "platform/ado/recordset.h"
#include "updater/query_client.h"

namespace meridox {

class DATABASE {
 public:
  // The recordset of the direct mode; a new one at every SQL call.
  veltrano::ado::RecordsetPtr QUERY_DISPLAY;
  std::string QUERY_DATE_TIME;
  std::string QUERY_DATE_TIME_DATA;
  std::string QUERY_ID_DATA;  // user id: the query service's USERID field, the direct mode's User ID
  std::string QUERY_PW_DATA;  // password of the direct mode
  std::string QUERY_IP_DATA;  // database host of the direct mode

  // Does nothing and returns False (0).
  bool CheckAuthentication() { return false; }

  // Mode "mysql" (any case): the query service's result (True or a recordset). Mode "mssql":
  // the direct mode; returns Empty, the rows are in QUERY_DISPLAY. Any other mode: Empty
  // without network traffic. A database name other than qz_update, qz_sms or tarvicupdate_dbo
  // (compared in lower case) is replaced by "fretline_innovation". A run-time error ends the
  // call with Empty (a failed direct connection leaves QUERY_DISPLAY closed).
  QueryResult SQL(std::string_view SQL_STRING, std::string_view DATABASE_NAME, std::string_view DATABASE_TYPE,
                  std::optional<int> QueryCount = std::nullopt, std::optional<bool> DisplayAlert = std::nullopt);

  // The database name a call uses.
  static std::string CheckedDatabaseName(std::string_view name);
  // The connection string of the direct mode.
  std::string DirectConnectionString(std::string_view databaseName) const;
};

}  // namespace meridox
