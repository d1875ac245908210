// Regions against the platform's own: Region::roundRect gives the pixels of CreateRoundRectRgn,
// and nativeRegion hands them back to GDI unchanged. windows.h comes first on purpose: the
// drawing headers must stand after it.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/gdi/region.h"
#include "platform/gdi/win32_bridge.h"

namespace veltrano::gdi {
namespace {

// Whether two regions cover the same pixels (EqualRgn compares how they are stored).
bool samePixels(HRGN a, HRGN b) {
  HRGN difference = CreateRectRgn(0, 0, 0, 0);
  const int kind = CombineRgn(difference, a, b, RGN_XOR);
  DeleteObject(difference);
  return kind == NULLREGION;
}

TEST(RegionOnWindows, RoundedRegionsAreThoseOfCreateRoundRectRgn) {
  const int sizes[][2] = {{300, 24}, {300, 40}, {40, 160}, {60, 40}, {7, 5}};
  const int corners[] = {0, 1, 3, 5, 6, 9, 12, 16, 23, 24, 31, 200, -7};
  for (const auto& size : sizes)
    for (int cw : corners)
      for (int ch : {cw, cw / 2 + 3}) {
        HRGN real = CreateRoundRectRgn(0, 0, size[0], size[1], cw, ch);
        HRGN ours = nativeRegion(Region::roundRect(0, 0, size[0], size[1], cw, ch));
        ASSERT_NE(real, nullptr);
        ASSERT_NE(ours, nullptr);
        EXPECT_TRUE(samePixels(real, ours)) << size[0] << "x" << size[1] << " corners " << cw << "x" << ch;
        DeleteObject(real);
        DeleteObject(ours);
      }
  // Offset and reversed corners.
  HRGN real = CreateRoundRectRgn(50, 30, 10, 4, 12, 8);
  HRGN ours = nativeRegion(Region::roundRect(50, 30, 10, 4, 12, 8));
  EXPECT_TRUE(samePixels(real, ours));
  DeleteObject(real);
  DeleteObject(ours);
}

}  // namespace
}  // namespace veltrano::gdi
