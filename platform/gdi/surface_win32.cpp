// The drawing surface on Windows: a 32-bit top-down DIB section in a memory device context,
// drawn by GDI itself.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/gdi/png_file_win32.h"
#include "platform/gdi/surface.h"
#include "platform/gdi/win32_bridge.h"
#include "platform/runtime/error.h"
#include "platform/text/wide.h"

namespace veltrano::gdi {

static_assert(sizeof(BitmapInfoHeader) == sizeof(BITMAPINFOHEADER), "BitmapInfoHeader is BITMAPINFOHEADER");
static_assert(offsetof(BitmapInfoHeader, biBitCount) == offsetof(BITMAPINFOHEADER, biBitCount));
static_assert(offsetof(BitmapInfoHeader, biClrImportant) == offsetof(BITMAPINFOHEADER, biClrImportant));

namespace {

// A GDI object selected into a device context for one call, then put back and deleted.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object, bool owned) : dc_(dc), object_(object), owned_(owned) {
    previous_ = object != nullptr ? SelectObject(dc, object) : nullptr;
  }
  ~Selected() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    if (owned_ && object_ != nullptr) DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_;
  bool owned_;
};

}  // namespace

struct Surface::Impl {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;   // null while the surface is empty
  HGDIOBJ firstBitmap = nullptr;  // the context's own bitmap, put back before the DIB is deleted
  std::uint32_t* bits = nullptr;  // 0x00RRGGBB, rows top first
  int width = 0, height = 0;
  Hdc hdc = 0;
  ColorRef back = RGB(255, 255, 255);
  ColorRef fore = RGB(0, 0, 0);
  ColorRef text = RGB(0, 0, 0);
  Font font;
  HFONT hfont = nullptr;  // made on first use
  HGDIOBJ firstFont = nullptr;
  bool fontFailed = false;
  mutable std::optional<std::string> extentText;  // the text of the last extent asked for, and its width
  mutable int extentWidth = 0;

  ~Impl() {
    releaseFont();
    releaseBitmap();
    if (dc != nullptr) DeleteDC(dc);
  }
  void releaseBitmap() {
    if (bitmap == nullptr) return;
    SelectObject(dc, firstBitmap);
    DeleteObject(bitmap);
    bitmap = nullptr;
    bits = nullptr;
  }
  void releaseFont() {
    if (hfont == nullptr) return;
    SelectObject(dc, firstFont);
    DeleteObject(hfont);
    hfont = nullptr;
  }
  // The font selected into the context, made from the Windows name as given; false when GDI
  // cannot make it.
  bool usableFont() {
    if (hfont != nullptr) return true;
    if (fontFailed) return false;
    hfont = CreateFontW(-fontPixelSize(font), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, font.italic ? TRUE : FALSE,
                        font.underline ? TRUE : FALSE, font.strikethrough ? TRUE : FALSE,
                        static_cast<DWORD>(font.charset & 0xFF), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, text::widen(font.name).c_str());
    if (hfont == nullptr) {
      fontFailed = true;
      return false;
    }
    firstFont = SelectObject(dc, hfont);
    return true;
  }
};

HDC nativeDc(const Surface& surface) { return surface.impl_->dc; }

HRGN nativeRegion(const Region& region) {
  HRGN result = CreateRectRgn(0, 0, 0, 0);
  if (result == nullptr) return nullptr;
  // Rows with the same span are joined into one rectangle, which keeps the region small.
  const auto& spans = region.spans();
  std::size_t i = 0;
  while (i < spans.size()) {
    std::size_t j = i + 1;
    while (j < spans.size() && spans[j].y == spans[j - 1].y + 1 && spans[j].x0 == spans[i].x0 &&
           spans[j].x1 == spans[i].x1)
      ++j;
    HRGN band = CreateRectRgn(spans[i].x0, spans[i].y, spans[i].x1, spans[j - 1].y + 1);
    if (band == nullptr) {
      DeleteObject(result);
      return nullptr;
    }
    CombineRgn(result, result, band, RGN_OR);
    DeleteObject(band);
    i = j;
  }
  return result;
}

Surface::Surface(int width, int height, ColorRef background) : impl_(std::make_unique<Impl>()) {
  impl_->dc = CreateCompatibleDC(nullptr);
  if (impl_->dc == nullptr) throw RuntimeError(err::kOutOfMemory, "Surface", "CreateCompatibleDC failed");
  impl_->back = background;
  resize(width, height);
  impl_->hdc = registerSurface(this);
}

Surface::~Surface() { unregisterSurface(impl_->hdc); }

Hdc Surface::hdc() const { return impl_->hdc; }
int Surface::width() const { return impl_->width; }
int Surface::height() const { return impl_->height; }

void Surface::resize(int width, int height) {
  impl_->releaseBitmap();
  impl_->width = impl_->height = 0;
  if (width > 0 && height > 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first in memory
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(impl_->dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) throw RuntimeError(err::kOutOfMemory, "Surface", "CreateDIBSection failed");
    impl_->bitmap = bitmap;
    impl_->bits = static_cast<std::uint32_t*>(bits);
    impl_->firstBitmap = SelectObject(impl_->dc, bitmap);
    impl_->width = width;
    impl_->height = height;
  }
  clear();
}

ColorRef Surface::backColor() const { return impl_->back; }
void Surface::setBackColor(ColorRef c) { impl_->back = c; }

void Surface::clear() { fillRect(0, 0, width(), height(), impl_->back); }

