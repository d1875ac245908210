#include "server/data_service.h"

#include <stdexcept>

namespace veltrano::server {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";
constexpr const char* kXmlType = "text/xml; charset=utf-8";

Reply textReply(int status, int number, std::string_view message) {
  return Reply{status, kTextType, errorText(number, message)};
}

// BYTESDATA as a blob: bytes as they are; text as its bytes; nothing for an empty value.
std::optional<Variant> payloadOf(const Variant* v) {
  if (!v || v->isEmpty() || v->isNull()) return std::nullopt;
  if (v->isBytes()) {
    if (v->bytes().empty()) return std::nullopt;
    return *v;
  }
  const std::string t = v->toString();
  if (t.empty()) return std::nullopt;
  return Variant(Bytes(t.begin(), t.end()));
}

}  // namespace

Reply DataService::answer(std::string_view page, std::string_view body) const {
  std::string problem;
  const auto request = readRecordset(body, problem);
  if (!request) return textReply(400, 400, "the request is not a recordset: " + problem);
  return answer(page, *request);
}

Reply DataService::answer(std::string_view page, const RecordsetFields& request) const {
  const Variant* database = request.find("DATABASE");
  if (!database || database->isNull() || database->isEmpty())
    return textReply(400, 400, "the request has no DATABASE field");
  try {
    const std::string databaseName = database->toString();
    ResultSet result;
    if (page.empty()) {
      const Variant* sql = request.find("SQL");
      if (!sql || sql->isNull() || sql->isEmpty())
        return textReply(400, 400, "the request has no SQL field");
      StatementParameters parameters;
      parameters.firstAnonymous = payloadOf(request.find("BYTESDATA"));
      result = catalog_.run(databaseName, sql->toString(), parameters);
    } else {
      StatementParameters parameters;
      parameters.named = request.fields;
      result = catalog_.runPage(databaseName, page, parameters);
    }
    return Reply{200, kXmlType, rowsetXml(result)};
  } catch (const StatementError& e) {
    switch (e.kind()) {
      case StatementError::Kind::Refused: return textReply(403, e.code(), e.what());
      case StatementError::Kind::NoPage: return textReply(404, e.code(), e.what());
      default: return textReply(200, e.code(), e.what());
    }
  } catch (const std::exception& e) {
    return textReply(500, 500, e.what());
  }
}

}  // namespace veltrano::server
