#pragma once
// The data service's reply as a transaction reads it, apart from the exchange: the server's
// error prefix, the notices of the error path, and the result recordset. Pure functions over
// the reply's bytes or text, which come from outside and may be anything.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/recordset.h"

namespace lumadata {

// Whether the reply bytes begin with the server's error prefix "[에러번호]" in UTF-8 or in
// CP949: only then can the decoded text begin with it.
bool MayBeginWithServerError(std::span<const std::uint8_t> body);

// The error path's notices for a reply text: one per character over as many characters as
// the text has without leading and trailing blanks, "TR_ERR|" + k + "|" + the character +
// a zero character, k counting from 1.
std::vector<std::string> ErrorTextNotices(std::string_view replyText);

// A new recordset opened on the reply bytes (adOpenDynamic, adLockOptimistic, options 64);
// closed when the reply is not a rowset. Raises nothing.
veltrano::ado::RecordsetPtr OpenReply(std::span<const std::uint8_t> body);

}  // namespace lumadata
