#include "updater/progress_bar_caption.h"

#include "platform/text/vbstring.h"

namespace meridox {

using veltrano::text::NumberToText;
using veltrano::text::RoundHalfEven;

std::optional<std::string> CaptionText(std::int32_t textStyle, std::int32_t value, double percent,
                                       const std::string& text) {
  switch (textStyle) {
    case 1: return NumberToText(static_cast<long long>(value));
    case 2: return NumberToText(percent) + "%";
    case 3: return text;
    default: return std::nullopt;
  }
}

CaptionPoint CaptionPosition(std::int32_t textAlignment, int surfaceWidth, int surfaceHeight, int textWidth,
                             int textHeight) {
  if (textAlignment < 1 || textAlignment > 9) return {0, 0};
  const double sw = surfaceWidth, sh = surfaceHeight, tw = textWidth, th = textHeight;
  const int column = (textAlignment - 1) / 3;  // 0 left, 1 centre, 2 right
  const int row = (textAlignment - 1) % 3;     // 0 top, 1 middle, 2 bottom
  const double x = column == 0 ? 1 : column == 1 ? sw / 2 - tw / 2 - 1 : sw - tw - 3;
  const double y = row == 0 ? 0 : row == 1 ? sh / 2 - th / 2 - 1 : sh - th - 1;
  return {static_cast<int>(RoundHalfEven(x)), static_cast<int>(RoundHalfEven(y))};
}

std::vector<CaptionStroke> CaptionStrokes(std::int32_t textEffect, CaptionPoint at, std::int32_t textColour,
                                          std::int32_t effectColour) {
  const int x = at.x, y = at.y;
  const std::int32_t t = textColour, e = effectColour, grey = kCaptionEffectGrey;
  switch (textEffect) {
    case 1: return {{x, y, t}};
    case 2: return {{x - 1, y - 1, e}, {x + 1, y + 1, grey}, {x, y, t}};
    case 3: return {{x + 1, y + 1, e}, {x - 1, y, grey}, {x, y, t}};
    case 4: return {{x + 1, y, e}, {x - 1, y, e}, {x, y - 1, e}, {x, y + 1, e}, {x, y, t}};
    case 5: return {{x + 1, y + 1, e}, {x, y, t}};
    default: return {};
  }
}

}  // namespace meridox
