#pragma once
// A window region (HRGN) as rows of pixel spans: what CreateRectRgn and CreateRoundRectRgn make
// and SetWindowRgn gives a window as its shape. Free of any toolkit; the Qt side turns it into a
// widget mask (platform/gdi/qt_bridge.h).

#include <vector>

namespace veltrano::gdi {

class Region {
 public:
  // One row's run of pixels: x from x0 up to, not including, x1.
  struct Span {
    int y, x0, x1;
    bool operator==(const Span&) const = default;
  };

  Region() = default;  // empty

  // CreateRectRgn: the pixels (x, y) with left <= x < right and top <= y < bottom.
  static Region rectangle(int left, int top, int right, int bottom);

  // CreateRoundRectRgn, with the platform's pixels: the rectangle less its right column and
  // bottom row (left <= x < right - 1, top <= y < bottom - 1), its corners cut along a
  // rasterised ellipse of `cornerWidth` x `cornerHeight` pixels. Corner sizes count without
  // sign and are limited to the reduced rectangle's size; below 2 the corners are square.
  static Region roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);

  bool empty() const { return spans_.empty(); }
  bool contains(int x, int y) const;
  // Rows from top to bottom, at most one span per row (these shapes are convex).
  const std::vector<Span>& spans() const { return spans_; }
  // Number of pixels covered.
  long long area() const;

  bool operator==(const Region&) const = default;

 private:
  std::vector<Span> spans_;
};

}  // namespace veltrano::gdi
