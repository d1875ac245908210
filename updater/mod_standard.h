#pragma once
// Mod_Standard: the query wrapper the update window uses, and the window's two indicator
// procedures.

#include <memory>
#include <string_view>

#include "platform/ado/recordset.h"
#include "updater/query_client.h"
#include "updater/update_form.h"

namespace meridox {

// Runs a query statement through the query service on the update database ("qz_update",
// mode "MySQL") with the deployment's database password and host, and returns its recordset.
// When the query yields nothing (a run-time error inside DATABASE.SQL) the window gets no
// recordset (nullptr) and reports it as it reports a missing catalogue; a True result (a
// statement that changes data) does not convert to a recordset and raises 13 (type mismatch).
veltrano::ado::RecordsetPtr OpenServerQuery(std::string_view sql);

// The exchange OpenServerQuery(sql) makes, posted now; ReadServerQuery(posted) reads its reply
// and gives what OpenServerQuery(sql) would have given.
std::unique_ptr<QueryExchange> PostServerQuery(std::string_view sql);
veltrano::ado::RecordsetPtr ReadServerQuery(QueryExchange& posted);

// The step indicator: hides ICO elements 0 to 2, shows element n, then lets the window repaint.
// An n outside 0..2 leaves every element hidden.
void ShowStepIcon(UpdateForm& form, int n);
// The status indicator: hides STAT elements 0 to 4, shows element n, then lets the window
// repaint. An n outside 0..4 leaves every element hidden.
void ShowStatusPicture(UpdateForm& form, int n);

}  // namespace meridox
