// The query service's reply as the updater reads it: the first line is the statement, the
// rest the reply bytes (CP949 whatever they declare). Every reply gives one of the four
// forms; a rows reply gives a recordset, and an opened one keeps the save invariant.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "recordset_check.h"
#include "updater/query_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = std::min(all.find('\n'), all.size());
  const std::string_view statement = all.substr(0, cut);
  const auto body = std::span<const std::uint8_t>(data, size).subspan(std::min(cut + 1, size));
  meridox::ReplyForm form;
  const meridox::QueryResult result = meridox::ReadQueryReply(statement, body, form);
  if (form == meridox::ReplyForm::ChangeDone) {
    fuzz::require(result.kind == meridox::QueryResult::Kind::True, "a change gives True");
    return 0;
  }
  fuzz::require(result.kind == meridox::QueryResult::Kind::Recordset && result.recordset != nullptr,
                "every other form gives a recordset");
  if (result.recordset->State() == ado::adStateOpen) fuzz::checkLoadedRecordset(*result.recordset);
  return 0;
}
