#include "updater/mod_standard.h"

#include "platform/deploy/deploy.h"
#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"
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
