// Rounded-rectangle regions and the hollow rounded-rectangle outline.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/gdi/qt_bridge.h"
#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace veltrano::gdi {
namespace {

TEST(Region, RectangleCoversRightAndBottomExclusive) {
  const Region r = Region::rectangle(2, 1, 6, 4);
  EXPECT_EQ(r.area(), 4 * 3);
  EXPECT_TRUE(r.contains(2, 1));
  EXPECT_TRUE(r.contains(5, 3));
  EXPECT_FALSE(r.contains(6, 3));
  EXPECT_FALSE(r.contains(5, 4));
  EXPECT_TRUE(Region::rectangle(3, 3, 3, 9).empty());
  EXPECT_EQ(Region::rectangle(6, 4, 2, 1), r);  // corners in either order
}

TEST(Region, RoundedRegionLeavesOutTheRightColumnAndBottomRow) {
  for (int corner : {0, 1})
    EXPECT_EQ(Region::roundRect(0, 0, 200, 24, corner, corner), Region::rectangle(0, 0, 199, 23)) << corner;
  EXPECT_EQ(Region::roundRect(200, 24, 0, 0, 0, 0), Region::rectangle(0, 0, 199, 23));  // corners in either order
  EXPECT_TRUE(Region::roundRect(5, 5, 6, 9, 4, 4).empty());
}

// Left insets of the corner rows, top row first, as Windows cuts them (CreateRoundRectRgn on a
// 60 x 40 rectangle); the bottom rows mirror them.
TEST(Region, CornerRowsAreCutAsThePlatformCutsThem) {
  struct Case {
    int corner;
    std::vector<int> insets;
  } cases[] = {{3, {1}},       {5, {1}},          {6, {2, 1}},       {9, {3, 1, 1}},
               {10, {3, 2, 1}}, {16, {5, 4, 2, 2, 1}}, {24, {9, 6, 5, 4, 3, 2, 1, 1, 1}}};
  for (const Case& c : cases) {
    const Region r = Region::roundRect(0, 0, 60, 40, c.corner, c.corner);
    ASSERT_EQ(r.spans().size(), 39u) << c.corner;
    for (std::size_t i = 0; i < r.spans().size(); ++i) {
      const std::size_t fromEdge = std::min(i, r.spans().size() - 1 - i);
      const int inset = fromEdge < c.insets.size() ? c.insets[fromEdge] : 0;
      EXPECT_EQ(r.spans()[i], (Region::Span{static_cast<int>(i), inset, 59 - inset})) << c.corner << " row " << i;
    }
  }
}

TEST(Region, CornersAreLimitedToTheRectangleAndKeepItSymmetric) {
  EXPECT_EQ(Region::roundRect(0, 0, 11, 5, 100, 100), Region::roundRect(0, 0, 11, 5, 10, 4));
  const Region r = Region::roundRect(0, 0, 21, 21, 20, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      EXPECT_EQ(r.contains(x, y), r.contains(19 - x, y)) << x << "," << y;
      EXPECT_EQ(r.contains(x, y), r.contains(x, 19 - y)) << x << "," << y;
    }
}

TEST(Region, BecomesAQtMaskOfTheSamePixels) {
  const Region r = Region::roundRect(3, 2, 40, 30, 12, 9);
  const QRegion q = qRegion(r);
  for (int y = 0; y < 34; ++y)
    for (int x = 0; x < 44; ++x) EXPECT_EQ(q.contains(QPoint(x, y)), r.contains(x, y)) << x << "," << y;
}

TEST(RoundRect, SquareOutlineOnTheEdgesWithoutFill) {
  const ColorRef back = RGB(9, 9, 9), pen = RGB(200, 0, 0);
  Surface s(12, 10, back);
  s.setForeColor(pen);
  ASSERT_TRUE(s.roundRect(0, 0, 10, 8, 0, 0));
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(s.pixel(x, 0), pen);
    EXPECT_EQ(s.pixel(x, 7), pen);
  }
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(s.pixel(0, y), pen);
    EXPECT_EQ(s.pixel(9, y), pen);
  }
  EXPECT_EQ(s.pixel(5, 4), back);   // hollow
  EXPECT_EQ(s.pixel(10, 3), back);  // right edge exclusive
  EXPECT_EQ(s.pixel(3, 8), back);   // bottom edge exclusive
}

TEST(RoundRect, RoundedOutlineFollowsTheRegionBorder) {
  const ColorRef back = RGB(9, 9, 9), pen = RGB(0, 0, 200);
  Surface s(30, 20, back);
  s.setForeColor(pen);
  s.roundRect(0, 0, 29, 19, 10, 10);
  const Region shape = Region::roundRect(0, 0, 30, 20, 10, 10);
  EXPECT_EQ(s.pixel(0, 0), back);  // cut corner
  EXPECT_EQ(s.pixel(15, 10), back);
  // Top row: every pixel of the shape is outline; a middle row: only its two ends.
  for (int x = shape.spans().front().x0; x < shape.spans().front().x1; ++x) EXPECT_EQ(s.pixel(x, 0), pen);
  for (int x = 0; x < 30; ++x) EXPECT_EQ(s.pixel(x, 10) == pen, x == 0 || x == 28) << x;
  // The outline is closed: every row of the shape has a left and a right border pixel.
  for (const Region::Span& sp : shape.spans()) {
    EXPECT_EQ(s.pixel(sp.x0, sp.y), pen);
    EXPECT_EQ(s.pixel(sp.x1 - 1, sp.y), pen);
  }
}

TEST(RoundRect, OutlineIsEveryShapePixelWithANeighbourOutside) {
  struct Case {
    int left, top, right, bottom, cw, ch;
  } cases[] = {{0, 0, 40, 24, 5, 5},   {2, 1, 38, 20, 12, 8}, {0, 0, 30, 30, 30, 30},
               {0, 0, 40, 10, 80, 3},  {-5, -3, 20, 12, 9, 9}, {0, 0, 3, 2, 2, 2}};
  const ColorRef back = RGB(9, 9, 9), pen = RGB(0, 200, 0);
  for (const Case& c : cases) {
    Surface s(44, 34, back);
    s.setForeColor(pen);
    s.roundRect(c.left, c.top, c.right, c.bottom, c.cw, c.ch);
    const Region shape = Region::roundRect(c.left, c.top, c.right + 1, c.bottom + 1, c.cw, c.ch);
    for (int y = 0; y < 34; ++y)
      for (int x = 0; x < 44; ++x) {
        const bool border = shape.contains(x, y) && (!shape.contains(x - 1, y) || !shape.contains(x + 1, y) ||
                                                     !shape.contains(x, y - 1) || !shape.contains(x, y + 1));
        ASSERT_EQ(s.pixel(x, y) == pen, border) << c.cw << "x" << c.ch << " at " << x << "," << y;
      }
  }
}

}  // namespace
}  // namespace veltrano::gdi
