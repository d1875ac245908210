#include "platform/text/cp949_decoder.h"

#include <iconv.h>

namespace veltrano::text {

Cp949Decoder::Cp949Decoder() : handle_(iconv_open("UTF-32LE", "CP949")) {}

Cp949Decoder::~Cp949Decoder() {
  if (ok()) iconv_close(static_cast<iconv_t>(handle_));
}

bool Cp949Decoder::ok() const { return handle_ != reinterpret_cast<void*>(-1); }

char32_t Cp949Decoder::decode(const unsigned char* bytes, std::size_t length) const {
  iconv_t cd = static_cast<iconv_t>(handle_);
  char32_t out = 0;
  char* inPtr = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
  char* outPtr = reinterpret_cast<char*>(&out);
  std::size_t inLeft = length;
  std::size_t outLeft = sizeof(out);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return 0;
  if (inLeft != 0 || outLeft != 0) return 0;  // must be exactly one character from all bytes
  return out;
}

}  // namespace veltrano::text
