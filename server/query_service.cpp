#include "server/query_service.h"

#include <stdexcept>

#include "platform/text/ansi.h"
#include "platform/text/ascii.h"
#include "server/form.h"
#include "server/rowset.h"
#include "updater/query_protocol.h"

namespace veltrano::server {

namespace {

constexpr std::size_t kKeyLength = 128;
constexpr const char* kTextType = "text/plain; charset=euc-kr";
constexpr const char* kXmlType = "text/xml; charset=euc-kr";

Reply ansiReply(int status, const char* type, std::string_view utf8) {
  return Reply{status, type, text::toAnsiString(utf8)};
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> decodeKeyedField(std::string_view value) {
  if (value.size() < kKeyLength) return std::nullopt;
  // The key's code sum: its characters are digits, whose ANSI codes are their bytes.
  int sum = 0;
  for (const char c : value.substr(0, kKeyLength)) {
    if (c < '0' || c > '9') return std::nullopt;
    sum += c;
  }
  std::string_view encoded = value.substr(kKeyLength);
  while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
  while (!encoded.empty() && encoded.back() == ' ') encoded.remove_suffix(1);
  if (encoded.empty()) return std::string();

  // Tokens of up to five hex digits, "E" first for a negative number, each ended by "I": the
  // character's ANSI code plus the key's sum. Text after the last "I" is not read.
  std::string decoded;
  decoded.reserve(encoded.size() / 3);
  std::size_t pos = 0;
  for (std::size_t end; (end = encoded.find('I', pos)) != std::string_view::npos; pos = end + 1) {
    std::string_view token = encoded.substr(pos, end - pos);
    const bool negative = !token.empty() && token.front() == 'E';
    if (negative) token.remove_prefix(1);
    if (token.empty() || token.size() > 5) return std::nullopt;
    long number = 0;
    for (const char c : token) {
      const int d = text::HexDigitValue(c);
      if (d < 0) return std::nullopt;
      number = number * 16 + d;
    }
    const long code = (negative ? -number : number) - sum;
    if (code < -32768 || code > 65535) return std::nullopt;
    if (code >= 0 && code < 0x80) {
      decoded.push_back(static_cast<char>(code));
      continue;
    }
    // A code that names no CP949 character fails the whole text.
    const std::string ch = text::ansiChar(static_cast<int>(code));
    if (ch == "\xEF\xBF\xBD") return std::nullopt;
    decoded += ch;
  }
  // An encoded text that yields nothing (no token at all) is not a keyed text.
  if (decoded.empty()) return std::nullopt;
  return decoded;
}

std::optional<QueryRequest> decodeQueryForm(std::string_view body, std::string& error) {
  const auto form = parseForm(body);
  if (!form) {
    error = "the form body has a malformed %-escape";
    return std::nullopt;
  }
  QueryRequest request;
  bool haveSql = false, haveDatabase = false, haveUser = false;
  for (const auto& [name, value] : *form) {
    std::string* target = nullptr;
    bool* seen = nullptr;
    if (sameName(name, "SQL")) target = &request.sql, seen = &haveSql;
    else if (sameName(name, "DATABASE")) target = &request.database, seen = &haveDatabase;
    else if (sameName(name, "USERID")) target = &request.userId, seen = &haveUser;
    else continue;
    if (*seen) {
      error = "the field " + name + " is given twice";
      return std::nullopt;
    }
    auto decoded = decodeKeyedField(value);
    if (!decoded) {
      error = "the field " + name + " is not a 128-digit key followed by keyed hex text";
      return std::nullopt;
    }
    *target = std::move(*decoded);
    *seen = true;
  }
  if (!haveSql || !haveDatabase) {
    error = haveSql ? "the DATABASE field is missing" : "the SQL field is missing";
    return std::nullopt;
  }
  return request;
}

Reply QueryService::answer(std::string_view body) const {
  std::string problem;
  const auto request = decodeQueryForm(body, problem);
  if (!request) return ansiReply(400, kTextType, errorText(400, problem));

  if (!catalog_.writable() && meridox::IsModifyingStatement(request->sql))
    return ansiReply(403, kTextType,
                     errorText(error_number::kReadOnly,
                               "the database is read-only: statements that change data are "
                               "refused"));
  try {
    const ResultSet result = catalog_.run(request->database, request->sql);
    if (result.rows.empty()) return ansiReply(200, kTextType, kNoRowsText);
    std::string reply(kStylesheetLine);
    reply += "\r\n";
    reply += rowsetXml(result);
    const std::size_t cap = catalog_.limits().maxBytes;
    if (reply.size() > cap)
      return ansiReply(200, kTextType,
                       errorText(error_number::kTooBig, "the reply is larger than " + std::to_string(cap) +
                                                    " bytes (the server's reply limit)"));
    return ansiReply(200, kXmlType, reply);
  } catch (const StatementError& e) {
    const int status = e.kind() == StatementError::Kind::Refused ? 403 : 200;
    return ansiReply(status, kTextType, errorText(e.code(), e.what()));
  } catch (const std::exception& e) {
    return ansiReply(500, kTextType, errorText(500, e.what()));
  }
}

}  // namespace veltrano::server
