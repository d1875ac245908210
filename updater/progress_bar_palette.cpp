#include "updater/progress_bar_palette.h"

#include <algorithm>
#include <cstdlib>

#include "platform/text/vbstring.h"

namespace meridox {

namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

// The nine even entries c0, c2, ... c16 of themes 1 to 9.
constexpr std::array<std::array<std::int32_t, 9>, 9> kThemes{{
    {rgb(248, 246, 242), rgb(233, 227, 211), rgb(226, 215, 182), rgb(239, 233, 215), rgb(251, 244, 223),
     rgb(239, 213, 133), rgb(203, 166, 57), rgb(237, 224, 187), rgb(204, 168, 62)},
    {rgb(247, 248, 242), rgb(231, 233, 211), rgb(222, 226, 182), rgb(237, 239, 215), rgb(249, 251, 223),
     rgb(230, 239, 133), rgb(190, 203, 57), rgb(233, 237, 187), rgb(192, 204, 62)},
    {rgb(242, 248, 243), rgb(211, 233, 213), rgb(182, 226, 186), rgb(215, 239, 217), rgb(223, 251, 225),
     rgb(133, 239, 142), rgb(57, 203, 70), rgb(187, 237, 191), rgb(62, 204, 74)},
    {rgb(242, 248, 247), rgb(211, 233, 231), rgb(182, 226, 222), rgb(215, 239, 237), rgb(223, 251, 249),
     rgb(133, 239, 230), rgb(57, 203, 190), rgb(187, 237, 233), rgb(62, 204, 192)},
    {rgb(243, 242, 248), rgb(213, 211, 233), rgb(186, 182, 226), rgb(217, 215, 239), rgb(225, 223, 251),
     rgb(142, 133, 239), rgb(70, 57, 203), rgb(191, 187, 237), rgb(74, 62, 204)},
    {rgb(248, 242, 247), rgb(233, 211, 231), rgb(226, 182, 222), rgb(239, 215, 237), rgb(251, 223, 249),
     rgb(239, 133, 230), rgb(203, 57, 190), rgb(237, 187, 233), rgb(204, 62, 192)},
    {rgb(248, 242, 242), rgb(233, 211, 211), rgb(226, 182, 182), rgb(239, 215, 215), rgb(251, 223, 223),
     rgb(239, 133, 133), rgb(203, 57, 57), rgb(237, 187, 187), rgb(204, 62, 62)},
    {rgb(250, 253, 254), rgb(228, 243, 252), rgb(199, 230, 249), rgb(237, 247, 253), rgb(225, 247, 255),
     rgb(67, 208, 255), rgb(63, 112, 233), rgb(63, 226, 246), rgb(23, 139, 211)},
    {rgb(231, 243, 232), rgb(225, 219, 225), rgb(179, 189, 179), rgb(226, 238, 226), rgb(223, 251, 223),
     rgb(108, 255, 108), rgb(26, 228, 26), rgb(217, 244, 217), rgb(188, 184, 188)},
}};

void setEven(Palette& p, const std::array<std::int32_t, 9>& even) {
  for (std::size_t i = 0; i < even.size(); ++i) {
    p[2 * i] = even[i];
    if (2 * i + 1 < p.size()) p[2 * i + 1] = even[i];
  }
}

int limitChannel(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, 255)); }

}  // namespace

std::int32_t RedOf(std::int32_t colour) { return colour % 256; }
std::int32_t GreenOf(std::int32_t colour) { return (colour & 0xFF00) / 256; }
std::int32_t BlueOf(std::int32_t colour) { return (colour & 0xFF0000) / 65536; }

std::int32_t Grey(std::int32_t colour) {
  using veltrano::text::RoundHalfEven;
  const double r = colour % 256;
  const double g = RoundHalfEven((colour % 65536) / 256.0);
  const double b = RoundHalfEven(colour / 65536.0);
  const int v = limitChannel(static_cast<std::int64_t>(RoundHalfEven((r + g + b) / 3.0)));
  return rgb(v, v, v);
}

std::int32_t Lighten(std::int32_t colour, std::int32_t amount) {
  auto channel = [amount](std::int32_t c) {
    return limitChannel(std::llabs(static_cast<std::int64_t>(c) + amount));
  };
  return rgb(channel(RedOf(colour)), channel(GreenOf(colour)), channel(BlueOf(colour)));
}

bool FillPalette(Palette& palette, std::int32_t theme, std::int32_t custom1, std::int32_t custom2) {
  if (theme >= 1 && theme <= 9) {
    setEven(palette, kThemes[static_cast<std::size_t>(theme - 1)]);
    return true;
  }
  if (theme == kCustomTheme) {
    setEven(palette, {Lighten(custom2, 180), Lighten(custom2, 50), custom2, Lighten(custom2, 80),
                      Lighten(custom1, 180), Lighten(custom1, 50), custom1, Lighten(custom1, 80), custom1});
    return true;
  }
  return false;
}

}  // namespace meridox
