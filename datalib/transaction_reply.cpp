#include "transaction_reply.h"

#include <algorithm>
#include <exception>

#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "transaction.h"

namespace lumadata {

namespace ado = veltrano::ado;
namespace text = veltrano::text;

namespace {

bool bytesBeginWith(std::span<const std::uint8_t> body, std::string_view prefix) {
  return body.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), body.begin(), [](char p, std::uint8_t b) { return static_cast<std::uint8_t>(p) == b; });
}

}  // namespace

bool MayBeginWithServerError(std::span<const std::uint8_t> body) {
  static const std::string ansiPrefix = text::toAnsiString(kServerErrorPrefix);
  return bytesBeginWith(body, kServerErrorPrefix) || bytesBeginWith(body, ansiPrefix);
}

std::vector<std::string> ErrorTextNotices(std::string_view replyText) {
  std::vector<std::string> notices;
  const std::string reply(replyText);
  const std::size_t n = text::Len(text::Trim(reply));
  if (n == 0) return notices;
  const std::u32string chars = text::toU32(reply);
  for (std::size_t k = 1; k <= n && k <= chars.size(); ++k) {
    std::string notice = "TR_ERR|" + std::to_string(k) + "|";
    text::appendUtf8(notice, chars[k - 1]);
    notice.push_back('\0');
    notices.push_back(std::move(notice));
  }
  return notices;
}

ado::RecordsetPtr OpenReply(std::span<const std::uint8_t> body) {
  // Run-time errors are skipped here: the statement that fails is passed over.
  ado::RecordsetPtr result;
  try {
    result = ado::Recordset::create();
  } catch (const std::exception&) {
    return result;
  }
  try {
    result->OpenStream(body, ado::adOpenDynamic, ado::adLockOptimistic, 64);
  } catch (const std::exception&) {
    // A reply that is not a rowset leaves the recordset closed.
  }
  return result;
}

}  // namespace lumadata
