#pragma once
// The window's first query, posted before the window exists. Loading the window's toolkit takes
// longer than the query service needs to answer, so the program posts the statement that the
// window's load will send first as soon as it starts, and the load reads that reply where it
// would have posted the statement (UpdateWindow::takeFirstQuery). Nothing else changes: the
// load still ends the suite programs and records the updater before it reads the reply, and a
// service that cannot be reached is reported when the reply is read.

#include <optional>
#include <string>

#include "updater/program_info.h"

namespace meridox {

// The statement the window's load posts first for this program's command text: the catalogue
// of all products for the listing (empty command text), the product's catalogue in automatic
// mode (two or more items); nothing for the patch modes and a one-item command text, whose
// load posts no statement.
std::optional<std::string> FirstStatementOf(const ProgramInfo& program);

}  // namespace meridox
