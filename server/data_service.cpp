#include "server/data_service.h"

#include <optional>
#include <stdexcept>

namespace veltrano::server {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";
constexpr const char* kXmlType = "text/xml; charset=utf-8";

Reply textReply(int status, int number, std::string_view message) {
  return Reply{status, kTextType, errorText(number, message)};
}

// BYTESDATA as a blob. The library appends a byte array to a field of type adVariant; a
// recordset saved as XML writes such a value as bin.hex and loads it back as that hex text,
// so text is taken as hex (blanks and line breaks skipped). Nothing for an empty value;
// false when the text is not hex.
bool payloadOf(const Variant* v, std::optional<Variant>& out) {
  out.reset();
  if (!v || v->isEmpty() || v->isNull()) return true;
  if (v->isBytes()) {
    if (!v->bytes().empty()) out = *v;
    return true;
  }
  const std::string hex = v->toString();
  Bytes bytes;
  bytes.reserve(hex.size() / 2);
  int high = -1;
  for (char c : hex) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    else return false;
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) return false;
  if (!bytes.empty()) out = Variant(std::move(bytes));
  return true;
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
      if (!payloadOf(request.find("BYTESDATA"), parameters.firstAnonymous))
        return textReply(400, 400, "BYTESDATA is neither bytes nor hexadecimal text");
      result = catalog_.run(databaseName, sql->toString(), parameters);
    } else {
      StatementParameters parameters;
      parameters.named = request.fields;
      result = catalog_.runPage(databaseName, page, parameters);
    }
    std::string xml = rowsetXml(result);
    const std::size_t cap = catalog_.limits().maxBytes;
    if (xml.size() > cap)
      return textReply(200, error_number::kTooBig,
                       "the reply is larger than " + std::to_string(cap) +
                           " bytes (the server's reply limit)");
    return Reply{200, kXmlType, std::move(xml)};
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
