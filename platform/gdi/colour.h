#pragma once
// Windows colour values (COLORREF): red + 256 x green + 65536 x blue, the high byte zero.

#include <cstdint>

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
