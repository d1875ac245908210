#include "updater/query_client.h"

#include <cstdio>
#include <exception>

#include "platform/deploy/deploy.h"
#include "platform/eventlog/eventlog.h"
#include "platform/http/http_request.h"
#include "platform/http/url.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"
#include "updater/query_protocol.h"
#include "updater/query_reply.h"

namespace meridox {

namespace text = veltrano::text;
namespace ui = veltrano::ui;

namespace {

// How long posting waits at most for the request to be written (the connection made): long
// enough for a service on the local network, short beside what the caller does next.
constexpr int kPushRequestMs = 20;

// The window only ever shows an empty list for a query service it cannot reach: say why where
// an administrator looks.
void reportUnreachable(const std::string& host, const std::string& why) {
  const std::string line = "query service at " + (host.empty() ? std::string("(no host)") : host) +
                           " unreachable: " + (why.empty() ? std::string("no reply") : why);
  std::fprintf(stderr, "meridox: %s\n", line.c_str());
  veltrano::eventlog::write("Meridox", line, veltrano::eventlog::Type::Error);
}

}  // namespace

std::string QueryServiceUrl(std::string_view host) {
  return veltrano::http::withScheme(std::string(host) + kQueryServicePath);
}

std::string QueryRequestBody(std::string_view sqlWithBlank, std::string_view databaseName, std::string_view userId) {
  const std::string k1 = MakeDigitKey();
  const std::string k2 = MakeDigitKey();
  return "SQL=" + k1 + EncDecText(sqlWithBlank, k1, -1) + "&DATABASE=" + k2 + EncDecText(databaseName, k2, -1) +
         "&USERID=" + k2 + EncDecText(userId, k2, -1);
}

QueryExchange::QueryExchange(std::string_view sql, std::string_view databaseName, std::string_view userId)
    : sql_(sql), statement_(std::string(sql) + " "), host_(veltrano::deploy::get("QUERY_HOST")) {
  // Without a host the address is malformed and the transport fails it at once, without a
  // connection: the reply is then the empty one of an unreachable service.
  try {
    request_.open("POST", QueryServiceUrl(host_), true);
    request_.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    request_.setRequestHeader("Charset", "euc-kr");
    request_.setRequestHeader("Pragma", "no-cache");
    request_.setRequestHeader("Expires", "0");
    request_.send(QueryRequestBody(statement_, databaseName, userId));
    // On its way before the caller turns to other work: the service answers meanwhile.
    request_.pushRequest(kPushRequestMs);
  } catch (const veltrano::RuntimeError&) {
    sendFailure_ = std::current_exception();
  }
}

QueryResult QueryExchange::finish() {
  QueryResult result;
  const bool hostSet = !text::Trim(host_).empty();
  if (!hostSet)
    reportUnreachable(host_, "no host is set (QUERY_HOST under HKLM\\SOFTWARE\\VELTRANO\\DEPLOY, or VELTRANO_QUERY_HOST)");
  bool answered = false;
  try {
    if (sendFailure_) std::rethrow_exception(sendFailure_);
    while (request_.readyState() != veltrano::http::HttpRequest::kCompleted) ui::DoEvents();
    answered = true;
    if (request_.status() == 0 && hostSet) reportUnreachable(host_, request_.transportError());

    const auto& body = request_.responseBody();
    ReplyForm form;
    result = ReadQueryReply(statement_, std::span<const std::uint8_t>(body.data(), body.size()), form);
    request_.release();
    if (form == ReplyForm::NoRows || form == ReplyForm::Failure) ui::setMousePointer(ui::MousePointer::Default);
  } catch (const veltrano::RuntimeError& e) {
    // A run-time error ends the exchange with whatever result had been assigned.
    if (!answered && hostSet) reportUnreachable(host_, e.description());
  }
  return result;
}

QueryResult RunQueryService(std::string_view sql, std::string_view databaseName, std::string_view userId) {
  return QueryExchange(sql, databaseName, userId).finish();
}

}  // namespace meridox
