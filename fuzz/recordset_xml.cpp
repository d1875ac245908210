// Recordset XML as it comes from the query service, the data service or a file: as text and
// as a byte stream (byte-order marks, declared encodings). Whatever the bytes, the load gives
// a recordset or a reason, never a crash; a recordset that loads keeps the save invariant.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "recordset_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto rs = ado::Recordset::create();
  if (rs->loadXml(text)) fuzz::checkLoadedRecordset(*rs);
  auto stream = ado::Recordset::create();
  if (stream->loadStream(std::span<const std::uint8_t>(data, size))) fuzz::checkLoadedRecordset(*stream);
  return 0;
}
