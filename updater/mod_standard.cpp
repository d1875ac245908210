#include "updater/mod_standard.h"

#include "platform/deploy/deploy.h"
#include "platform/runtime/error.h"
#include "updater/database.h"

namespace meridox {

veltrano::ado::RecordsetPtr OpenServerQuery(std::string_view sql) {
  DATABASE db;
  db.QUERY_PW_DATA = veltrano::deploy::get("DB_PASSWORD");
  db.QUERY_IP_DATA = veltrano::deploy::get("DB_HOST");
  QueryResult r = db.SQL(sql, "qz_update", "MySQL");
  if (r.kind == QueryResult::Kind::True) throw veltrano::RuntimeError(veltrano::err::kTypeMismatch, "Meridox");
  return r.recordset;
}

}  // namespace meridox
