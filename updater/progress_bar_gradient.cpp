#include "updater/progress_bar_gradient.h"

#include <algorithm>
#include <cmath>

#include "platform/gdi/colour.h"
#include "platform/gdi/device_context.h"
#include "platform/runtime/error.h"

namespace meridox {

namespace gdi = veltrano::gdi;
using veltrano::RuntimeError;

namespace {

constexpr const char* kSource = "ProgressBar";

std::uint8_t lineChannel(std::uint8_t a, std::uint8_t b, std::int64_t n, std::int64_t i) {
  if (a == b || n <= 0) return a;
  const float step = static_cast<float>(b - a) / static_cast<float>(n);
  // The step is single precision; step x i + a is then exact in double.
  const double v = std::nearbyint(static_cast<double>(step) * static_cast<double>(i) + a);  // half to even
  return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

gdi::TriVertex vertex(std::int32_t x, std::int32_t y, std::int32_t colour) {
  const gdi::ColorRef c = gdi::colourFromLong(colour);
  gdi::TriVertex v;
  v.x = x;
  v.y = y;
  v.Red = static_cast<std::uint16_t>(gdi::GetRValue(c) * 256);
  v.Green = static_cast<std::uint16_t>(gdi::GetGValue(c) * 256);
  v.Blue = static_cast<std::uint16_t>(gdi::GetBValue(c) * 256);
  v.Alpha = 0;
  return v;
}

}  // namespace

BgrColour SplitColour(std::int32_t colour) {
  const gdi::ColorRef c = gdi::colourFromLong(colour);
  return {static_cast<std::uint8_t>(gdi::GetBValue(c)), static_cast<std::uint8_t>(gdi::GetGValue(c)),
          static_cast<std::uint8_t>(gdi::GetRValue(c))};
}

BgrColour LineEntry(BgrColour a, BgrColour b, std::int64_t n, std::int64_t i) {
  return {lineChannel(a.blue, b.blue, n, i), lineChannel(a.green, b.green, n, i), lineChannel(a.red, b.red, n, i)};
}

std::vector<BgrColour> InterpolateLine(BgrColour a, BgrColour b, std::int32_t n) {
  n = std::max(n, 0);
  std::vector<BgrColour> line(static_cast<std::size_t>(n) + 1);
  for (std::int32_t i = 0; i <= n; ++i) line[static_cast<std::size_t>(i)] = LineEntry(a, b, n, i);
  return line;
}

void GradientTwoColour(std::int32_t ObjectHDC, std::int32_t Direction, std::int32_t StartColor,
                       std::int32_t EndColor, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                       std::int32_t Height) {
  const gdi::TriVertex vertices[2] = {vertex(Left, Top, StartColor), vertex(Width, Height, EndColor)};
  const gdi::GradientRect rect{0, 1};
  if (!gdi::GradientFill(static_cast<gdi::Hdc>(ObjectHDC), vertices, 2, &rect, 1, static_cast<std::uint32_t>(Direction)))
    throw RuntimeError(veltrano::err::kInvalidProcedureCall, kSource, "GradientFill failed");
}

void DrawGradientFourColour(std::int32_t ObjectHDC, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                            std::int32_t Height, std::int32_t TopLeftColour, std::int32_t TopRightColour,
                            std::int32_t BottomLeftColour, std::int32_t BottomRightColour) {
  const gdi::Surface* surface = gdi::surfaceFromHdc(static_cast<gdi::Hdc>(ObjectHDC));
  if (surface == nullptr)
    throw RuntimeError(veltrano::err::kInvalidProcedureCall, kSource, "Invalid device context");
  if (Width < 0 || Height < 0)
    throw RuntimeError(veltrano::err::kInvalidProcedureCall, kSource, "Invalid gradient size");

  const BgrColour topLeft = SplitColour(TopLeftColour), topRight = SplitColour(TopRightColour);
  const BgrColour bottomLeft = SplitColour(BottomLeftColour), bottomRight = SplitColour(BottomRightColour);

  // Only the part of the rectangle on the surface is computed; the rest would be clipped.
  const std::int64_t firstColumn = std::max<std::int64_t>(0, -static_cast<std::int64_t>(Left));
  const std::int64_t endColumn = std::min<std::int64_t>(Width, static_cast<std::int64_t>(surface->width()) - Left);
  const std::int64_t firstRow = std::max<std::int64_t>(0, -static_cast<std::int64_t>(Top));
  const std::int64_t endRow = std::min<std::int64_t>(Height, static_cast<std::int64_t>(surface->height()) - Top);
  if (firstColumn >= endColumn || firstRow >= endRow) return;

  const auto rowWidth = static_cast<std::int32_t>(endColumn - firstColumn);
  gdi::BitmapInfoHeader header;
  header.biSize = 40;
  header.biWidth = rowWidth;
  header.biHeight = 1;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = gdi::BI_RGB;
  std::vector<std::uint8_t> row((static_cast<std::size_t>(rowWidth) * 3 + 3) / 4 * 4);

  for (std::int64_t y = firstRow; y < endRow; ++y) {
    const BgrColour left = LineEntry(topLeft, bottomLeft, Height, y);
    const BgrColour right = LineEntry(topRight, bottomRight, Height, y);
    std::size_t at = 0;
    for (std::int64_t x = firstColumn; x < endColumn; ++x) {
      const BgrColour c = LineEntry(left, right, Width, x);
      row[at++] = c.blue;
      row[at++] = c.green;
      row[at++] = c.red;
    }
    const int set = gdi::SetDIBitsToDevice(static_cast<gdi::Hdc>(ObjectHDC), static_cast<int>(Left + firstColumn),
                                           static_cast<int>(Top + y), rowWidth, 1, 0, 0, 0, 1, row.data(), header,
                                           gdi::DIB_RGB_COLORS);
    if (set == 0) throw RuntimeError(veltrano::err::kInvalidProcedureCall, kSource, "SetDIBitsToDevice failed");
  }
}

}  // namespace meridox
