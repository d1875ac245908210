#pragma once
// VBF: the data access class of Lumadata. One object holds one connection context (server
// address and database name) and one pending request; each request is posted to the data
// service over HTTP as an ADO XML recordset and the reply comes back as a recordset.
//
//   lumadata::VBF db;
//   db.DB_OPEN("tarvic");
//   db.DB_ADD("SELECT * FROM orders WHERE id = ?", veltrano::Variant(bytes));
//   std::int16_t fine = 0;
//   veltrano::ado::RecordsetPtr rs = db.DB_EXECUTE(&fine);   // fine is -1 when it completed
//   if (!rs || rs->State() != veltrano::ado::adStateOpen) {
//     // no result: the exchange failed (fine 0), or the server reported an error (fine -1)
//   } else {
//     for (; !rs->Eof(); rs->MoveNext()) ...
//   }
//
// "fine" says the exchange completed, not that a result came back. After a server error
// (a reply beginning "[에러번호]", shown in the error window) or a reply that is not a
// recordset, DB_EXECUTE sets fine to True and returns a CLOSED recordset: every call on it but
// State() and Open (RecordCount, Fields, Eof, MoveNext, ...) raises veltrano::RuntimeError 3704.
// Test State() == adStateOpen before reading; fine True with a closed recordset is a server
// error, fine unchanged with nullptr a failed exchange (the monitor saw "TR_ERR|..." notices).
//
// Calling order: DB_OPEN once; then for each request DB_ADD followed by DB_EXECUTE, or EXECUTE
// alone. Every step is announced to the transaction monitor window, if one runs ("TR_OPEN|",
// "TR_START|n", "TR_WAIT|n", "TR_RECVED|", "TR_COMPLETE|", "TR_ERR|k|c", "TR_TIMEOUT|");
// server errors are shown in the library's error window, which the caller waits on.
//
// The error window is shown to people only when the program has made a QApplication and
// installed the Qt user interface, once, before the first transaction:
//
//   QApplication app(argc, argv);
//   veltrano::ui::QtUi qtUi;            // platform/ui/qt_ui.h, in libveltrano-platform-qt
//   veltrano::ui::install(&qtUi);
//
// Until then the error text is passed to the scripted interface, which closes the window at
// once (logging it to VELTRANO_UI_LOG when set) and nobody sees it. The library never installs
// the Qt interface by itself, so that unattended programs and tests stay unattended.
//
// Server address: the REG_SZ value HKEY_CURRENT_USER\SOFTWARE\VELTRANO\ORVEX\SERVER
// "SERVER_PATH" without its leading and trailing blanks, taken as it stands; when it is missing
// or blank, "http://" + the deployment setting APP_HOST + "/Database/ORVEX/". EXECUTE replaces
// it, for this call and every later transaction of the object, with
// "http://" + APP_HOST + "/ORVEX/" + URL + ".ASP".
//
// The request recordset (client cursor, one row):
//  - DB_ADD: "SQL" adVarChar 65,534; "DATABASE" adVarChar 65,534; "BYTESDATA" adVariant, the
//    payload appended as one chunk. An adVariant holding a byte array has no documented ADO
//    XML form: the recordset writer writes it as ADO writes binary, lower-case hex (the field's
//    schema stays dt:type='string'), and that is what the data service receives.
//  - EXECUTE: "DATABASE" adVarChar 65,534, then one adVarChar 65,534 field per key of the
//    parameter object, named by the key in upper case, in the order of its Keys.
//
// The watchdog: each transaction loads a TMR_FRM, whose timer ends the wait 31 s after the
// transaction started ("TR_TIMEOUT|", the abort flag set) and which is unloaded when the wait
// ends. A reply cut short by the timeout is dropped, not opened. The abort flag is never reset:
// once a wait of this object has timed out, every later transaction of it reads the ready state
// once and, unless the reply is complete by then, gives up (no object, an empty error window).
//
// Results are handed to the caller (nullptr is "no object"). Booleans are COM booleans
// (True -1). Waits run the caller's message loop (ui::DoEvents), so the caller's events may
// re-enter; a second transaction on the same object while one waits is not guarded against.
// Not thread-safe: use an object on one thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "lumadata/dictionary.h"
#include "lumadata/export.h"
#include "platform/ado/recordset.h"
#include "platform/runtime/variant.h"

namespace lumadata {

// The COM boolean: true is -1.
using VARIANT_BOOL = std::int16_t;
// windows.h makes VARIANT_TRUE and VARIANT_FALSE macros (of the same values): the constants
// are defined with those set aside.
#pragma push_macro("VARIANT_TRUE")
#pragma push_macro("VARIANT_FALSE")
#undef VARIANT_TRUE
#undef VARIANT_FALSE
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
#pragma pop_macro("VARIANT_TRUE")
#pragma pop_macro("VARIANT_FALSE")

class LUMADATA_API VBF {
 public:
  VBF();
  // Class_Terminate: announces "TR_COMPLETE|" and releases the request; never fails.
  ~VBF();
  VBF(const VBF&) = delete;
  VBF& operator=(const VBF&) = delete;

  // Announces "TR_OPEN|", keeps the database name and the connection type ("XML" when
  // DBConnectionType is exactly "XML", else "DIRECT"; nothing depends on it) and reads the
  // server address. Returns Empty.
  veltrano::Variant DB_OPEN(std::string_view DATABASE_Str, std::string_view DBConnectionType = "XML");
  // Replaces the pending request with one holding SQLSTR, the database name and BytesArray (a
  // byte array; Empty when missing). The row stays in edit mode until DB_EXECUTE. A run-time
  // error ends the method quietly, leaving the request as far as it was built. Returns Empty.
  veltrano::Variant DB_ADD(std::string_view SQLSTR, const veltrano::Variant& BytesArray = veltrano::Variant());
  // Posts a request of named parameters to the page URL (a server page name without its
  // extension); Param nullptr is "no object" (the request then holds only DATABASE). Returns
  // the result, or nullptr when anything failed (errors are not raised).
  veltrano::ado::RecordsetPtr EXECUTE(const Dictionary* Param, std::string_view URL);
  // Saves the pending row and posts the pending request, the last one DB_ADD or EXECUTE built
  // (again, if it was posted before). FINE_FLAG, when given, receives True (-1) when the
  // transaction completes and is left as it was otherwise. Raises run-time error 91 when there
  // is no pending request (neither DB_ADD nor EXECUTE since the object was made); other errors
  // of saving the row reach the caller too.
  veltrano::ado::RecordsetPtr DB_EXECUTE(VARIANT_BOOL* FINE_FLAG = nullptr);

  // Beyond the COM interface, for inspection: the address the next transaction posts to, the
  // database name, the connection type kept by DB_OPEN, and the abort flag.
  const std::string& serverUrl() const { return serverUrl_; }
  const std::string& databaseName() const { return databaseName_; }
  const std::string& connectionType() const { return connectionType_; }
  VARIANT_BOOL abortFlag() const { return abort_; }

 private:
  veltrano::ado::RecordsetPtr transact(const veltrano::ado::RecordsetPtr& request, VARIANT_BOOL& flag);
  void TMR_ClosedThisProcesure();

  std::string serverUrl_;
  veltrano::ado::RecordsetPtr request_;
  std::string databaseName_;
  std::string connectionType_;
  VARIANT_BOOL abort_ = VARIANT_FALSE;
};

}  // namespace lumadata
