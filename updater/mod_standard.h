#pragma once
// Mod_Standard: the query wrapper the update window uses.

#include <string_view>

#include "platform/ado/recordset.h"

namespace meridox {

// Runs a query statement through the query service on the update database ("qz_update",
// mode "MySQL") with the deployment's database password and host, and returns its recordset.
// When the query yields nothing (a run-time error inside DATABASE.SQL) the window gets no
// recordset (nullptr) and reports it as it reports a missing catalogue; a True result (a
// statement that changes data) does not convert to a recordset and raises 13 (type mismatch).
veltrano::ado::RecordsetPtr OpenServerQuery(std::string_view sql);

}  // namespace meridox
