#pragma once
// A font as the system's controls describe it (the StdFont of the run-time).

#include <string>

namespace veltrano {

struct Font {
  std::string name = "Gulim";
  double size = 9.0;  // points
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  int charset = 129;  // HANGUL_CHARSET
  bool operator==(const Font&) const = default;
};

// Text form of a font for storage in a property bag: "name,size,flags" with flags B I U S.
std::string fontToText(const Font& f);
// The inverse; a malformed text gives `fallback`.
Font fontFromText(const std::string& text, const Font& fallback);

}  // namespace veltrano
