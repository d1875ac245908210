#include "updater/progress_bar.h"

#include <exception>

#include "platform/gdi/colour.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "updater/progress_bar_gradient.h"

namespace meridox {

namespace gdi = veltrano::gdi;
using veltrano::Font;
using veltrano::PropertyBag;
using veltrano::Variant;

namespace {

// Stored defaults of the keys whose initial value differs from what they are read back as.
constexpr std::int32_t kStoredTextEffectColor = 200 + 256 * 200 + 65536 * 200;  // C8C8C8
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr const char* kInitialText = "K9RV ProgressBar";

// Runs one step of the redraw; a step that fails is skipped and the next one runs.
template <typename F>
void step(F&& f) {
  try {
    f();
  } catch (const veltrano::RuntimeError&) {
  } catch (const std::exception&) {
  }
}

// Runs one key of ReadProperties; a value that cannot be converted skips the key.
template <typename F>
void readKey(F&& f) {
  try {
    f();
  } catch (const veltrano::RuntimeError&) {
  }
}

}  // namespace

ProgressBar::ProgressBar(veltrano::ControlSite& site, int width, int height)
    : site_(site), surface_(width, height, gdi::colourFromLong(kSurfaceBackColour)) {}

const std::array<PropertyDescription, 15>& ProgressBar::PropertyDescriptions() {
  static const std::array<PropertyDescription, 15> descriptions{{
      {"Value", "Progressbar Value."},
      {"Max", "Progressbar Max Value."},
      {"Min", "Progressbar Min Value."},
      {"RoundedValue", "Progressbar Rounded Corner Value."},
      {"Enabled", "Progressbar Enabled/Disabled."},
      {"Theme", "Progressbar Styles."},
      {"TextStyle", "Progressbar Text Style."},
      {"TextAlignment", "Progressbar Text Alignment."},
      {"Text", "Progressbar Text."},
      {"TextEffectColor", "Progressbar Text Effect Color."},
      {"TextEffect", "Progressbar Text Effect."},
      {"TextForeColor", "Progressbar Text Color."},
      {"TextFont", "Progressbar Text Font."},
      {"PBSCustomeColor1", "Progressbar Style Custome Color 1."},
      {"PBSCustomeColor2", "Progressbar Style Custome Color 2."},
  }};
  return descriptions;
}

// ---- container events ----------------------------------------------------------------------

void ProgressBar::InitProperties() {
  Max(100);
  Min(0);
  Value(50);
  RoundedValue(5);
  Enabled(true);
  Theme(1);
  TextForeColor(0);
  Text(kInitialText);
  TextAlignment(5);
  TextEffect(5);
  TextEffectColor(kWhite);
  TextStyle(3);
  Orientations(1);
  TextFont(site_.ambientFont());
}

void ProgressBar::ReadProperties(PropertyBag& bag) {
  auto readLong = [&bag](std::string_view key, std::int32_t def) {
    return bag.ReadProperty(key, Variant(def)).toInt32();
  };
  readKey([&] { Max(readLong("Max", 100)); });
  readKey([&] { Min(readLong("Min", 0)); });
  readKey([&] { Value(readLong("Value", 50)); });
  readKey([&] { RoundedValue(readLong("RoundedValue", 5)); });
  readKey([&] { Enabled(bag.ReadProperty("Enabled", Variant(true)).toBool()); });
  readKey([&] { Theme(readLong("Theme", 1)); });
  readKey([&] { TextStyle(readLong("TextStyle", 1)); });
  readKey([&] { Orientations(readLong("Orientations", 1)); });
  readKey([&] { Text(bag.ReadProperty("Text", Variant(site_.ambientDisplayName())).toString()); });
  readKey([&] { TextEffectColor(readLong("TextEffectColor", kStoredTextEffectColor)); });
  readKey([&] { TextEffect(readLong("TextEffect", 1)); });
  readKey([&] { TextAlignment(readLong("TextAlignment", 5)); });
  readKey([&] {
    const Font ambient = site_.ambientFont();
    const Variant stored = bag.ReadProperty("TextFont", Variant(veltrano::fontToText(ambient)));
    // A font text that cannot be read leaves the font as it is.
    TextFont(veltrano::fontFromText(stored.toString(), textFont_));
  });
  readKey([&] { TextForeColor(readLong("TextForeColor", 0)); });
  readKey([&] { PBSCustomeColor2(readLong("PBSCustomeColor2", 0)); });
  readKey([&] { PBSCustomeColor1(readLong("PBSCustomeColor1", 0)); });
}

void ProgressBar::WriteProperties(PropertyBag& bag) const {
  auto writeLong = [&bag](std::string_view key, std::int32_t v, std::int32_t def) {
    bag.WriteProperty(key, Variant(v), Variant(def));
  };
  writeLong("Orientations", orientations_, 1);
  writeLong("Max", max_, 100);
  writeLong("Min", min_, 0);
  writeLong("Value", value_, 50);
  writeLong("RoundedValue", roundedValue_, 5);
  bag.WriteProperty("Enabled", Variant(enabled_), Variant(true));
  writeLong("Theme", theme_, 1);
  writeLong("TextStyle", textStyle_, 1);
  bag.WriteProperty("TextFont", Variant(veltrano::fontToText(textFont_)),
                    Variant(veltrano::fontToText(site_.ambientFont())));
  writeLong("TextForeColor", textForeColor_, 0);
  writeLong("TextAlignment", textAlignment_, 5);
  bag.WriteProperty("Text", Variant(text_), Variant(std::string()));
  writeLong("TextEffectColor", textEffectColor_, kStoredTextEffectColor);
  writeLong("TextEffect", textEffect_, 1);
  writeLong("PBSCustomeColor2", customColour2_, 0);
  writeLong("PBSCustomeColor1", customColour1_, 0);
}

void ProgressBar::Resize(int width, int height) {
  surface_.resize(width, height);
  Redraw();
}

// ---- properties ----------------------------------------------------------------------------

void ProgressBar::changed(std::string_view name) {
  site_.propertyChanged(name);
  Redraw();
}

void ProgressBar::Value(std::int32_t newValue) {
  if (newValue > max_) newValue = max_;
  if (newValue < min_) newValue = min_;
  value_ = newValue;
  changed("Value");
}

void ProgressBar::Max(std::int32_t newMax) {
  if (newMax < 1) newMax = 1;
  if (min_ >= newMax) newMax = min_ + 1;  // Min stays below Max, so this cannot overflow
  max_ = newMax;
  if (value_ > max_) Value(max_);
  changed("Max");
}

void ProgressBar::Min(std::int32_t newMin) {
  if (newMin >= max_) newMin = max_ - 1;
  if (newMin < 0) newMin = 0;
  min_ = newMin;
  if (value_ < min_) Value(min_);
  changed("Min");
}

void ProgressBar::RoundedValue(std::int32_t v) {
  roundedValue_ = v;
  changed("RoundedValue");
}
void ProgressBar::Enabled(bool v) {
  enabled_ = v;
  changed("Enabled");
}
void ProgressBar::Theme(std::int32_t v) {
  theme_ = v;
  changed("Theme");
}
void ProgressBar::TextStyle(std::int32_t v) {
  textStyle_ = v;
  changed("TextStyle");
}
void ProgressBar::Orientations(std::int32_t v) {
  orientations_ = v;
  changed("Orientations");
}
void ProgressBar::TextAlignment(std::int32_t v) {
  textAlignment_ = v;
  changed("TextAlignment");
}
void ProgressBar::Text(const std::string& v) {
  text_ = v;
  changed("Text");
}
void ProgressBar::TextEffectColor(std::int32_t v) {
  textEffectColor_ = v;
  changed("TextEffectColor");
}
void ProgressBar::TextEffect(std::int32_t v) {
  textEffect_ = v;
  changed("TextEffect");
}
void ProgressBar::TextForeColor(std::int32_t v) {
  textForeColor_ = v;
  changed("TextForeColor");
}
void ProgressBar::TextFont(const Font& v) {
  textFont_ = v;
  surface_.setFont(v);
  changed("TextFont");
}
void ProgressBar::PBSCustomeColor1(std::int32_t v) {
  customColour1_ = v;
  changed("PBSCustomeColor1");
}
void ProgressBar::PBSCustomeColor2(std::int32_t v) {
  customColour2_ = v;
  changed("PBSCustomeColor2");
}

// ---- gradient methods ----------------------------------------------------------------------

void ProgressBar::GradientTwoColour(std::int32_t ObjectHDC, std::int32_t Direction, std::int32_t StartColor,
                                    std::int32_t EndColor, std::int32_t Left, std::int32_t Top, std::int32_t Width,
                                    std::int32_t Height) {
  if (ObjectHDC == hDC()) {
    drawn();  // what the properties show lies under what is drawn now
    drawn_.reset();
  }
  meridox::GradientTwoColour(ObjectHDC, Direction, StartColor, EndColor, Left, Top, Width, Height);
}

Variant ProgressBar::DrawGradientFourColour(std::int32_t ObjectHDC, std::int32_t Left, std::int32_t Top,
                                            std::int32_t Width, std::int32_t Height, std::int32_t TopLeftColour,
                                            std::int32_t TopRightColour, std::int32_t BottomLeftColour,
                                            std::int32_t BottomRightColour) {
  if (ObjectHDC == hDC()) {
    drawn();
    drawn_.reset();
  }
  meridox::DrawGradientFourColour(ObjectHDC, Left, Top, Width, Height, TopLeftColour, TopRightColour,
                                  BottomLeftColour, BottomRightColour);
  return Variant();
}

// ---- drawing -------------------------------------------------------------------------------

ProgressBar::DrawInputs ProgressBar::drawInputs() const {
  return {surface_.width(), surface_.height(), value_, max_, min_, roundedValue_, enabled_, theme_, textStyle_,
          orientations_, textAlignment_, text_, textEffectColor_, textEffect_, textForeColor_, textFont_,
          customColour1_, customColour2_, palette_};
}

void ProgressBar::Redraw() {
  if (onRedrawn_) draw();
  else redrawPending_ = true;
}

const ProgressBar& ProgressBar::drawn() const {
  if (redrawPending_) const_cast<ProgressBar*>(this)->draw();
  return *this;
}

void ProgressBar::draw() {
  redrawPending_ = false;
  if (drawn_ == drawInputs()) return;
  const int sw = surface_.width();
  const int sh = surface_.height();

  // 1. Window shape.
  step([&] { windowRegion_ = gdi::Region::roundRect(0, 0, sw, sh, roundedValue_, roundedValue_); });

  // 2. Percentage of Max (Min plays no part) and the bar's length in pixels.
  double percent = 0;
  std::int32_t fillLength = 0;
  step([&] {
    if (max_ == 0) throw veltrano::RuntimeError(veltrano::err::kDivisionByZero, "ProgressBar");
    percent = 100.0 * value_ / max_;
    const int extent = orientations_ == 2 ? sh : sw;
    fillLength = veltrano::text::CLng(extent * percent / 100.0);
  });

  // 3. and 4. Palette of the theme, greyed when disabled.
  step([&] { FillPalette(palette_, theme_, customColour1_, customColour2_); });
  drawnPalette_ = palette_;
  step([&] {
    if (!enabled_)
      for (std::int32_t& c : drawnPalette_) c = Grey(c);
  });

  // 5. Clear.
  step([&] { surface_.clear(); });

  // 6. Background and bar.
  drawBackgroundAndBar(fillLength);

  // 7. Outline, hollow.
  step([&] {
    surface_.setForeColor(gdi::colourFromLong(drawnPalette_[16]));
    surface_.roundRect(0, 0, sw - 1, sh - 1, roundedValue_, roundedValue_);
  });

  // 8. Caption.
  drawnCaption_.clear();
  drawnCaptionAt_ = {};
  step([&] { drawCaption(percent); });

  drawn_ = drawInputs();  // after the palette was filled, so that an unchanged control compares equal
  if (onRedrawn_) onRedrawn_();
}

void ProgressBar::drawBackgroundAndBar(std::int32_t f) {
  const std::int32_t sw = surface_.width();
  const std::int32_t sh = surface_.height();
  const std::int32_t hdc = hDC();
  const Palette& c = drawnPalette_;
  if (orientations_ == 1) {
    const auto h2 = static_cast<std::int32_t>(veltrano::text::RoundHalfEven(sh / 2.0));
    step([&] { meridox::GradientTwoColour(hdc, 1, c[0], c[2], 0, 0, sw, h2); });
    step([&] { meridox::GradientTwoColour(hdc, 1, c[4], c[6], 0, h2, sw, sh); });
    if (value_ >= 1) {
      step([&] { meridox::GradientTwoColour(hdc, 1, c[8], c[10], 0, 0, f, h2); });
      step([&] { meridox::GradientTwoColour(hdc, 1, c[12], c[14], 0, h2, f, sh); });
    }
  } else if (orientations_ == 2) {
    const auto w2 = static_cast<std::int32_t>(veltrano::text::RoundHalfEven(sw / 2.0));
    step([&] { meridox::GradientTwoColour(hdc, 0, c[0], c[2], 0, 0, w2, sh); });
    step([&] { meridox::GradientTwoColour(hdc, 0, c[4], c[6], w2, 0, sw, sh); });
    if (value_ >= 1) {
      step([&] { meridox::GradientTwoColour(hdc, 0, c[8], c[10], 0, 0, w2, f); });
      step([&] { meridox::GradientTwoColour(hdc, 0, c[12], c[14], w2, 0, sw, f); });
    }
  }
}

void ProgressBar::drawCaption(double percent) {
  const auto caption = CaptionText(textStyle_, value_, percent, text_);
  if (!caption) return;
  std::int32_t fore = textForeColor_;
  std::int32_t effect = textEffectColor_;
  if (!enabled_) {
    fore = Grey(fore);
    effect = Grey(effect);
  }
  const gdi::TextExtent extent = surface_.textExtent(*caption);
  const CaptionPoint at = CaptionPosition(textAlignment_, surface_.width(), surface_.height(), extent.width, extent.height);
  const auto strokes = CaptionStrokes(textEffect_, at, fore, effect);
  if (strokes.empty()) return;
  for (const CaptionStroke& s : strokes) {
    step([&] {
      surface_.setTextColor(gdi::colourFromLong(s.colour));
      surface_.textOut(s.x, s.y, *caption);
    });
  }
  drawnCaption_ = *caption;
  drawnCaptionAt_ = at;
}

}  // namespace meridox
