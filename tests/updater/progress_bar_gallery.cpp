#include "progress_bar_gallery.h"

#include <sstream>

#include "platform/gdi/colour.h"
#include "platform/runtime/property_bag.h"
#include "updater/progress_bar_caption.h"
#include "updater/progress_bar_palette.h"

namespace meridox::gallery {

namespace gdi = veltrano::gdi;

namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

std::string twoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

std::vector<State> makeStates() {
  std::vector<State> list;
  for (int theme = 1; theme <= 10; ++theme)
    for (bool enabled : {true, false})
      list.push_back({"theme-" + twoDigits(theme) + (enabled ? "" : "-disabled"), 300, 24, [=](ProgressBar& bar) {
                        bar.PBSCustomeColor1(rgb(220, 80, 20));
                        bar.PBSCustomeColor2(rgb(90, 60, 40));
                        bar.Theme(theme);
                        bar.Value(60);
                        bar.Text(std::string(enabled ? "테마 " : "사용 안 함 ") + std::to_string(theme));
                        bar.Enabled(enabled);
                      }});
  for (int effect = 0; effect <= 6; ++effect)
    for (bool enabled : {true, false})
      list.push_back({"effect-" + std::to_string(effect) + (enabled ? "" : "-disabled"), 300, 24, [=](ProgressBar& bar) {
                        bar.TextEffect(effect);
                        bar.TextEffectColor(effect % 2 == 0 ? rgb(255, 255, 255) : rgb(220, 0, 0));
                        bar.Text("업데이트 효과 Effect");
                        bar.Enabled(enabled);
                      }});
  for (int alignment = 0; alignment <= 10; ++alignment)
    list.push_back({"alignment-" + twoDigits(alignment), 300, 40, [=](ProgressBar& bar) {
                      bar.Theme(4);
                      bar.TextStyle(2);
                      bar.Value(45);
                      bar.TextAlignment(alignment);
                      bar.Enabled(alignment % 2 == 0);
                    }});
  for (int style = 1; style <= 3; ++style)
    list.push_back({"text-style-" + std::to_string(style), 300, 24, [=](ProgressBar& bar) {
                      bar.Theme(8);
                      bar.Max(3);
                      bar.Value(1);
                      bar.TextStyle(style);
                      bar.Text("파일 받는 중");
                    }});
  for (int rounded : {0, 5, 12, 24})
    list.push_back({"rounded-" + twoDigits(rounded), 300, 24, [=](ProgressBar& bar) {
                      bar.Theme(3);
                      bar.RoundedValue(rounded);
                      bar.TextStyle(2);
                      bar.Value(75);
                    }});
  list.push_back({"min-40-value-50", 300, 24, [](ProgressBar& bar) {
                    bar.Min(40);
                    bar.Value(50);
                    bar.TextStyle(2);
                  }});
  const int themes[] = {1, 5, 9, 10};
  const int values[] = {0, 25, 50, 100};
  for (int i = 0; i < 4; ++i)
    list.push_back({"vertical-theme-" + twoDigits(themes[i]) + "-value-" + std::to_string(values[i]), 40, 160,
                    [theme = themes[i], value = values[i]](ProgressBar& bar) {
                      bar.Orientations(2);
                      bar.Theme(theme);
                      bar.PBSCustomeColor1(rgb(20, 120, 220));
                      bar.PBSCustomeColor2(rgb(200, 200, 200));
                      bar.Value(value);
                      bar.TextStyle(1);
                      bar.TextAlignment(4);
                    }});
  // The gradient methods on the control's own device context, over its caption-less drawing.
  list.push_back({"gradient-two-colour", 300, 60, [](ProgressBar& bar) {
                    bar.TextStyle(0);
                    bar.GradientTwoColour(bar.hDC(), 0, rgb(255, 0, 0), rgb(0, 0, 255), 0, 0, 300, 30);
                    bar.GradientTwoColour(bar.hDC(), 1, rgb(0, 160, 0), rgb(255, 255, 0), 10, 30, 290, 60);
                  }});
  list.push_back({"gradient-four-colour", 300, 60, [](ProgressBar& bar) {
                    bar.TextStyle(0);
                    bar.DrawGradientFourColour(bar.hDC(), 0, 0, 300, 60, rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255),
                                               rgb(255, 255, 255));
                  }});
  return list;
}

Picture pictureOf(const ProgressBar& bar) {
  const gdi::Surface& s = bar.surface();
  const gdi::Region& shape = bar.windowRegion();
  Picture p{s.width(), s.height(), {}};
  p.pixels.reserve(static_cast<std::size_t>(s.width()) * static_cast<std::size_t>(s.height()));
  for (int y = 0; y < s.height(); ++y)
    for (int x = 0; x < s.width(); ++x) {
      const gdi::ColorRef c = s.pixel(x, y);
      p.pixels.push_back(shape.contains(x, y) ? (static_cast<std::uint32_t>(gdi::GetRValue(c)) << 16) |
                                                    (static_cast<std::uint32_t>(gdi::GetGValue(c)) << 8) |
                                                    static_cast<std::uint32_t>(gdi::GetBValue(c))
                                              : kOutsideShape);
    }
  return p;
}

std::uint32_t pixelOf(std::int32_t colour) {
  const gdi::ColorRef c = gdi::colourFromLong(colour);
  return (static_cast<std::uint32_t>(gdi::GetRValue(c)) << 16) | (static_cast<std::uint32_t>(gdi::GetGValue(c)) << 8) |
         static_cast<std::uint32_t>(gdi::GetBValue(c));
}

}  // namespace

const std::vector<State>& states() {
  static const std::vector<State> list = makeStates();
  return list;
}

Drawing draw(const State& state) {
  veltrano::RecordingSite site("SP_PB");
  ProgressBar bar(site, state.width, state.height);
  bar.setOnRedrawn([] {});  // drawn at once, as a shown control is
  bar.InitProperties();
  state.setUp(bar);
  Drawing d;
  d.picture = pictureOf(bar);
  if (bar.drawnCaption().empty()) return d;

  const gdi::TextExtent extent = bar.surface().textExtent(bar.drawnCaption());
  d.caption = CaptionBox{bar.drawnCaptionAt().x, bar.drawnCaptionAt().y, extent.width, extent.height};
  std::int32_t fore = bar.TextForeColor(), effect = bar.TextEffectColor();
  if (!bar.Enabled()) {
    fore = Grey(fore);
    effect = Grey(effect);
  }
  for (const CaptionStroke& s : CaptionStrokes(bar.TextEffect(), bar.drawnCaptionAt(), fore, effect))
    d.captionColours.push_back(pixelOf(s.colour));
  bar.TextStyle(0);
  d.withoutCaption = pictureOf(bar);
  return d;
}

std::string captionLine(const std::string& name, const std::optional<CaptionBox>& caption) {
  if (!caption) return name + " -";
  return name + " " + std::to_string(caption->x) + " " + std::to_string(caption->y) + " " +
         std::to_string(caption->width) + " " + std::to_string(caption->height);
}

std::optional<std::optional<CaptionBox>> findCaption(const std::string& manifest, const std::string& name) {
  std::istringstream lines(manifest);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string first;
    if (!(fields >> first) || first != name) continue;
    CaptionBox box;
    if (fields >> box.x >> box.y >> box.width >> box.height) return std::optional<CaptionBox>(box);
    return std::optional<CaptionBox>();
  }
  return std::nullopt;
}

}  // namespace meridox::gallery
