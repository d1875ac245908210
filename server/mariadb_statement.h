#pragma once
// A statement's text as MariaDB will read it, examined before it is sent: pure functions, no
// connection. The text is read as MariaDB reads it in the sessions MariadbCatalog opens
// (sql_mode with NO_BACKSLASH_ESCAPES: quotes are doubled to escape them, a backslash is a
// plain character, as in SQLite): 'text', "text", `name`, comments (# and "-- " to the end of
// the line, /* ... */).
//
// What it finds:
//  - the one statement: text after a ";" that is more than blanks, comments and semicolons is
//    refused, not ignored; an empty statement is refused;
//  - its parameters, numbered as SQLite numbers them ("?", "?NNN", ":NAME", "@NAME", "$NAME";
//    "@@name" stays MariaDB's system variable), each written "?" in the text sent, so that the
//    values are bound by the prepared-statement protocol and never pasted into the text;
//  - whether it can be shown to only read (see MariadbEffect).
// Comments that MariaDB runs as code (/*! ... */, /*M! ... */) are refused: they would hide
// text from these checks.

#include <string>
#include <string_view>
#include <vector>

namespace veltrano::server {

// What running a statement may do, as far as its text shows. Conservative: a statement is
// Reads only when it is shown to be a query, SHOW, DESCRIBE or EXPLAIN of a query that calls
// no function other than MariaDB's built-in ones without side effects (a stored function may
// write; NEXTVAL, GET_LOCK, LOAD_FILE and the like are not counted as reading), and has no
// INTO, FOR UPDATE, LOCK IN SHARE MODE, PROCEDURE or assignment.
enum class MariadbEffect {
  Reads,        // reads only: may run on read-only data, may be retried
  ChangesRows,  // INSERT, UPDATE, DELETE or REPLACE: changes rows, leaves the session as it was
  Other,        // anything else (tables, transactions, session settings, calls ...)
};

struct MariadbStatement {
  std::string text;  // the statement to prepare: parameters written "?", nothing after its end
  // For each "?" of `text`, in order: the parameter's number minus one.
  std::vector<std::size_t> placeholders;
  // The parameters by number (index 0 is parameter 1): their names as written (":ID", "?3"),
  // "" for an anonymous one; the form StatementParameters::resolve() takes.
  std::vector<std::string> parameters;
  MariadbEffect effect = MariadbEffect::Other;
  // For a statement that reads like a query but is not Reads: what could not be shown to only
  // read ("myfunc()", "INTO"); else "".
  std::string doubt;
};

// Reads `sql`. Throws StatementError: kMisuse for an empty statement, a second statement, or
// a comment run as code; 1064 (MariaDB's syntax error) for unterminated quotes or comments.
MariadbStatement readMariadbStatement(std::string_view sql);

}  // namespace veltrano::server
