#pragma once
// A drawing surface over an image, with the GDI behaviour the system's controls rely on: the
// two-vertex gradient rectangle of GradientFill, 24-bit DIB rows through SetDIBitsToDevice, a
// rounded-rectangle outline (RoundRect with a hollow brush), filled rectangles, and text
// output with a transparent background in a chosen font. Each surface has a device-context
// handle, a 32-bit number as the system's declarations carry it (platform/gdi/device_context.h
// finds the surface again from it). The image is kept between repaints; a window shows it.
//
// Coordinates are pixels; right and bottom edges are exclusive, as in GDI. Drawing outside the
// surface is clipped. Single-threaded.
//
// Two backends. On Windows the image is a 32-bit DIB section selected into a memory device
// context, and each call below is the GDI call of its name on that context (fonts through
// CreateFontW with the Windows name as given, text through ExtTextOutW without smoothing);
// platform/gdi/win32_bridge.h hands the context to Win32 windows. Elsewhere the image is a
// QImage drawn by our own code after the same rules (fonts mapped onto installed families by
// platform/gdi/font_map.h); text there needs a Qt GUI application: when the process has none,
// the first use of a font starts a headless one (offscreen platform) for the life of the
// process, so a program that shows windows creates its own QApplication before drawing. The
// two give the same pixels for everything but text (tests compare them).
//
// Gradient colours (GradientFill, both directions). The vertex channels are 16-bit. Across a
// rectangle from coordinate p0 (included) to p1 (excluded), with channel values V0 at p0 and V1
// at p1, the pixel at p gets, per channel,
//     v16 = V0 + floor((V1 - V0) * (p - p0) / (p1 - p0))      (exact integer arithmetic)
//     v8  = v16 >> 8                                           (top byte)
// For vertex channels that are 8-bit values a and b times 256 this is the same as
//     v8  = a + floor((b - a) * (p - p0) / (p1 - p0)),
// so the first pixel has the start colour exactly and the end colour itself lies one pixel
// beyond the rectangle. floor rounds towards minus infinity, for falling channels as well.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gdi/colour.h"
#include "platform/gdi/font_map.h"  // fontPixelSize
#include "platform/runtime/font.h"

class QImage;
struct HDC__;

// windows.h defines GRADIENT_FILL_RECT_H/V, BI_RGB and DIB_RGB_COLORS as macros of the same
// values; they are set aside while the names are declared here (see colour.h).
#pragma push_macro("GRADIENT_FILL_RECT_H")
#pragma push_macro("GRADIENT_FILL_RECT_V")
#pragma push_macro("BI_RGB")
#pragma push_macro("DIB_RGB_COLORS")
#undef GRADIENT_FILL_RECT_H
#undef GRADIENT_FILL_RECT_V
#undef BI_RGB
#undef DIB_RGB_COLORS

namespace veltrano::gdi {

// A device-context handle.
using Hdc = std::uint32_t;

// GradientFill's vertex: position and 16-bit colour channels (8-bit value x 256).
struct TriVertex {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint16_t Red = 0;
  std::uint16_t Green = 0;
  std::uint16_t Blue = 0;
  std::uint16_t Alpha = 0;
};

// One gradient rectangle: indices of its upper-left and lower-right vertices.
struct GradientRect {
  std::uint32_t UpperLeft = 0;
  std::uint32_t LowerRight = 1;
};

inline constexpr std::uint32_t GRADIENT_FILL_RECT_H = 0;  // colours change from left to right
inline constexpr std::uint32_t GRADIENT_FILL_RECT_V = 1;  // colours change from top to bottom

// BITMAPINFOHEADER.
struct BitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // positive: bottom-up rows; negative: top-down
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

struct TextExtent {
  int width = 0;   // advance of the whole text
  int height = 0;  // line height of the font (ascent + descent)
};

struct TextMetrics {
  int ascent = 0;   // from the top of the text cell to the baseline
  int descent = 0;  // below the baseline
  int height = 0;   // ascent + descent
};

class Surface {
 public:
  // A surface of width x height pixels (negative sizes count as 0), cleared to `background`.
  explicit Surface(int width, int height, ColorRef background = RGB(255, 255, 255));
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  Hdc hdc() const;
  int width() const;
  int height() const;
  // New size; the whole image is cleared to the background colour.
  void resize(int width, int height);