ColorRef Surface::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width() || y >= height()) return CLR_INVALID;
  GdiFlush();
  const std::uint32_t p = impl_->bits[static_cast<std::size_t>(y) * static_cast<std::size_t>(width()) + static_cast<std::size_t>(x)];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Surface::setPixel(int x, int y, ColorRef c) {
  if (impl_->bitmap != nullptr) SetPixelV(impl_->dc, x, y, c & 0xFFFFFF);
}

void Surface::fillRect(int left, int top, int right, int bottom, ColorRef c) {
  if (impl_->bitmap == nullptr || left >= right || top >= bottom) return;
  HBRUSH brush = CreateSolidBrush(c & 0xFFFFFF);
  if (brush == nullptr) return;
  const RECT r{left, top, right, bottom};
  FillRect(impl_->dc, &r, brush);
  DeleteObject(brush);
}

bool Surface::gradientFill(const TriVertex* vertices, std::uint32_t vertexCount, const GradientRect* meshes,
                           std::uint32_t meshCount, std::uint32_t mode) {
  if (vertices == nullptr || meshes == nullptr) return false;
  if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V) return false;
  for (std::uint32_t m = 0; m < meshCount; ++m)
    if (meshes[m].UpperLeft >= vertexCount || meshes[m].LowerRight >= vertexCount) return false;
  if (meshCount == 0 || impl_->bitmap == nullptr) return true;
  std::vector<TRIVERTEX> v(vertexCount);
  for (std::uint32_t i = 0; i < vertexCount; ++i)
    v[i] = TRIVERTEX{vertices[i].x, vertices[i].y, vertices[i].Red, vertices[i].Green, vertices[i].Blue, vertices[i].Alpha};
  std::vector<GRADIENT_RECT> rects(meshCount);
  for (std::uint32_t m = 0; m < meshCount; ++m) rects[m] = GRADIENT_RECT{meshes[m].UpperLeft, meshes[m].LowerRight};
  return ::GradientFill(impl_->dc, v.data(), vertexCount, rects.data(), meshCount, mode) != FALSE;
}

int Surface::setDIBitsToDevice(int xDest, int yDest, int w, int h, int xSrc, int ySrc, std::uint32_t startScan,
                               std::uint32_t scanLines, const void* bits, const BitmapInfoHeader& header,
                               std::uint32_t colourUse) {
  // The formats the system hands over; GDI itself would take more.
  if (bits == nullptr || header.biSize < 40 || header.biBitCount != 24 || header.biCompression != BI_RGB ||
      header.biWidth <= 0 || header.biHeight == 0 || colourUse != DIB_RGB_COLORS || w < 0 || h < 0)
    return 0;
  if (impl_->bitmap == nullptr) return static_cast<int>(scanLines);
  return ::SetDIBitsToDevice(impl_->dc, xDest, yDest, static_cast<DWORD>(w), static_cast<DWORD>(h), xSrc, ySrc,
                             startScan, scanLines, bits, reinterpret_cast<const BITMAPINFO*>(&header), colourUse);
}

ColorRef Surface::foreColor() const { return impl_->fore; }
void Surface::setForeColor(ColorRef c) { impl_->fore = c; }

bool Surface::roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  Selected pen(impl_->dc, CreatePen(PS_SOLID, 1, impl_->fore & 0xFFFFFF), true);
  Selected brush(impl_->dc, GetStockObject(NULL_BRUSH), false);
  return ::RoundRect(impl_->dc, left, top, right, bottom, cornerWidth, cornerHeight) != FALSE;
}

const Font& Surface::font() const { return impl_->font; }
void Surface::setFont(const Font& font) {
  impl_->releaseFont();
  impl_->font = font;
  impl_->fontFailed = false;
  impl_->extentText.reset();
}
ColorRef Surface::textColor() const { return impl_->text; }
void Surface::setTextColor(ColorRef c) { impl_->text = c; }

bool Surface::textOut(int x, int y, std::string_view text) {
  if (!impl_->usableFont()) return false;
  SetTextColor(impl_->dc, impl_->text & 0xFFFFFF);
  SetBkMode(impl_->dc, TRANSPARENT);
  SetTextAlign(impl_->dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  const std::wstring wide = text::widen(text);
  return ExtTextOutW(impl_->dc, x, y, 0, nullptr, wide.c_str(), static_cast<UINT>(wide.size()), nullptr) != FALSE;
}

TextExtent Surface::textExtent(std::string_view text) const {
  if (!impl_->usableFont()) return {};
  TEXTMETRICW tm{};
  GetTextMetricsW(impl_->dc, &tm);
  // A caption is measured once per change of its text, not on every redraw.
  if (!impl_->extentText || *impl_->extentText != text) {
    const std::wstring wide = text::widen(text);
    SIZE size{};
    GetTextExtentPoint32W(impl_->dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    impl_->extentText = std::string(text);
    impl_->extentWidth = size.cx;
  }
  return {impl_->extentWidth, tm.tmHeight};
}

TextMetrics Surface::textMetrics() const {
  if (!impl_->usableFont()) return {};
  TEXTMETRICW tm{};
  GetTextMetricsW(impl_->dc, &tm);
  return {tm.tmAscent, tm.tmDescent, tm.tmHeight};
}

bool Surface::savePng(const std::string& path) const {
  GdiFlush();
  return writePngFile(path, width(), height(), impl_->bits);
}

}  // namespace veltrano::gdi
