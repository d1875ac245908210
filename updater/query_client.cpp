#include "updater/query_client.h"

#include <cstdio>

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

// The window only ever shows an empty list for a query service it cannot reach: say why where
// an administrator looks.
void reportUnreachable(const std::string& host, const std::string& why) {
  const std::string line = "query service at " + (host.empty() ? std::string("(no host)") : host) +
                           " unreachable: " + (why.empty() ? std::string("no reply") : why);
  std::fprintf(stderr, "meridox: %s\n", line.c_str());
  veltrano::eventlog::write("Meridox", line, veltrano::eventlog::Type::Error);
}

}  // namespace

std::string QueryServiceUrl() { return veltrano::http::withScheme(veltrano::deploy::get("QUERY_HOST") + kQueryServicePath); }

std::string QueryRequestBody(std::string_view sqlWithBlank, std::string_view databaseName, std::string_view userId) {
  const std::string k1 = MakeDigitKey();
  const std::string k2 = MakeDigitKey();
  return "SQL=" + k1 + EncDecText(sqlWithBlank, k1, -1) + "&DATABASE=" + k2 + EncDecText(databaseName, k2, -1) +
         "&USERID=" + k2 + EncDecText(userId, k2, -1);
}

QueryResult RunQueryService(std::string_view sql, std::string_view databaseName, std::string_view userId) {
  QueryResult result;
  const std::string host = veltrano::deploy::get("QUERY_HOST");
  bool answered = false;
  if (text::Trim(host).empty())
    reportUnreachable(host, "no host is set (QUERY_HOST under HKLM\\SOFTWARE\\VELTRANO\\DEPLOY, or VELTRANO_QUERY_HOST)");
  try {
    veltrano::http::HttpRequest request;
    request.open("POST", QueryServiceUrl(), true);
    request.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    request.setRequestHeader("Charset", "euc-kr");
    request.setRequestHeader("Pragma", "no-cache");
    request.setRequestHeader("Expires", "0");
    const std::string statement = std::string(sql) + " ";
    request.send(QueryRequestBody(statement, databaseName, userId));
    while (request.readyState() != veltrano::http::HttpRequest::kCompleted) ui::DoEvents();
    answered = true;
    if (request.status() == 0 && !text::Trim(host).empty()) reportUnreachable(host, request.transportError());

    const auto& body = request.responseBody();
    ReplyForm form;
    result = ReadQueryReply(statement, std::span<const std::uint8_t>(body.data(), body.size()), form);
    request.release();
    if (form == ReplyForm::NoRows || form == ReplyForm::Failure) ui::setMousePointer(ui::MousePointer::Default);
  } catch (const veltrano::RuntimeError& e) {
    // A run-time error ends the exchange with whatever result had been assigned.
    if (!answered && !text::Trim(host).empty()) reportUnreachable(host, e.description());
  }
  return result;
}

}  // namespace meridox
