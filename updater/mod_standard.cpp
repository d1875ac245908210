#include "updater/mod_standard.h"

#include "platform/deploy/deploy.h"
#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"
#include "updater/database.h"

namespace meridox {

namespace {

constexpr const char* kUpdateDatabase = "qz_update";

veltrano::ado::RecordsetPtr recordsetOf(const QueryResult& r) {
  if (r.kind == QueryResult::Kind::True) throw veltrano::RuntimeError(veltrano::err::kTypeMismatch, "Meridox");
  return r.recordset;
}

}  // namespace

veltrano::ado::RecordsetPtr OpenServerQuery(std::string_view sql) {
  DATABASE db;
  db.QUERY_PW_DATA = veltrano::deploy::get("DB_PASSWORD");
  db.QUERY_IP_DATA = veltrano::deploy::get("DB_HOST");
  return recordsetOf(db.SQL(sql, kUpdateDatabase, "MySQL"));
}

// The password and host of the direct mode play no part in the query service's mode.
std::unique_ptr<QueryExchange> PostServerQuery(std::string_view sql) {
  return std::make_unique<QueryExchange>(sql, DATABASE::CheckedDatabaseName(kUpdateDatabase), DATABASE().QUERY_ID_DATA);
}

veltrano::ado::RecordsetPtr ReadServerQuery(QueryExchange& posted) { return recordsetOf(posted.finish()); }

namespace {
template <std::size_t N>
void showOnly(std::array<FormControl, N>& elements, int n) {
  for (FormControl& e : elements) e.Visible(false);
  if (n >= 0 && static_cast<std::size_t>(n) < N) elements[static_cast<std::size_t>(n)].Visible(true);
  veltrano::ui::DoEvents();
}
}  // namespace

void ShowStepIcon(UpdateForm& form, int n) { showOnly(form.ICO, n); }
void ShowStatusPicture(UpdateForm& form, int n) { showOnly(form.STAT, n); }

}  // namespace meridox
