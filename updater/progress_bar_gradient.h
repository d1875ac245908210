#pragma once
// The progress bar's two public gradient methods, on any device context: GradientTwoColour (one
// GradientFill rectangle) and DrawGradientFourColour (a four-corner blend written row by row as
// one-row DIBs), with the line interpolation the latter uses.

#include <cstdint>
#include <vector>

namespace meridox {

// A colour split into bytes in DIB order.
struct BgrColour {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  bool operator==(const BgrColour&) const = default;
};

// The bytes of a Windows colour value held in a Long (its low three bytes).
BgrColour SplitColour(std::int32_t colour);

// Entry i (0 <= i <= n) of the line from `a` to `b` in n steps: per channel, step = (b - a) / n
// rounded to single precision (0 when b = a or n = 0), then step x i + a rounded half to even.
BgrColour LineEntry(BgrColour a, BgrColour b, std::int64_t n, std::int64_t i);
// All n + 1 entries; the last equals b. n below 0 counts as 0.
std::vector<BgrColour> InterpolateLine(BgrColour a, BgrColour b, std::int32_t n);

// Fills the rectangle from (Left, Top) to (Width, Height) (right and bottom edges, exclusive;
// not extents) with one GradientFill rectangle from StartColor at the upper-left vertex to
// EndColor at the lower-right one; Direction 0 changes from left to right, 1 from top to
// bottom. Raises run-time error 5 when the handle is unknown or the fill fails (another
// Direction, for one); nothing is drawn then.
void GradientTwoColour(std::int32_t ObjectHDC, std::int32_t Direction, std::int32_t StartColor,
                       std::int32_t EndColor, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                       std::int32_t Height);

// Fills Width x Height pixels at (Left, Top) with the blend of the four corner colours: the
// left and right columns are lines of Height steps, and row y is the line of Width steps
// between their entries y, so the right and bottom corner colours lie one pixel beyond the
// rectangle. One SetDIBitsToDevice row per visible row (rows and columns outside the surface
// are not computed). A zero Width or Height draws nothing. Raises run-time error 5 for an
// unknown handle, a negative size or a failing row (rows before it stay drawn).
void DrawGradientFourColour(std::int32_t ObjectHDC, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                            std::int32_t Height, std::int32_t TopLeftColour, std::int32_t TopRightColour,
                            std::int32_t BottomLeftColour, std::int32_t BottomRightColour);

}  // namespace meridox