  ColorRef backColor() const;
  void setBackColor(ColorRef c);
  // Cls: every pixel to the background colour.
  void clear();

  // GetPixel: the colour at (x, y), CLR_INVALID outside the surface.
  ColorRef pixel(int x, int y) const;
  void setPixel(int x, int y, ColorRef c);
  // FillRect with a solid brush: left <= x < right, top <= y < bottom.
  void fillRect(int left, int top, int right, int bottom, ColorRef c);

  // GradientFill with rectangle meshes. Each rectangle spans its two vertices (in either
  // order); the colour runs from the vertex at the smaller coordinate to the other one along x
  // (GRADIENT_FILL_RECT_H) or y (GRADIENT_FILL_RECT_V), by the formula above. Fails (false,
  // nothing drawn) for null arrays, a vertex index out of range or another mode (triangles are
  // not offered). An empty rectangle draws nothing and succeeds.
  bool gradientFill(const TriVertex* vertices, std::uint32_t vertexCount, const GradientRect* meshes,
                    std::uint32_t meshCount, std::uint32_t mode);

  // SetDIBitsToDevice for uncompressed 24-bit DIBs (rows of blue, green, red bytes padded to
  // four bytes). `bits` holds scan lines startScan .. startScan + scanLines - 1 (scan 0 is the
  // bottom row of a bottom-up DIB, the top row of a top-down one). The source rectangle of
  // width x height pixels starts at (xSrc, ySrc), ySrc counted from the bottom for bottom-up
  // DIBs. Returns the number of scan lines set, 0 on failure (other formats, null bits,
  // negative sizes).
  int setDIBitsToDevice(int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                        std::uint32_t startScan, std::uint32_t scanLines, const void* bits,
                        const BitmapInfoHeader& header, std::uint32_t colourUse);

  // The drawing (pen) colour used by outlines.
  ColorRef foreColor() const;
  void setForeColor(ColorRef c);
  // RoundRect with a hollow brush and a one-pixel pen in the fore colour: the border of the
  // shape Region::roundRect(left, top, right + 1, bottom + 1, cornerWidth, cornerHeight)
  // (every pixel of the shape with a left, right, upper or lower neighbour outside it), so the
  // outline drawn on (0, 0, w - 1, h - 1) is the edge of the window region (0, 0, w, h). The
  // interior is left as it is.
  bool roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);

  const Font& font() const;
  void setFont(const Font& font);
  ColorRef textColor() const;
  void setTextColor(ColorRef c);
  // TextOut with a transparent background: the text cell's upper-left corner at (x, y), the
  // baseline at y + ascent. Text is UTF-8. Glyphs are drawn without smoothing, as GDI draws
  // them with font smoothing off: each pixel is either the text colour or left as it was.
  // False when no font can be used.
  bool textOut(int x, int y, std::string_view text);
  // Width and height of `text` in the current font (VB's TextWidth and TextHeight in pixels).
  TextExtent textExtent(std::string_view text) const;
  TextMetrics textMetrics() const;

  // Writes the image as a PNG file.
  bool savePng(const std::string& path) const;

 private:
  friend const ::QImage& qImage(const Surface& surface);
  friend ::HDC__* nativeDc(const Surface& surface);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrano::gdi

#pragma pop_macro("GRADIENT_FILL_RECT_H")
#pragma pop_macro("GRADIENT_FILL_RECT_V")
#pragma pop_macro("BI_RGB")
#pragma pop_macro("DIB_RGB_COLORS")
