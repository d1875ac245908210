#pragma once
// The query service of the updater ("/client/mysqlservice.asp").
//
// Request: a form body "SQL=...&DATABASE=...&USERID=..." whose values are each a 128-digit key
// followed by the text in the keyed hex encoding of that key. Reply, in CP949, one of the forms
// the client tells apart:
//  - "조회된 결과값이 없습니다." when the statement returned no row;
//  - the stylesheet line, CR LF, and the result as an ADO XML rowset;
//  - an error text "[에러번호] n : message" for anything else.
// A modifying statement is refused (403 with an error text) unless the databases are writable.
// A request that cannot be read gets 400 with an error text.

#include <optional>
#include <string>
#include <string_view>

#include "server/database.h"
#include "server/reply.h"

namespace veltrano::server {

inline constexpr std::string_view kNoRowsText = "조회된 결과값이 없습니다.";
inline constexpr std::string_view kStylesheetLine =
    "<?xml:stylesheet type=\"text/xsl\" href=\"Recordsetxml.xsl\"?>";

struct QueryRequest {
  std::string sql;
  std::string database;
  std::string userId;
};

// Reads the three fields of a query-service form. On failure returns nothing and says why.
std::optional<QueryRequest> decodeQueryForm(std::string_view body, std::string& error);

// One field value: the 128-digit key, then the encoded text; nothing when it is not one.
std::optional<std::string> decodeKeyedField(std::string_view value);

class QueryService {
 public:
  explicit QueryService(const DatabaseCatalog& catalog) : catalog_(catalog) {}
  Reply answer(std::string_view body) const;

 private:
  const DatabaseCatalog& catalog_;
};

}  // namespace veltrano::server
