// The query service's keyed hex fields: decoding any text with any key gives text or "",
// never a crash; and a text without edge blanks whose characters CP949 holds comes back from
// encoding and decoding with a key as the system makes them (128 digits 1 to 9). With other
// keys the encoding is ambiguous by its definition (a positive value whose hex begins with
// "E" reads as negative), so the round trip is not asked of them.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/text/ansi.h"
#include "updater/query_protocol.h"

namespace {

bool holdsOnlyCp949Text(const std::string& s) {
  if (!veltrano::text::IsValidUtf8(s) || s.find('\0') != std::string::npos) return false;
  return veltrano::text::fromAnsi(veltrano::text::toAnsi(s)) == s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string key = in.ConsumeRandomLengthString(256);
  std::string digitKey(128, '1');
  for (char& d : digitKey) d = static_cast<char>('1' + in.ConsumeIntegralInRange<int>(0, 8));
  const std::string text = in.ConsumeRemainingBytesAsString();
  (void)meridox::EncDecText(text, key, 0);
  (void)meridox::IsModifyingStatement(text);

  const bool blanksAtEdges = !text.empty() && (text.front() == ' ' || text.back() == ' ');
  if (!text.empty() && !blanksAtEdges && holdsOnlyCp949Text(text)) {
    const std::string encoded = meridox::EncDecText(text, digitKey, -1);
    if (!encoded.empty()) {
      const std::string decoded = meridox::EncDecText(encoded, digitKey, 0);
      veltrano::fuzz::require(decoded == text, "decoding undoes encoding", text + " -> " + encoded + " -> " + decoded);
    }
  }
  return 0;
}
