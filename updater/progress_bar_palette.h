#pragma once
// The progress bar's colours: the 17-entry palette c0 ... c16 of each theme, the grey of the
// disabled look and the lighten function that builds theme 10 from two custom colours.
// Colours are Windows colour values held in Longs (red + 256 x green + 65536 x blue).

#include <array>
#include <cstdint>

namespace meridox {

// c0, c2 first half of the background; c4, c6 second half; c8, c10 first half of the bar;
// c12, c14 second half; c16 the outline. Each odd entry equals the entry before it.
using Palette = std::array<std::int32_t, 17>;

inline constexpr int kFirstTheme = 1;
inline constexpr int kLastTheme = 10;
inline constexpr int kCustomTheme = 10;

// Channels as the control reads them: red = colour mod 256 (keeping the sign of a negative
// colour, as Mod does), green = (colour and FF00) / 256, blue = (colour and FF0000) / 65536.
std::int32_t RedOf(std::int32_t colour);
std::int32_t GreenOf(std::int32_t colour);
std::int32_t BlueOf(std::int32_t colour);

// G(k): the grey of a colour. r = k mod 256; g = (k mod 65536) / 256 and b = k / 65536, each
// rounded half to even; v = (r + g + b) / 3 rounded half to even. The rounding lifts g or b by
// one when the channels below are 128 or more (G of 239, 133, 133 is 169, 169, 169). Like the
// run-time's RGB, v is limited to 0 ... 255, so white stays white (its v comes out at 256).
std::int32_t Grey(std::int32_t colour);

// L(k, a): each channel plus `amount`, taken as its absolute value and limited to at most 255.
std::int32_t Lighten(std::int32_t colour, std::int32_t amount);

// Fills `palette` for `theme` 1 to 10 (theme 10 from `custom1`, the bar colour, and `custom2`,
// the background colour) and returns true; any other theme leaves it as it was and returns
// false.
bool FillPalette(Palette& palette, std::int32_t theme, std::int32_t custom1, std::int32_t custom2);

}  // namespace meridox
