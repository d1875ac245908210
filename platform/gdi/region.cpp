#include "platform/gdi/region.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace veltrano::gdi {

namespace {
void normalise(int& a, int& b) {
  if (b < a) std::swap(a, b);
}

// For each row of an ellipse filling a box of w x h pixels (w, h >= 2), the column of its
// leftmost pixel: the ellipse is rasterised as Windows does for its rounded regions (an
// integer error-term walk from the left end of the middle row up to the top, one pixel per
// step; rows the walk does not reach, the tips of tall ellipses, take the last column).
std::vector<int> ellipseInsets(int w, int h) {
  std::vector<int> left(static_cast<std::size_t>(h), w);
  auto mark = [&](long long x, long long y) {
    if (y >= 0 && y < h && x < left[static_cast<std::size_t>(y)]) left[static_cast<std::size_t>(y)] = static_cast<int>(x);
  };
  const long long a = w - 1, b = h - 1, bOdd = b & 1;
  long long x0 = 0, x1 = a;
  long long y0 = (b + 1) / 2, y1 = y0 - bOdd;
  long long dx = 4 * (1 - a) * b * b, dy = 4 * (bOdd + 1) * a * a;
  long long err = dx + dy + bOdd * a * a;
  const long long stepX = 8 * b * b, stepY = 8 * a * a;
  do {
    mark(x0, y0);
    mark(x0, y1);
    const long long e2 = 2 * err;
    if (e2 <= dy) {
      ++y0;
      --y1;
      err += dy += stepY;
    }
    if (e2 >= dx) {
      ++x0;
      --x1;
      err += dx += stepX;
    }
  } while (x0 <= x1);
  while (y0 - y1 <= b) {
    mark(x0 - 1, y0++);
    mark(x0 - 1, y1--);
  }
  return left;
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
  // The platform leaves the right column and the bottom row out of a rounded region (and
  // only there): the region covers what a one-pixel outline drawn on the same corners covers.
  right = std::max(left, right - 1);
  bottom = std::max(top, bottom - 1);
  const int cw = std::min(right - left, std::abs(cornerWidth));
  const int ch = std::min(bottom - top, std::abs(cornerHeight));
  if (cw < 2 || ch < 2) return rectangle(left, top, right, bottom);

  const std::vector<int> inset = ellipseInsets(cw, ch);
  Region r;
  for (int y = top; y < bottom; ++y) {
    const int fromTop = y - top, fromBottom = bottom - 1 - y;
    int cut = 0;
    if (fromTop < ch / 2) cut = inset[static_cast<std::size_t>(fromTop)];
    else if (fromBottom < ch / 2) cut = inset[static_cast<std::size_t>(ch - 1 - fromBottom)];
    if (2 * cut < right - left) r.spans_.push_back({y, left + cut, right - cut});
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
