#pragma once
// The data service of the data library.
//
// Request: the body is a recordset saved as ADO XML (UTF-8) with one row.
//  - At the data path: fields SQL, DATABASE and BYTESDATA. SQL runs on the database named by
//    DATABASE; BYTESDATA, when present and not empty, is bound as a blob to the statement's
//    first "?" (a byte array, or its bin.hex text: the form an adVariant field holding
//    bytes takes in a saved recordset).
//  - At /ORVEX/<page>.ASP: field DATABASE and one field per parameter. The statement is the
//    page's row in the table qz_pages(page, statement) of that database; its named
//    parameters (:NAME) take the values of the fields of the same name.
// Reply (UTF-8): 200 with the result as an ADO XML rowset; 200 with "[에러번호] n : message"
// when the statement fails; 403 with such a text for a modifying statement on a read-only
// database; 404 for an unknown page; 400 for a body that is not a readable request.

#include <string_view>

#include "server/database.h"
#include "server/reply.h"
#include "server/rowset.h"

namespace veltrano::server {

class DataService {
 public:
  explicit DataService(const DatabaseCatalog& catalog) : catalog_(catalog) {}

  // `page` is empty for the data path, else the page name from /ORVEX/<page>.ASP.
  Reply answer(std::string_view page, std::string_view body) const;
  Reply answer(std::string_view page, const RecordsetFields& request) const;

 private:
  const DatabaseCatalog& catalog_;
};

}  // namespace veltrano::server
