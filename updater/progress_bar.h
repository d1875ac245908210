#pragma once
// ProgressBar: the updater's themed progress bar control (SP_PB on the update window). It shows
// Value between Min and Max as a rounded, two-tone gradient bar with an optional caption (the
// value, a percentage or a free text), in one of ten colour themes, greyed when disabled.
//
// This is the control without its window: properties with their range rules, persistence in
// the container's property bag, and the drawing, which goes to the control's own surface and
// window shape. A host shows them (ProgressBarWidget for Qt, the SP_PB child of
// UpdateWindowWin32 on Windows) and passes resizes in.
//
// Every let stores the value after the range rules, tells the site the property changed (under
// the property's own name) and redraws the whole control; a resize redraws too. A redraw whose
// inputs (every property, the size and the palette) equal those of the last one is skipped: its
// pixels are on the surface already. A control that no host shows (no on-redrawn callback, as
// in an unattended run) draws when its pixels, shape or caption are first asked for, so a run
// that never looks at them does not load fonts. After each redraw the on-redrawn callback runs
// (the widget updates its mask and repaints from it); it may read the control but must not set
// properties. Nothing moves Value but its let.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"
#include "platform/runtime/font.h"
#include "platform/runtime/property_bag.h"
#include "platform/runtime/variant.h"
#include "updater/progress_bar_caption.h"
#include "updater/progress_bar_palette.h"

namespace meridox {

struct PropertyDescription {
  std::string_view name;
  std::string_view description;
};

class ProgressBar {
 public:
  // The colour the surface is cleared to before drawing: the button face of the container.
  static constexpr std::int32_t kSurfaceBackColour = 240 + 256 * 240 + 65536 * 240;

  // A control of width x height pixels on `site`, which must outlive it. Its properties are
  // zero, false or empty until the container calls InitProperties (a newly placed control) or
  // ReadProperties (a saved one).
  explicit ProgressBar(veltrano::ControlSite& site, int width = 0, int height = 0);
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Initial values of a freshly placed control, through the lets: Max 100, Min 0, Value 50,
  // RoundedValue 5, Enabled, Theme 1, TextForeColor black, Text "K9RV ProgressBar",
  // TextAlignment 5, TextEffect 5, TextEffectColor white, TextStyle 3, Orientations 1 and the
  // ambient font.
  void InitProperties();
  // Reads the sixteen keys in their fixed order ("Max" first, so a stored Min at or above the
  // stored Max is cut below it), each through its let; a key whose value cannot be converted is
  // skipped. Text defaults to the ambient display name, TextFont to the ambient font.
  void ReadProperties(veltrano::PropertyBag& bag);
  // Writes the sixteen keys in their fixed order, each with its default (Text's default is the
  // empty text, so an empty caption reads back as the display name).
  void WriteProperties(veltrano::PropertyBag& bag) const;
  // The container resized the control: new surface size, full redraw.
  void Resize(int width, int height);

  // Properties: the get is the name without argument, the let the name with one.
  std::int32_t Value() const { return value_; }
  void Value(std::int32_t newValue);  // clamped to at most Max, then at least Min
  std::int32_t Max() const { return max_; }
  void Max(std::int32_t newMax);  // at least 1, above Min; lowers Value to it when needed
  std::int32_t Min() const { return min_; }
  void Min(std::int32_t newMin);  // below Max, at least 0; raises Value to it when needed
  std::int32_t RoundedValue() const { return roundedValue_; }
  void RoundedValue(std::int32_t v);
  bool Enabled() const { return enabled_; }
  void Enabled(bool v);
  std::int32_t Theme() const { return theme_; }
  void Theme(std::int32_t v);
  std::int32_t TextStyle() const { return textStyle_; }
  void TextStyle(std::int32_t v);
  std::int32_t Orientations() const { return orientations_; }
  void Orientations(std::int32_t v);
  std::int32_t TextAlignment() const { return textAlignment_; }
  void TextAlignment(std::int32_t v);
  const std::string& Text() const { return text_; }
  void Text(const std::string& v);
  std::int32_t TextEffectColor() const { return textEffectColor_; }
  void TextEffectColor(std::int32_t v);
  std::int32_t TextEffect() const { return textEffect_; }
  void TextEffect(std::int32_t v);
  std::int32_t TextForeColor() const { return textForeColor_; }
  void TextForeColor(std::int32_t v);
  const veltrano::Font& TextFont() const { return textFont_; }
  void TextFont(const veltrano::Font& v);  // also the font of the drawing surface
  std::int32_t PBSCustomeColor1() const { return customColour1_; }
  void PBSCustomeColor1(std::int32_t v);
  std::int32_t PBSCustomeColor2() const { return customColour2_; }
  void PBSCustomeColor2(std::int32_t v);

