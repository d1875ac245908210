// The query service's keyed hex fields: decoding any text with any key gives text or "",
// never a crash; and a text without edge blanks whose characters CP949 holds comes back from
// encoding and decoding, with a key as the system makes them (128 digits 1 to 9) and with any
// key whose code sum the encoding can carry (a positive token that would begin with "E" is
// written with a leading "0", so no token reads as negative).

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
    for (const std::string& k : {digitKey, key}) {
      const std::string encoded = meridox::EncDecText(text, k, -1);
      if (encoded.empty()) continue;  // a code sum outside 16 bits: nothing is sent
      const std::string decoded = meridox::EncDecText(encoded, k, 0);
      veltrano::fuzz::require(decoded == text, "decoding undoes encoding", text + " -> " + encoded + " -> " + decoded);
    }
  }
  return 0;
}
