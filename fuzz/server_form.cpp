// The reference server's form bodies: any bytes give the pairs or nothing, never a crash;
// and percent-decoding never makes text longer than what it decodes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "server/form.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto form = server::parseForm(body);
  if (form) {
    std::size_t total = 0;
    for (const auto& [name, value] : *form) total += name.size() + value.size();
    fuzz::require(total <= size, "decoded pairs are no longer than the body");
  }
  for (const bool plus : {true, false}) {
    std::string out;
    if (server::percentDecode(body, out, plus)) fuzz::require(out.size() <= size, "decoding never grows the text");
  }
  return 0;
}
