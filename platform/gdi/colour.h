#pragma once
// Windows colour values (COLORREF): red + 256 x green + 65536 x blue, the high byte zero.

#include <cstdint>

// windows.h defines CLR_INVALID, RGB and Get?Value as macros of the same values; they are set
// aside while the names are declared here, so this header may be included after it. (Win32
// code that includes both sees the macros, which give the same colours.)
#pragma push_macro("CLR_INVALID")
#pragma push_macro("RGB")
#pragma push_macro("GetRValue")
#pragma push_macro("GetGValue")
#pragma push_macro("GetBValue")
#undef CLR_INVALID
#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue

namespace veltrano::gdi {

using ColorRef = std::uint32_t;

// The value GetPixel gives for a point outside the surface.
inline constexpr ColorRef CLR_INVALID = 0xFFFFFFFFu;

constexpr ColorRef RGB(int r, int g, int b) {
  return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(ColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

// A colour held in a signed 32-bit Long (as the system's properties keep colours) as the
// colour drawn: the low three bytes.
constexpr ColorRef colourFromLong(std::int32_t v) { return static_cast<ColorRef>(v) & 0xFFFFFFu; }

}  // namespace veltrano::gdi

#pragma pop_macro("CLR_INVALID")
#pragma pop_macro("RGB")
#pragma pop_macro("GetRValue")
#pragma pop_macro("GetGValue")
#pragma pop_macro("GetBValue")
