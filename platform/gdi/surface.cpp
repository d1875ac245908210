#include "platform/gdi/surface.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/gdi/font_map.h"
#include "platform/gdi/qt_bridge.h"
#include "platform/gdi/region.h"

namespace veltrano::gdi {

namespace {

QRgb toQRgb(ColorRef c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Integer division rounding towards minus infinity; d > 0.
std::int64_t floorDiv(std::int64_t n, std::int64_t d) {
  std::int64_t q = n / d;
  if (n % d != 0 && n < 0) --q;
  return q;
}

// The 8-bit channel at position p of a gradient from v0 (at p0) to v1 (at p1, excluded).
int gradientChannel(std::uint16_t v0, std::uint16_t v1, std::int64_t p, std::int64_t p0, std::int64_t p1) {
  const std::int64_t v16 = v0 + floorDiv((static_cast<std::int64_t>(v1) - v0) * (p - p0), p1 - p0);
  return static_cast<int>(v16 >> 8);
}

QRgb gradientColour(const TriVertex& a, const TriVertex& b, std::int64_t p, std::int64_t p0, std::int64_t p1) {
  return qRgb(gradientChannel(a.Red, b.Red, p, p0, p1), gradientChannel(a.Green, b.Green, p, p0, p1),
              gradientChannel(a.Blue, b.Blue, p, p0, p1));
}

}  // namespace

bool ensureGuiApplication() {
  if (QCoreApplication::instance() == nullptr) {
    // Drawing only: the offscreen platform needs no display. Kept alive on purpose; a Qt
    // application cannot be started twice in one process.
    static int argc = 3;
    static char arg0[] = "veltrano";
    static char arg1[] = "-platform";
    static char arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    new QGuiApplication(argc, argv);
  }
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QFont qFont(const Font& font) {
  QFont f;
  QStringList families;
  for (const std::string& name : installedFontFamilies(font.name)) families << QString::fromStdString(name);
  f.setFamilies(families);
  f.setPixelSize(fontPixelSize(font));
  f.setBold(font.bold);
  f.setItalic(font.italic);
  f.setUnderline(font.underline);
  f.setStrikeOut(font.strikethrough);
  return f;
}

QRegion qRegion(const Region& region) {
  QRegion r;
  // Rows with the same span are joined into one rectangle, which keeps the region small.
  const auto& spans = region.spans();
  std::size_t i = 0;
  while (i < spans.size()) {
    std::size_t j = i + 1;
    while (j < spans.size() && spans[j].y == spans[j - 1].y + 1 && spans[j].x0 == spans[i].x0 &&
           spans[j].x1 == spans[i].x1)
      ++j;
    r += QRect(spans[i].x0, spans[i].y, spans[i].x1 - spans[i].x0, static_cast<int>(j - i));
    i = j;
  }
  return r;
}

struct Surface::Impl {
  QImage image;
  Hdc hdc = 0;
  ColorRef back = RGB(255, 255, 255);
  ColorRef fore = RGB(0, 0, 0);
  ColorRef text = RGB(0, 0, 0);
  Font font;
  mutable std::optional<QFont> qfont;  // made on first use, after the GUI application exists
  mutable std::optional<QFontMetrics> metrics;  // of qfont, kept while the font is unchanged
  mutable std::optional<std::string> extentText;  // the text of the last extent asked for, and its width
  mutable int extentWidth = 0;

  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < image.width() && y < image.height(); }
  const QFont* usableFont() const {
    if (!ensureGuiApplication()) return nullptr;
    if (!qfont) {
      qfont = qFont(font);
      qfont->setStyleStrategy(QFont::NoAntialias);
    }
    return &*qfont;
  }
  const QFontMetrics* usableMetrics() const {
    const QFont* f = usableFont();
    if (f == nullptr) return nullptr;
    if (!metrics) metrics.emplace(*f);
    return &*metrics;
  }
};

const QImage& qImage(const Surface& surface) { return surface.impl_->image; }

Surface::Surface(int width, int height, ColorRef background) : impl_(std::make_unique<Impl>()) {
  impl_->back = background;
  resize(width, height);
  impl_->hdc = registerSurface(this);
}

Surface::~Surface() { unregisterSurface(impl_->hdc); }

Hdc Surface::hdc() const { return impl_->hdc; }
int Surface::width() const { return impl_->image.width(); }
int Surface::height() const { return impl_->image.height(); }

void Surface::resize(int width, int height) {
  impl_->image = QImage(std::max(0, width), std::max(0, height), QImage::Format_RGB32);
  clear();
}

ColorRef Surface::backColor() const { return impl_->back; }
void Surface::setBackColor(ColorRef c) { impl_->back = c; }

void Surface::clear() {
  if (!impl_->image.isNull()) impl_->image.fill(toQRgb(impl_->back));
}

ColorRef Surface::pixel(int x, int y) const {
  if (!impl_->inside(x, y)) return CLR_INVALID;
  const QRgb p = reinterpret_cast<const QRgb*>(impl_->image.constScanLine(y))[x];
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

void Surface::setPixel(int x, int y, ColorRef c) {
  if (impl_->inside(x, y)) reinterpret_cast<QRgb*>(impl_->image.scanLine(y))[x] = toQRgb(c);
}

void Surface::fillRect(int left, int top, int right, int bottom, ColorRef c) {
  const int x0 = std::max(left, 0), x1 = std::min(right, width());
  const int y0 = std::max(top, 0), y1 = std::min(bottom, height());
  if (x0 >= x1) return;
  const QRgb v = toQRgb(c);
  for (int y = y0; y < y1; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(impl_->image.scanLine(y));
    std::fill(row + x0, row + x1, v);
  }
}

bool Surface::gradientFill(const TriVertex* vertices, std::uint32_t vertexCount, const GradientRect* meshes,
                           std::uint32_t meshCount, std::uint32_t mode) {
  if (vertices == nullptr || meshes == nullptr) return false;
  if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V) return false;
  for (std::uint32_t m = 0; m < meshCount; ++m)
    if (meshes[m].UpperLeft >= vertexCount || meshes[m].LowerRight >= vertexCount) return false;

  std::vector<QRgb> row;
  for (std::uint32_t m = 0; m < meshCount; ++m) {
    const TriVertex& a = vertices[meshes[m].UpperLeft];
    const TriVertex& b = vertices[meshes[m].LowerRight];
    const std::int64_t left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const std::int64_t top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    const int x0 = static_cast<int>(std::max<std::int64_t>(left, 0));
    const int x1 = static_cast<int>(std::min<std::int64_t>(right, width()));
    const int y0 = static_cast<int>(std::max<std::int64_t>(top, 0));
    const int y1 = static_cast<int>(std::min<std::int64_t>(bottom, height()));
    if (x0 >= x1 || y0 >= y1) continue;
    if (mode == GRADIENT_FILL_RECT_H) {
      // The colour runs from the vertex at the left edge to the one at the right edge.
      const TriVertex& from = a.x <= b.x ? a : b;
      const TriVertex& to = a.x <= b.x ? b : a;
      row.resize(static_cast<std::size_t>(x1 - x0));
      for (int x = x0; x < x1; ++x) row[static_cast<std::size_t>(x - x0)] = gradientColour(from, to, x, left, right);
      for (int y = y0; y < y1; ++y)
        std::memcpy(reinterpret_cast<QRgb*>(impl_->image.scanLine(y)) + x0, row.data(), row.size() * sizeof(QRgb));
    } else {
      const TriVertex& from = a.y <= b.y ? a : b;
      const TriVertex& to = a.y <= b.y ? b : a;
      for (int y = y0; y < y1; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(impl_->image.scanLine(y));
        std::fill(line + x0, line + x1, gradientColour(from, to, y, top, bottom));
      }
    }
  }
  return true;
}

int Surface::setDIBitsToDevice(int xDest, int yDest, int w, int h, int xSrc, int ySrc, std::uint32_t startScan,
                               std::uint32_t scanLines, const void* bits, const BitmapInfoHeader& header,
                               std::uint32_t colourUse) {
  if (bits == nullptr || header.biSize < 40 || header.biBitCount != 24 || header.biCompression != BI_RGB ||
      header.biWidth <= 0 || header.biHeight == 0 || colourUse != DIB_RGB_COLORS || w < 0 || h < 0)
    return 0;
  const bool bottomUp = header.biHeight > 0;
  const std::int64_t dibHeight = bottomUp ? header.biHeight : -static_cast<std::int64_t>(header.biHeight);
  const std::int64_t stride = (static_cast<std::int64_t>(header.biWidth) * 3 + 3) / 4 * 4;
  const auto* data = static_cast<const std::uint8_t*>(bits);

  for (int j = 0; j < h; ++j) {
    const int y = yDest + j;
    if (y < 0 || y >= height()) continue;
    // The scan line shown on destination row j: bottom-up DIBs count ySrc and scans upwards.
    const std::int64_t scan = bottomUp ? static_cast<std::int64_t>(ySrc) + (h - 1 - j) : static_cast<std::int64_t>(ySrc) + j;
    if (scan < 0 || scan >= dibHeight || scan < startScan || scan >= static_cast<std::int64_t>(startScan) + scanLines)
      continue;
    const std::uint8_t* src = data + (scan - startScan) * stride;
    QRgb* line = reinterpret_cast<QRgb*>(impl_->image.scanLine(y));
    for (int i = 0; i < w; ++i) {
      const std::int64_t sx = static_cast<std::int64_t>(xSrc) + i;
      const int x = xDest + i;
      if (sx < 0 || sx >= header.biWidth || x < 0 || x >= width()) continue;
      const std::uint8_t* p = src + sx * 3;
      line[x] = qRgb(p[2], p[1], p[0]);
    }
  }
  return static_cast<int>(scanLines);
}

ColorRef Surface::foreColor() const { return impl_->fore; }
void Surface::setForeColor(ColorRef c) { impl_->fore = c; }

bool Surface::roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  const Region shape = Region::roundRect(left, top, right + 1, bottom + 1, cornerWidth, cornerHeight);
  const auto& spans = shape.spans();
  const QRgb pen = toQRgb(impl_->fore);
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const Region::Span& s = spans[i];
    // A pixel of the row is outline unless it is inside the row's ends and has shape pixels
    // above and below it: the inner run is the overlap of the rows above and below.
    int innerStart = s.x0 + 1, innerEnd = s.x1 - 1;
    const bool above = i > 0 && spans[i - 1].y == s.y - 1;
    const bool below = i + 1 < spans.size() && spans[i + 1].y == s.y + 1;
    if (above && below) {
      innerStart = std::max({innerStart, spans[i - 1].x0, spans[i + 1].x0});
      innerEnd = std::min({innerEnd, spans[i - 1].x1, spans[i + 1].x1});
    } else {
      innerEnd = innerStart;  // the first and the last row are outline throughout
    }
    if (s.y < 0 || s.y >= height()) continue;
    QRgb* line = reinterpret_cast<QRgb*>(impl_->image.scanLine(s.y));
    auto draw = [&](int from, int to) {
      for (int x = std::max(from, 0); x < std::min(to, width()); ++x) line[x] = pen;
    };
    if (innerStart >= innerEnd) {
      draw(s.x0, s.x1);
    } else {
      draw(s.x0, innerStart);
      draw(innerEnd, s.x1);
    }
  }
  return true;
}

