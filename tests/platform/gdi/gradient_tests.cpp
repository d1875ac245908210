// GradientFill and SetDIBitsToDevice on the drawing surface, checked against hand-computed
// pixels: v8 = a + floor((b - a) * (p - p0) / (p1 - p0)) for 8-bit vertex channels.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/gdi/surface.h"

namespace veltrano::gdi {
namespace {

constexpr ColorRef kBack = RGB(1, 2, 3);

TriVertex vertex(int x, int y, int r, int g, int b) {
  TriVertex v;
  v.x = x;
  v.y = y;
  v.Red = static_cast<std::uint16_t>(r * 256);
  v.Green = static_cast<std::uint16_t>(g * 256);
  v.Blue = static_cast<std::uint16_t>(b * 256);
  return v;
}

bool fill(Surface& s, TriVertex a, TriVertex b, std::uint32_t mode) {
  const TriVertex v[2] = {a, b};
  const GradientRect r{0, 1};
  return s.gradientFill(v, 2, &r, 1, mode);
}

TEST(GradientFill, HorizontalRunsFromStartColourAndStopsOneStepShortOfTheEnd) {
  Surface s(12, 3, kBack);
  ASSERT_TRUE(fill(s, vertex(0, 0, 0, 10, 250), vertex(10, 2, 200, 250, 10), GRADIENT_FILL_RECT_H));
  // red 0 -> 200 over 10 pixels: 20 per pixel; green 10 -> 250: 10 + floor(240 x / 10);
  // blue falls 250 -> 10: 250 + floor(-240 x / 10), rounding towards minus infinity.
  EXPECT_EQ(s.pixel(0, 0), RGB(0, 10, 250));
  EXPECT_EQ(s.pixel(3, 1), RGB(60, 82, 178));
  EXPECT_EQ(s.pixel(9, 0), RGB(180, 226, 34));
  // Right and bottom edges are exclusive.
  EXPECT_EQ(s.pixel(10, 0), kBack);
  EXPECT_EQ(s.pixel(5, 2), kBack);
}

TEST(GradientFill, UnevenStepsRoundDownInBothDirections) {
  Surface s(7, 1, kBack);
  ASSERT_TRUE(fill(s, vertex(0, 0, 10, 250, 0), vertex(7, 1, 250, 10, 0), GRADIENT_FILL_RECT_H));
  // 240 x 1 / 7 = 34.29 -> 34; 240 x 3 / 7 = 102.86 -> 102; 240 x 6 / 7 = 205.71 -> 205.
  EXPECT_EQ(GetRValue(s.pixel(1, 0)), 44);
  EXPECT_EQ(GetRValue(s.pixel(3, 0)), 112);
  EXPECT_EQ(GetRValue(s.pixel(6, 0)), 215);
  // Falling: floor(-34.29) = -35, floor(-102.86) = -103, floor(-205.71) = -206.
  EXPECT_EQ(GetGValue(s.pixel(1, 0)), 215);
  EXPECT_EQ(GetGValue(s.pixel(3, 0)), 147);
  EXPECT_EQ(GetGValue(s.pixel(6, 0)), 44);

  // Falling by one over 512 pixels: already the second pixel is 1 + floor(-1 / 512) = 0.
  Surface wide(512, 1, kBack);
  ASSERT_TRUE(fill(wide, vertex(0, 0, 1, 0, 0), vertex(512, 1, 0, 0, 0), GRADIENT_FILL_RECT_H));
  EXPECT_EQ(GetRValue(wide.pixel(0, 0)), 1);
  EXPECT_EQ(GetRValue(wide.pixel(1, 0)), 0);
  EXPECT_EQ(GetRValue(wide.pixel(511, 0)), 0);
}

TEST(GradientFill, VerticalChangesDownwardsAndKeepsRowsUniform) {
  Surface s(4, 6, kBack);
  ASSERT_TRUE(fill(s, vertex(1, 0, 100, 100, 100), vertex(3, 4, 140, 0, 100), GRADIENT_FILL_RECT_V));
  for (int x = 1; x < 3; ++x) {
    EXPECT_EQ(s.pixel(x, 0), RGB(100, 100, 100));
    EXPECT_EQ(s.pixel(x, 1), RGB(110, 75, 100));
    EXPECT_EQ(s.pixel(x, 3), RGB(130, 25, 100));
  }
  EXPECT_EQ(s.pixel(0, 1), kBack);
  EXPECT_EQ(s.pixel(3, 1), kBack);
  EXPECT_EQ(s.pixel(1, 4), kBack);
}

TEST(GradientFill, SixteenBitChannelsKeepTheirLowByteUntilTheTopByteIsTaken) {
  Surface s(4, 1, kBack);
  TriVertex a = vertex(0, 0, 0, 0, 0), b = vertex(4, 1, 0, 0, 0);
  a.Red = 0x00FF;  // 8-bit 0, nearly 1
  b.Red = 0x04FF;
  ASSERT_TRUE(fill(s, a, b, GRADIENT_FILL_RECT_H));
  // v16 = 0xFF + 0x400 * x / 4 = 0xFF, 0x1FF, 0x2FF, 0x3FF -> top bytes 0, 1, 2, 3.
  for (int x = 0; x < 4; ++x) EXPECT_EQ(GetRValue(s.pixel(x, 0)), x);
}

TEST(GradientFill, FillsExactlyTheRectangleBetweenItsVertices) {
  Surface s(60, 30, kBack);
  ASSERT_TRUE(fill(s, vertex(10, 10, 255, 0, 0), vertex(50, 20, 0, 0, 255), GRADIENT_FILL_RECT_H));
  long long filled = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) {
      const bool inside = x >= 10 && x < 50 && y >= 10 && y < 20;
      EXPECT_EQ(s.pixel(x, y) != kBack, inside) << x << "," << y;
      filled += s.pixel(x, y) != kBack;
    }
  EXPECT_EQ(filled, 40 * 10);
  EXPECT_EQ(s.pixel(10, 10), RGB(255, 0, 0));
  // red 255 + floor(-255 x 39 / 40) = 255 - 249; blue floor(255 x 39 / 40) = 248.
  EXPECT_EQ(s.pixel(49, 19), RGB(6, 0, 248));
}

TEST(GradientFill, VerticesInEitherOrderAndClippedAtTheSurfaceEdge) {
  Surface s(10, 2, kBack);
  // Lower-right vertex given first: the colour still starts at the left edge.
  ASSERT_TRUE(fill(s, vertex(10, 2, 200, 0, 0), vertex(-10, 0, 0, 0, 0), GRADIENT_FILL_RECT_H));
  // x = 0 lies 10 of 20 pixels into the rectangle that starts off the surface.
  EXPECT_EQ(GetRValue(s.pixel(0, 0)), 100);
  EXPECT_EQ(GetRValue(s.pixel(9, 1)), 190);
}

TEST(GradientFill, RefusesWhatItCannotDrawAndLeavesTheSurfaceAlone) {
  Surface s(5, 5, kBack);
  EXPECT_FALSE(fill(s, vertex(0, 0, 9, 9, 9), vertex(5, 5, 9, 9, 9), 2));  // triangles: not offered
  const TriVertex v[2] = {vertex(0, 0, 9, 9, 9), vertex(5, 5, 9, 9, 9)};
  const GradientRect bad{0, 2};
  EXPECT_FALSE(s.gradientFill(v, 2, &bad, 1, GRADIENT_FILL_RECT_V));
  EXPECT_FALSE(s.gradientFill(nullptr, 0, &bad, 1, GRADIENT_FILL_RECT_V));
  EXPECT_EQ(s.pixel(2, 2), kBack);
  // An empty rectangle is drawn successfully as nothing.
  EXPECT_TRUE(fill(s, vertex(3, 0, 9, 9, 9), vertex(3, 5, 9, 9, 9), GRADIENT_FILL_RECT_H));
  EXPECT_EQ(s.pixel(3, 2), kBack);
}

TEST(DeviceContext, HandlesFindTheirSurfaceUntilItGoes) {
  Hdc first = 0;
  {
    Surface a(3, 3, kBack), b(3, 3, kBack);
    first = a.hdc();
    EXPECT_NE(a.hdc(), b.hdc());
    EXPECT_LE(a.hdc(), 0x7FFFFFFFu);  // fits a Long
    EXPECT_EQ(surfaceFromHdc(a.hdc()), &a);
    const TriVertex v[2] = {vertex(0, 0, 50, 60, 70), vertex(3, 3, 50, 60, 70)};
    const GradientRect r{0, 1};
    EXPECT_TRUE(GradientFill(b.hdc(), v, 2, &r, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(b.pixel(2, 2), RGB(50, 60, 70));
    EXPECT_EQ(a.pixel(2, 2), kBack);
  }
  EXPECT_EQ(surfaceFromHdc(first), nullptr);
  const TriVertex v[2] = {};
  const GradientRect r{0, 1};
  EXPECT_FALSE(GradientFill(first, v, 2, &r, 1, GRADIENT_FILL_RECT_H));
}

BitmapInfoHeader header24(int width, int height) {
  BitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  return h;
}

TEST(SetDIBitsToDevice, OneRowOfBlueGreenRedBytes) {
  Surface s(8, 5, kBack);
  const std::vector<std::uint8_t> row{10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0};
  EXPECT_EQ(SetDIBitsToDevice(s.hdc(), 2, 3, 3, 1, 0, 0, 0, 1, row.data(), header24(3, 1), DIB_RGB_COLORS), 1);
  EXPECT_EQ(s.pixel(2, 3), RGB(30, 20, 10));
  EXPECT_EQ(s.pixel(3, 3), RGB(60, 50, 40));
  EXPECT_EQ(s.pixel(4, 3), RGB(90, 80, 70));
  EXPECT_EQ(s.pixel(1, 3), kBack);
  EXPECT_EQ(s.pixel(5, 3), kBack);
  EXPECT_EQ(s.pixel(2, 2), kBack);
}

TEST(SetDIBitsToDevice, BottomUpRowsArePaddedToFourBytes) {
  Surface s(4, 4, kBack);
  // Two scan lines of one pixel: 3 bytes plus 1 of padding each; scan 0 is the bottom row.
  const std::vector<std::uint8_t> bits{1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(s.setDIBitsToDevice(0, 0, 1, 2, 0, 0, 0, 2, bits.data(), header24(1, 2), DIB_RGB_COLORS), 2);
  EXPECT_EQ(s.pixel(0, 0), RGB(6, 5, 4));
  EXPECT_EQ(s.pixel(0, 1), RGB(3, 2, 1));
  // Top-down: scan 0 is the top row.
  EXPECT_EQ(s.setDIBitsToDevice(2, 0, 1, 2, 0, 0, 0, 2, bits.data(), header24(1, -2), DIB_RGB_COLORS), 2);
  EXPECT_EQ(s.pixel(2, 0), RGB(3, 2, 1));
  EXPECT_EQ(s.pixel(2, 1), RGB(6, 5, 4));
}

TEST(SetDIBitsToDevice, OtherFormatsFailAndDrawNothing) {
  Surface s(4, 4, kBack);
  const std::vector<std::uint8_t> bits(16, 0xAB);
  BitmapInfoHeader h = header24(2, 1);
  h.biBitCount = 32;
  EXPECT_EQ(s.setDIBitsToDevice(0, 0, 2, 1, 0, 0, 0, 1, bits.data(), h, DIB_RGB_COLORS), 0);
  h = header24(2, 1);
  h.biCompression = 1;
  EXPECT_EQ(s.setDIBitsToDevice(0, 0, 2, 1, 0, 0, 0, 1, bits.data(), h, DIB_RGB_COLORS), 0);
  EXPECT_EQ(s.setDIBitsToDevice(0, 0, 2, 1, 0, 0, 0, 1, nullptr, header24(2, 1), DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBitsToDevice(0, 0, 0, 2, 1, 0, 0, 0, 1, bits.data(), header24(2, 1), DIB_RGB_COLORS), 0);
  EXPECT_EQ(s.pixel(0, 0), kBack);
}

}  // namespace
}  // namespace veltrano::gdi