  // Does nothing.
  void About() {}

  // Gradient methods on any device context (updater/progress_bar_gradient.h).
  void GradientTwoColour(std::int32_t ObjectHDC, std::int32_t Direction, std::int32_t StartColor,
                         std::int32_t EndColor, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                         std::int32_t Height);
  veltrano::Variant DrawGradientFourColour(std::int32_t ObjectHDC, std::int32_t Left, std::int32_t Top,
                                           std::int32_t Width, std::int32_t Height, std::int32_t TopLeftColour,
                                           std::int32_t TopRightColour, std::int32_t BottomLeftColour,
                                           std::int32_t BottomRightColour);

  // What the host's property browser lists beside each property (Orientations has none).
  static const std::array<PropertyDescription, 15>& PropertyDescriptions();

  // The drawing surface, its device-context handle, and the window shape of the last redraw.
  std::int32_t hDC() const { return static_cast<std::int32_t>(surface_.hdc()); }
  const veltrano::gdi::Surface& surface() const { return drawn().surface_; }
  const veltrano::gdi::Region& windowRegion() const { return drawn().windowRegion_; }
  // The palette of the last redraw as drawn (greyed when disabled).
  const Palette& drawnPalette() const { return drawn().drawnPalette_; }
  // The caption of the last redraw and where it stood; empty when none was drawn.
  const std::string& drawnCaption() const { return drawn().drawnCaption_; }
  CaptionPoint drawnCaptionAt() const { return drawn().drawnCaptionAt_; }

  void setOnRedrawn(std::function<void()> callback) { onRedrawn_ = std::move(callback); }

  // Draws everything again (what every let and resize do), unless nothing it draws from has
  // changed since the last redraw; without a host showing it, when the pixels are asked for.
  void Redraw();

 private:
  void draw();
  // This control after a put-off redraw is done: the pixels and the caption are a cache of the
  // properties, so reading them may fill it.
  const ProgressBar& drawn() const;
  // Everything a redraw draws from; two redraws from equal inputs give the same pixels.
  struct DrawInputs {
    int width = 0, height = 0;
    std::int32_t value = 0, max = 0, min = 0, roundedValue = 0;
    bool enabled = false;
    std::int32_t theme = 0, textStyle = 0, orientations = 0, textAlignment = 0;
    std::string text;
    std::int32_t textEffectColor = 0, textEffect = 0, textForeColor = 0;
    veltrano::Font textFont;
    std::int32_t customColour1 = 0, customColour2 = 0;
    Palette palette{};
    bool operator==(const DrawInputs&) const = default;
  };
  DrawInputs drawInputs() const;

  void changed(std::string_view name);
  void drawBackgroundAndBar(std::int32_t fillLength);
  void drawCaption(double percent);

  veltrano::ControlSite& site_;
  veltrano::gdi::Surface surface_;
  veltrano::gdi::Region windowRegion_;
  std::function<void()> onRedrawn_;

  std::int32_t value_ = 0;
  std::int32_t max_ = 0;
  std::int32_t min_ = 0;
  std::int32_t roundedValue_ = 0;
  bool enabled_ = false;
  std::int32_t theme_ = 0;
  std::int32_t textStyle_ = 0;
  std::int32_t orientations_ = 0;
  std::int32_t textAlignment_ = 0;
  std::string text_;
  std::int32_t textEffectColor_ = 0;
  std::int32_t textEffect_ = 0;
  std::int32_t textForeColor_ = 0;
  veltrano::Font textFont_;
  std::int32_t customColour1_ = 0;
  std::int32_t customColour2_ = 0;

  // The theme's colours, kept when Theme names no theme; the drawing greys a copy, so a
  // disabled control does not grey the kept colours again on every redraw.
  Palette palette_{};
  Palette drawnPalette_{};
  std::string drawnCaption_;
  CaptionPoint drawnCaptionAt_;
  // The inputs of the last redraw; empty before the first and after a drawing on the surface
  // from outside (the gradient methods on the control's own device context).
  std::optional<DrawInputs> drawn_;
  bool redrawPending_ = false;
};

}  // namespace meridox
