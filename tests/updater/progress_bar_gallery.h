#pragma once
// The progress bar's gallery: one drawing of every theme (enabled and disabled), caption
// effect, alignment and style, corner size, both orientations and the two gradient methods,
// as the pbgallery tool shows them. Both surfaces draw each state; the Linux test keeps the
// drawings as reference pictures under data/progress_bar_gallery, the Windows test compares
// the GDI drawings with them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "updater/progress_bar.h"

namespace meridox::gallery {

struct State {
  std::string name;  // also the picture's file name, without ".png"
  int width = 300;
  int height = 24;
  // Sets the control's properties after InitProperties; may draw on the control's own
  // device context through the gradient methods.
  std::function<void(ProgressBar&)> setUp;
};

const std::vector<State>& states();

// Pixels 0x00RRGGBB, rows top first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
  bool operator==(const Picture&) const = default;
};

// Where the caption stood: the upper-left corner given to the text output and the text's extent.
struct CaptionBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const CaptionBox&) const = default;
};

// Pixels outside the control's window shape, where nothing of it shows.
inline constexpr std::uint32_t kOutsideShape = 0xFF00FF;

struct Drawing {
  Picture picture;                    // the surface inside the window shape
  std::optional<CaptionBox> caption;  // none when no caption was drawn
  std::vector<std::uint32_t> captionColours;  // the colours of the caption's strokes
  Picture withoutCaption;             // the same state with TextStyle 0 (only when a caption was drawn)
};

Drawing draw(const State& state);

// The manifest line of a drawing's caption: "NAME X Y WIDTH HEIGHT" or "NAME -".
std::string captionLine(const std::string& name, const std::optional<CaptionBox>& caption);
// The caption of `name` in the manifest text; nullopt (outer) when the name is missing.
std::optional<std::optional<CaptionBox>> findCaption(const std::string& manifest, const std::string& name);

}  // namespace meridox::gallery
