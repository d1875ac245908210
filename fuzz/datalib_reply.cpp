// The data service's reply as the data library reads it: the error-prefix test, the text in
// either encoding, the error path's notices and the result recordset opened on the bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "datalib/transaction_reply.h"
#include "platform/text/ansi.h"
#include "recordset_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  const std::span<const std::uint8_t> body(data, size);
  (void)lumadata::MayBeginWithServerError(body);
  const std::string asUtf8 = text::toUtf8(text::toU32(std::string_view(reinterpret_cast<const char*>(data), size)));
  const std::string asAnsi = text::fromAnsi(body);
  for (const std::string& reply : {asUtf8, asAnsi})
    for (const std::string& notice : lumadata::ErrorTextNotices(reply))
      fuzz::require(notice.rfind("TR_ERR|", 0) == 0 && !notice.empty() && notice.back() == '\0',
                    "a notice is TR_ERR|k|character and a zero", notice);
  const ado::RecordsetPtr rs = lumadata::OpenReply(body);
  fuzz::require(rs != nullptr, "a result recordset always exists");
  if (rs->State() == ado::adStateOpen) fuzz::checkLoadedRecordset(*rs);
  return 0;
}
