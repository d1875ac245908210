#pragma once
// One transaction of the data library: the pending request recordset of a VBF posted to the
// data service as ADO XML, and the reply turned into a recordset.
//
//  1. The request is saved as ADO XML; "TR_START|" + n is announced, n being the length of the
//     XML text in bytes of UTF-16 (twice its UTF-16 character count).
//  2. POST to the server URL, asynchronous, with the headers Content-Type
//     (application/x-www-form-urlencoded), Charset (euc-kr), Pragma (no-cache) and Expires (0)
//     in that order; "TR_WAIT|" + n; the XML text is sent as UTF-8.
//  3. The wait reads the ready state, and while the reply is not complete lets the caller's
//     message loop run once (ui::DoEvents) and reads it again, until the object's abort flag
//     is set. The ready state is read at least once even when the flag is set already.
//     "TR_RECVED|" when the wait ends; the watchdog, if given, is unloaded then, so that an
//     error window left open afterwards does not count as waiting. A wait ended by the flag
//     drops what came in so far (a reply cut short is no reply): its status is then 0.
//  4. A status other than 200 shows the reply text in the error window and gives no object
//     (FINE_FLAG unchanged). A reply beginning with "[에러번호]" is shown in the error window too,
//     and the transaction goes on.
//  5. The result is a new recordset opened on the reply bytes (adOpenDynamic, adLockOptimistic,
//     options 64); a reply that is not a rowset leaves it closed. "TR_COMPLETE|", FINE_FLAG
//     True (-1), the recordset is returned.
// A run-time error before step 5 ends the transaction on its error path: for each of the first
// n characters of the reply text (n = its length without leading and trailing blanks) one
// notice "TR_ERR|" + k + "|" + character + a zero character, k counting from 1; no object,
// FINE_FLAG unchanged. The transaction itself raises nothing and shows no message box.
//
// Re-entrancy: the wait and the error window run the caller's message loop; a handler may
// start another transaction meanwhile (nothing guards against it).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ado/recordset.h"

namespace lumadata {

class TMR_FRM;

inline constexpr const char* kServerErrorPrefix = "[에러번호]";

// RunTransaction(request, FINE_FLAG) on the server URL. `abortFlag` is the object's abort flag,
// read between polls; `watchdog`, when given, was loaded by the caller and is unloaded when the
// wait ends. Returns the result recordset, or nullptr (no object).
veltrano::ado::RecordsetPtr RunTransaction(const veltrano::ado::RecordsetPtr& request, const std::string& serverUrl,
                                           const std::int16_t& abortFlag, std::int16_t& FINE_FLAG,
                                           TMR_FRM* watchdog = nullptr);

// Length of a UTF-8 text in UTF-16 code units (VB's Len of the same text).
std::size_t utf16Length(std::string_view utf8);

// Test hook: called at the named steps of each transaction, in this order: "saved" (request
// saved as XML), "opened" (request object opened, headers set), "sent", "received" (after
// "TR_RECVED|", before the status is read). A hook that throws veltrano::RuntimeError sends
// the transaction down its error path as a run-time error at that step would. Empty: none.
using TransactionFaultHook = std::function<void(std::string_view step)>;
void setTransactionFaultHook(TransactionFaultHook hook);

}  // namespace lumadata
