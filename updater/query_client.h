#pragma once
// The exchange with the query service: SQL text posted with keyed-hex form fields, the reply
// read as one of four forms.
//
// Replies, tested in this order:
//  - the statement changes data: True, whatever the reply;
//  - the text "조회된 결과값이 없습니다." exactly: the no-rows recordset (one adVarChar 65,534
//    field "결과없음", no record);
//  - a text holding the stylesheet line of an XML rowset: the recordset loaded from it (a
//    closed recordset when the XML cannot be read);
//  - anything else: the failure recordset (one field "오류발생" holding the text, or the
//    two-line "cannot reach the data store" message when the text is blank).
// The reply bytes are read as CP949 whatever the reply declares; the HTTP status is not
// looked at. The wait lets the message loop run between polls and has no limit of its own
// beyond the transport's (platform/http). No box is shown here; a query service that cannot be
// reached (no host set, no connection, no reply) is reported on standard error and in the
// event log as "query service at HOST unreachable: REASON". Windows' cross-domain refusal
// (ADO error 3716) has no counterpart on this platform, so nothing is skipped for it.

#include <exception>
#include <string>
#include <string_view>

#include "platform/ado/recordset.h"
#include "platform/http/http_request.h"

namespace meridox {

inline constexpr const char* kNoRowsReply = "조회된 결과값이 없습니다.";
inline constexpr const char* kRowsetStylesheet = "<?xml:stylesheet type=\"text/xsl\" href=\"Recordsetxml.xsl\"?>";
inline constexpr const char* kNoRowsField = "결과없음";
inline constexpr const char* kFailureField = "오류발생";
inline constexpr const char* kUnreachableText =
    "자료저장소에 접속 할 수 없습니다.\r\n인터넷이 사용가능한지 확인하시기 바랍니다.";
inline constexpr const char* kQueryServicePath = "/client/mysqlservice.asp";

// What the exchange hands back: nothing (a run-time error came first), True (a statement
// that changes data) or a recordset.
struct QueryResult {
  enum class Kind { Empty, True, Recordset };
  Kind kind = Kind::Empty;
  veltrano::ado::RecordsetPtr recordset;

  static QueryResult True() { return {Kind::True, nullptr}; }
  static QueryResult Of(veltrano::ado::RecordsetPtr rs) { return {Kind::Recordset, std::move(rs)}; }
  bool isEmpty() const { return kind == Kind::Empty; }
};

// The address of the query service at `host` (the QUERY_HOST setting): "http://" + host + the
// service path.
std::string QueryServiceUrl(std::string_view host);

// The request body for a statement (with its blank already appended), database and user id.
std::string QueryRequestBody(std::string_view sqlWithBlank, std::string_view databaseName, std::string_view userId);

// One exchange with the query service in two halves: the constructor posts the statement and
// returns at once (the request is on its way); finish() waits for the reply, pumping messages,
// and reads it. The updater posts its first statement this way before it loads its window, so
// that the service works on it meanwhile. An unreachable service is reported by finish(), at
// the point of the run where the reply is read. Not copyable; finish() once.
class QueryExchange {
 public:
  QueryExchange(std::string_view sql, std::string_view databaseName, std::string_view userId);
  QueryExchange(const QueryExchange&) = delete;
  QueryExchange& operator=(const QueryExchange&) = delete;

  // The statement as given (without the blank the request appends).
  const std::string& sql() const { return sql_; }
  QueryResult finish();

 private:
  std::string sql_;
  std::string statement_;
  std::string host_;  // the QUERY_HOST setting, read once for the address and the report
  veltrano::http::HttpRequest request_;
  std::exception_ptr sendFailure_;  // raised again by finish()
};

// RunQueryService: posts the statement and returns the reply as described above (an exchange
// made and finished at once).
QueryResult RunQueryService(std::string_view sql, std::string_view databaseName, std::string_view userId);

// The one-field recordsets of the no-rows and failure replies.
veltrano::ado::RecordsetPtr NoRowsRecordset();
veltrano::ado::RecordsetPtr FailureRecordset(std::string_view replyText);

}  // namespace meridox
