#include "updater/query_client.h"

#include "platform/deploy/deploy.h"
#include "platform/http/http_request.h"
#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"
#include "updater/query_protocol.h"
#include "updater/query_reply.h"

namespace meridox {

namespace ui = veltrano::ui;

std::string QueryServiceUrl() { return "http://" + veltrano::deploy::get("QUERY_HOST") + kQueryServicePath; }

std::string QueryRequestBody(std::string_view sqlWithBlank, std::string_view databaseName, std::string_view userId) {
  const std::string k1 = MakeDigitKey();
  const std::string k2 = MakeDigitKey();
  return "SQL=" + k1 + EncDecText(sqlWithBlank, k1, -1) + "&DATABASE=" + k2 + EncDecText(databaseName, k2, -1) +
         "&USERID=" + k2 + EncDecText(userId, k2, -1);
}

QueryResult RunQueryService(std::string_view sql, std::string_view databaseName, std::string_view userId) {
  QueryResult result;
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

    const auto& body = request.responseBody();
    ReplyForm form;
    result = ReadQueryReply(statement, std::span<const std::uint8_t>(body.data(), body.size()), form);
    request.release();
    if (form == ReplyForm::NoRows || form == ReplyForm::Failure) ui::setMousePointer(ui::MousePointer::Default);
  } catch (const veltrano::RuntimeError&) {
    // A run-time error ends the exchange with whatever result had been assigned.
  }
  return result;
}

}  // namespace meridox
