#pragma once
// The progress bar's caption: which text it shows (TextStyle), where it stands (TextAlignment)
// and the strokes of its effect (TextEffect). Pure functions; the control draws the strokes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace meridox {

// TextStyle 1: the value as a decimal number; 2: `percent` as text with full precision (CStr,
// 15 significant digits: "50", "33.3333333333333") and "%"; 3: `text`; any other style shows no
// caption.
std::optional<std::string> CaptionText(std::int32_t textStyle, std::int32_t value, double percent,
                                       const std::string& text);

struct CaptionPoint {
  int x = 0;
  int y = 0;
  bool operator==(const CaptionPoint&) const = default;
};

// Upper-left corner of the caption of `textWidth` x `textHeight` pixels on a surface of
// `surfaceWidth` x `surfaceHeight` for TextAlignment 1 to 9 (columns left, centre, right; rows
// top, middle, bottom); any other alignment gives (0, 0). Centre is SW / 2 - TW / 2 - 1, right
// SW - TW - 3, middle SH / 2 - TH / 2 - 1, bottom SH - TH - 1, computed exactly and rounded
// half to even; left is 1 and top 0.
CaptionPoint CaptionPosition(std::int32_t textAlignment, int surfaceWidth, int surfaceHeight, int textWidth,
                             int textHeight);

// One text output of the caption: the caption drawn at (x, y) in `colour`.
struct CaptionStroke {
  int x = 0;
  int y = 0;
  std::int32_t colour = 0;
  bool operator==(const CaptionStroke&) const = default;
};

// The fixed grey of the raised and sunken effects (128, 128, 128).
inline constexpr std::int32_t kCaptionEffectGrey = 128 + 256 * 128 + 65536 * 128;

// The outputs of TextEffect 1 plain, 2 raised, 3 sunken, 4 outline and 5 shadow at `at`, in
// drawing order, with `textColour` last; none for any other effect.
std::vector<CaptionStroke> CaptionStrokes(std::int32_t textEffect, CaptionPoint at, std::int32_t textColour,
                                          std::int32_t effectColour);

}  // namespace meridox
