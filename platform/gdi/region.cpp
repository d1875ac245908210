#include "platform/gdi/region.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrano::gdi {

namespace {
void normalise(int& a, int& b) {
  if (b < a) std::swap(a, b);
}
}  // namespace

Region Region::rectangle(int left, int top, int right, int bottom) {
  normalise(left, right);
  normalise(top, bottom);
  Region r;
  if (left == right) return r;
  for (int y = top; y < bottom; ++y) r.spans_.push_back({y, left, right});
  return r;
}

Region Region::roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  normalise(left, right);
  normalise(top, bottom);
  const int width = right - left;
  const int height = bottom - top;
  const int cw = std::min(cornerWidth, width);
  const int ch = std::min(cornerHeight, height);
  if (cw <= 1 || ch <= 1) return rectangle(left, top, right, bottom);

  const double rx = cw / 2.0;
  const double ry = ch / 2.0;
  Region r;
  for (int y = top; y < bottom; ++y) {
    // Vertical distance of the pixel centre into the upper or lower corner band.
    const double cy = y + 0.5;
    double dy = 0;
    if (cy < top + ry) dy = top + ry - cy;
    else if (cy > bottom - ry) dy = cy - (bottom - ry);
    int inset = 0;
    if (dy > 0) {
      const double q = dy / ry;
      const double dx = rx * std::sqrt(std::max(0.0, 1.0 - q * q));
      // The leftmost pixel whose centre is at or right of the ellipse's edge; the small
      // tolerance keeps centres that lie exactly on the edge inside.
      inset = std::max(0, static_cast<int>(std::ceil(rx - dx - 0.5 - 1e-9)));
    }
    if (2 * inset < width) r.spans_.push_back({y, left + inset, right - inset});
  }
  return r;
}

bool Region::contains(int x, int y) const {
  auto it = std::lower_bound(spans_.begin(), spans_.end(), y,
                             [](const Span& s, int row) { return s.y < row; });
  return it != spans_.end() && it->y == y && x >= it->x0 && x < it->x1;
}

long long Region::area() const {
  long long n = 0;
  for (const Span& s : spans_) n += s.x1 - s.x0;
  return n;
}

}  // namespace veltrano::gdi
