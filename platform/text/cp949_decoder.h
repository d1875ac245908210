#pragma once
// The system's own CP949 converter, asked one character at a time: the source of the
// conversion tables (glibc's iconv on Linux, code page 949 of Windows).

#include <cstddef>

namespace veltrano::text {

class Cp949Decoder {
 public:
  Cp949Decoder();
  ~Cp949Decoder();
  Cp949Decoder(const Cp949Decoder&) = delete;
  Cp949Decoder& operator=(const Cp949Decoder&) = delete;

  // False when the system has no CP949 converter.
  bool ok() const;
  // The character that exactly these bytes make, or 0 when they are not one CP949 character.
  char32_t decode(const unsigned char* bytes, std::size_t length) const;

 private:
  void* handle_;
};

}  // namespace veltrano::text
