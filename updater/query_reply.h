#pragma once
// The query service's reply read as one of its four forms, without the exchange around it:
// the bytes are read as CP949 whatever the reply declares, then tested in this order:
//  - ChangeDone: the statement changes data (the reply is not looked at);
//  - NoRows: the text is exactly "조회된 결과값이 없습니다.";
//  - Rows: the text holds the stylesheet line of an XML rowset anywhere;
//  - Failure: anything else.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "updater/query_client.h"

namespace meridox {

enum class ReplyForm { ChangeDone, NoRows, Rows, Failure };

// The form of `replyText` (already decoded) for `statement` (as sent, with its blank).
ReplyForm ClassifyReply(std::string_view statement, std::string_view replyText);

// The result handed to the caller for a reply of `body` bytes: True, the no-rows recordset,
// the recordset loaded from the reply (closed when it is not a readable rowset: that is the
// result, not an error) or the failure recordset. Sets `form` to the form found.
QueryResult ReadQueryReply(std::string_view statement, std::span<const std::uint8_t> body, ReplyForm& form);

}  // namespace meridox
