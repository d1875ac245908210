#pragma once
// Windows font names as the system's forms and settings name them ("굴림", "GulimChe", "Verdana",
// ...) mapped onto the families installed on this machine (fonts-nanum for Hangul, DejaVu for
// Latin). One table, used by every surface that draws text.

#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/font.h"

namespace veltrano::gdi {

// The Hangul family that fills in for glyphs a Latin family lacks.
inline constexpr std::string_view kHangulFallbackFamily = "NanumGothic";

// The installed family standing for `windowsName`. Latin names compare without regard to case
// and surrounding blanks; a name not in the table is returned as given (trimmed), so an
// installed family can be named directly.
std::string installedFontFamily(std::string_view windowsName);

// The families to ask the toolkit for, in order: the mapped family, then the Hangul fallback
// when the mapped family is not itself a Hangul one, so Korean text always has glyphs.
std::vector<std::string> installedFontFamilies(std::string_view windowsName);

// Pixel height of the em of `font` on a 96 dpi surface: the point size x 96 / 72, halves away
// from zero (MulDiv), at least 1.
int fontPixelSize(const Font& font);

}  // namespace veltrano::gdi
