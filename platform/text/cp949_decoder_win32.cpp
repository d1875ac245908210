#include "platform/text/cp949_decoder.h"

#include <windows.h>

namespace veltrano::text {

// Code page 949 is named explicitly: the tables must not follow the system's ANSI code page.
constexpr UINT kCodePage = 949;

Cp949Decoder::Cp949Decoder() : handle_(nullptr) {}
Cp949Decoder::~Cp949Decoder() = default;

bool Cp949Decoder::ok() const { return IsValidCodePage(kCodePage) != 0; }

char32_t Cp949Decoder::decode(const unsigned char* bytes, std::size_t length) const {
  wchar_t out[2] = {};
  const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                    static_cast<int>(length), out, 2);
  if (n != 1) return 0;  // not one character (or not valid in the code page)
  return out[0];
}

}  // namespace veltrano::text