const Font& Surface::font() const { return impl_->font; }
void Surface::setFont(const Font& font) {
  impl_->font = font;
  impl_->qfont.reset();
  impl_->metrics.reset();
  impl_->extentText.reset();
}
ColorRef Surface::textColor() const { return impl_->text; }
void Surface::setTextColor(ColorRef c) { impl_->text = c; }

bool Surface::textOut(int x, int y, std::string_view text) {
  const QFont* f = impl_->usableFont();
  if (f == nullptr || impl_->image.isNull()) return f != nullptr;
  QPainter painter(&impl_->image);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setFont(*f);
  painter.setPen(QColor(GetRValue(impl_->text), GetGValue(impl_->text), GetBValue(impl_->text)));
  painter.drawText(QPoint(x, y + impl_->usableMetrics()->ascent()),
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  return true;
}

TextExtent Surface::textExtent(std::string_view text) const {
  const QFontMetrics* fm = impl_->usableMetrics();
  if (fm == nullptr) return {};
  // A caption is measured once per change of its text, not on every redraw.
  if (!impl_->extentText || *impl_->extentText != text) {
    impl_->extentText = std::string(text);
    impl_->extentWidth = fm->horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  return {impl_->extentWidth, fm->height()};
}

TextMetrics Surface::textMetrics() const {
  const QFontMetrics* fm = impl_->usableMetrics();
  if (fm == nullptr) return {};
  return {fm->ascent(), fm->descent(), fm->height()};
}

bool Surface::savePng(const std::string& path) const {
  return impl_->image.save(QString::fromStdString(path), "PNG");
}

}  // namespace veltrano::gdi
