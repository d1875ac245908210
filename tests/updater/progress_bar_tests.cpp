// The progress bar control: range rules, change notices, persistence, palettes and the grey
// and lighten functions, and the drawing checked pixel by pixel on its surface. Expected
// gradient pixels are computed by hand with v = a + floor((b - a) x t / n) per channel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/gdi/colour.h"
#include "platform/gdi/qt_bridge.h"
#include "platform/runtime/error.h"
#include "updater/progress_bar.h"
#include "updater/progress_bar_caption.h"
#include "updater/progress_bar_gradient.h"
#include "updater/progress_bar_palette.h"
#include "updater/progress_bar_widget.h"

namespace meridox {
namespace {

namespace gdi = veltrano::gdi;
using veltrano::Font;
using veltrano::PropertyBag;
using veltrano::RecordingSite;
using veltrano::RuntimeError;
using veltrano::Variant;

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }
gdi::ColorRef colour(int r, int g, int b) { return gdi::RGB(r, g, b); }

// A control on its own recording site, with a count of its full redraws.
struct Bar {
  explicit Bar(int w = 200, int h = 24, std::string name = "SP_PB") : site(std::move(name)), pb(site, w, h) {
    pb.setOnRedrawn([this] { ++redraws; });
  }
  RecordingSite site;
  ProgressBar pb;
  int redraws = 0;
};

// A new control with no caption and square corners, so bar pixels can be read anywhere.
struct PlainBar : Bar {
  PlainBar(int w = 200, int h = 24) : Bar(w, h) {
    pb.InitProperties();
    pb.TextStyle(0);
    pb.RoundedValue(0);
  }
};

// ---- range rules and notices ---------------------------------------------------------------

TEST(ProgressBarProperties, InitialValuesAreSetThroughTheLetsInOrder) {
  Font ambient;
  ambient.name = "돋움";
  ambient.size = 10;
  RecordingSite site("SP_PB", ambient);
  ProgressBar pb(site, 100, 20);
  pb.InitProperties();
  EXPECT_EQ(pb.Max(), 100);
  EXPECT_EQ(pb.Min(), 0);
  EXPECT_EQ(pb.Value(), 50);
  EXPECT_EQ(pb.RoundedValue(), 5);
  EXPECT_TRUE(pb.Enabled());
  EXPECT_EQ(pb.Theme(), 1);
  EXPECT_EQ(pb.TextForeColor(), 0);
  EXPECT_EQ(pb.Text(), "K9RV ProgressBar");
  EXPECT_EQ(pb.TextAlignment(), 5);
  EXPECT_EQ(pb.TextEffect(), 5);
  EXPECT_EQ(pb.TextEffectColor(), 16777215);
  EXPECT_EQ(pb.TextStyle(), 3);
  EXPECT_EQ(pb.Orientations(), 1);
  EXPECT_EQ(pb.TextFont(), ambient);
  EXPECT_EQ(pb.surface().font(), ambient);
  EXPECT_EQ(pb.PBSCustomeColor1(), 0);
  EXPECT_EQ(pb.PBSCustomeColor2(), 0);
  EXPECT_EQ(site.changes(), (std::vector<std::string>{"Max", "Min", "Value", "RoundedValue", "Enabled", "Theme",
                                                      "TextForeColor", "Text", "TextAlignment", "TextEffect",
                                                      "TextEffectColor", "TextStyle", "Orientations", "TextFont"}));
}

TEST(ProgressBarProperties, MaxIsAtLeastOneAndAboveMin) {
  Bar b;
  b.pb.InitProperties();
  b.pb.Max(0);
  EXPECT_EQ(b.pb.Max(), 1);
  b.pb.Max(-40);
  EXPECT_EQ(b.pb.Max(), 1);
  b.pb.Max(100);
  b.pb.Min(20);
  b.pb.Max(10);
  EXPECT_EQ(b.pb.Max(), 21);
  b.pb.Max(20);  // equal to Min is not above it
  EXPECT_EQ(b.pb.Max(), 21);
  b.pb.Max(2147483647);
  EXPECT_EQ(b.pb.Max(), 2147483647);
}

TEST(ProgressBarProperties, MinIsBelowMaxAndNotNegative) {
  Bar b;
  b.pb.InitProperties();
  b.pb.Min(-5);
  EXPECT_EQ(b.pb.Min(), 0);
  b.pb.Min(100);
  EXPECT_EQ(b.pb.Min(), 99);
  b.pb.Min(500);
  EXPECT_EQ(b.pb.Min(), 99);
  b.pb.Max(1);  // Min 99 is at or above 1, so Max becomes 100
  EXPECT_EQ(b.pb.Max(), 100);
  b.pb.Min(0);
  b.pb.Max(1);
  b.pb.Min(1);  // Max - 1 = 0
  EXPECT_EQ(b.pb.Min(), 0);
}

TEST(ProgressBarProperties, ValueIsClampedToMaxThenMin) {
  Bar b;
  b.pb.InitProperties();
  b.pb.Value(500);
  EXPECT_EQ(b.pb.Value(), 100);
  b.pb.Value(-1);
  EXPECT_EQ(b.pb.Value(), 0);
  b.pb.Min(40);
  b.pb.Value(10);
  EXPECT_EQ(b.pb.Value(), 40);
  b.pb.Value(77);
  EXPECT_EQ(b.pb.Value(), 77);
}

TEST(ProgressBarProperties, MovingAnEndDragsValueThroughItsLet) {
  Bar b;
  b.pb.InitProperties();
  b.pb.Value(80);
  b.site.clear();
  b.pb.Max(60);
  EXPECT_EQ(b.pb.Value(), 60);
  EXPECT_EQ(b.site.changes(), (std::vector<std::string>{"Value", "Max"}));
  b.site.clear();
  b.pb.Min(30);  // Value 60 stays
  EXPECT_EQ(b.site.changes(), (std::vector<std::string>{"Min"}));
  b.pb.Value(35);
  b.site.clear();
  b.pb.Min(50);
  EXPECT_EQ(b.pb.Value(), 50);
  EXPECT_EQ(b.site.changes(), (std::vector<std::string>{"Value", "Min"}));
}

TEST(ProgressBarProperties, EveryLetNotifiesUnderItsNameAndRedrawsEvenForOddValues) {
  Bar b;
  b.pb.InitProperties();
  const std::vector<std::pair<std::string, std::function<void()>>> lets{
      {"RoundedValue", [&] { b.pb.RoundedValue(-5); }},     {"Enabled", [&] { b.pb.Enabled(false); }},
      {"Theme", [&] { b.pb.Theme(99); }},                   {"TextStyle", [&] { b.pb.TextStyle(-2); }},
      {"Orientations", [&] { b.pb.Orientations(7); }},      {"TextAlignment", [&] { b.pb.TextAlignment(12); }},
      {"Text", [&] { b.pb.Text("설치 중"); }},              {"TextEffectColor", [&] { b.pb.TextEffectColor(-1); }},
      {"TextEffect", [&] { b.pb.TextEffect(0); }},          {"TextForeColor", [&] { b.pb.TextForeColor(rgb(1, 2, 3)); }},
      {"TextFont", [&] { b.pb.TextFont(Font{"Verdana", 8}); }}, {"PBSCustomeColor1", [&] { b.pb.PBSCustomeColor1(255); }},
      {"PBSCustomeColor2", [&] { b.pb.PBSCustomeColor2(65280); }}, {"Value", [&] { b.pb.Value(51); }},
  };
  for (const auto& [name, let] : lets) {
    b.site.clear();
    const int before = b.redraws;
    let();
    EXPECT_EQ(b.site.changes(), std::vector<std::string>{name});
    EXPECT_EQ(b.redraws, before + 1) << name;
  }
  // Stored as given.
  EXPECT_EQ(b.pb.RoundedValue(), -5);
  EXPECT_EQ(b.pb.Theme(), 99);
  EXPECT_EQ(b.pb.TextAlignment(), 12);
  EXPECT_EQ(b.pb.TextEffectColor(), -1);
  EXPECT_EQ(b.pb.Text(), "설치 중");
  EXPECT_EQ(b.pb.TextFont().name, "Verdana");
}

// A let that changes nothing drawn still notifies, but its redraw is skipped: the download
// handlers set TextStyle on every chunk. Drawing on the control's own device context from
// outside makes the next redraw real again.
TEST(ProgressBarProperties, ARedrawThatWouldGiveTheSamePixelsIsSkipped) {
  Bar b;
  b.pb.InitProperties();
  b.pb.TextStyle(2);
  const auto before = b.pb.surface().pixel(100, 12);
  const int redraws = b.redraws;
  b.site.clear();
  b.pb.TextStyle(2);
  b.pb.Value(b.pb.Value());
  EXPECT_EQ(b.site.changes(), (std::vector<std::string>{"TextStyle", "Value"}));
  EXPECT_EQ(b.redraws, redraws);
  b.pb.GradientTwoColour(b.pb.hDC(), 1, rgb(0, 0, 0), rgb(0, 0, 0), 0, 0, 200, 24);
  EXPECT_NE(b.pb.surface().pixel(100, 12), before);
  b.pb.TextStyle(2);
  EXPECT_EQ(b.redraws, redraws + 1);
  EXPECT_EQ(b.pb.surface().pixel(100, 12), before);
}

TEST(ProgressBarProperties, ResizeRedrawsAtTheNewSize) {
  Bar b;
  b.pb.InitProperties();
  const int before = b.redraws;
  b.pb.Resize(120, 30);
  EXPECT_EQ(b.redraws, before + 1);
  EXPECT_EQ(b.pb.surface().width(), 120);
  EXPECT_EQ(b.pb.surface().height(), 30);
  // The window shape, as the platform cuts it, ends with the outline one pixel short.
  EXPECT_TRUE(b.pb.windowRegion().contains(118, 15));
  EXPECT_FALSE(b.pb.windowRegion().contains(119, 15));
  EXPECT_EQ(b.site.changes().size(), 14u);  // a resize is no property change
}

TEST(ProgressBarProperties, DescriptionsForTheBrowserAndAboutChangesNothing) {
  const auto& d = ProgressBar::PropertyDescriptions();
  std::set<std::string_view> names;
  for (const auto& p : d) names.insert(p.name);
  EXPECT_EQ(names.size(), d.size());
  EXPECT_EQ(names.count("Orientations"), 0u);
  EXPECT_EQ(d.front().name, "Value");
  EXPECT_EQ(d.front().description, "Progressbar Value.");
  EXPECT_EQ(d[4].description, "Progressbar Enabled/Disabled.");
  EXPECT_EQ(d.back().description, "Progressbar Style Custome Color 2.");

  Bar b;
  b.pb.InitProperties();
  const QImage before = gdi::qImage(b.pb.surface()).copy();
  const auto changes = b.site.changes();
  const int redraws = b.redraws;
  b.pb.About();
  EXPECT_EQ(gdi::qImage(b.pb.surface()), before);
  EXPECT_EQ(b.site.changes(), changes);
  EXPECT_EQ(b.redraws, redraws);
}

// ---- persistence ---------------------------------------------------------------------------

const std::vector<std::string> kReadOrder{"Max", "Min", "Value", "RoundedValue", "Enabled", "Theme",
                                          "TextStyle", "Orientations", "Text", "TextEffectColor", "TextEffect",
                                          "TextAlignment", "TextFont", "TextForeColor", "PBSCustomeColor2",
                                          "PBSCustomeColor1"};
const std::vector<std::string> kWriteOrder{"Orientations", "Max", "Min", "Value", "RoundedValue", "Enabled",
                                           "Theme", "TextStyle", "TextFont", "TextForeColor", "TextAlignment",
                                           "Text", "TextEffectColor", "TextEffect", "PBSCustomeColor2",
                                           "PBSCustomeColor1"};

std::vector<std::string> names(const PropertyBag& bag, PropertyBag::Access::Kind kind) {
  std::vector<std::string> out;
  for (const auto& a : bag.log())
    if (a.kind == kind) out.push_back(a.name);
  return out;
}

TEST(ProgressBarPersistence, EmptyBagReadsTheStoredDefaultsInOrder) {
  Font ambient;
  ambient.name = "굴림체";
  RecordingSite site("SP_PB", ambient);
  ProgressBar pb(site, 200, 24);
  PropertyBag bag;
  pb.ReadProperties(bag);
  EXPECT_EQ(names(bag, PropertyBag::Access::Read), kReadOrder);
  EXPECT_EQ(pb.Max(), 100);
  EXPECT_EQ(pb.Min(), 0);
  EXPECT_EQ(pb.Value(), 50);
  EXPECT_EQ(pb.RoundedValue(), 5);
  EXPECT_TRUE(pb.Enabled());
  EXPECT_EQ(pb.Theme(), 1);
  EXPECT_EQ(pb.TextStyle(), 1);
  EXPECT_EQ(pb.Orientations(), 1);
  EXPECT_EQ(pb.Text(), "SP_PB");
  EXPECT_EQ(pb.TextEffectColor(), rgb(200, 200, 200));
  EXPECT_EQ(pb.TextEffect(), 1);
  EXPECT_EQ(pb.TextAlignment(), 5);
  EXPECT_EQ(pb.TextFont(), ambient);
  EXPECT_EQ(pb.TextForeColor(), 0);
}

TEST(ProgressBarPersistence, MaxIsReadBeforeMinSoAStoredMinAboveItIsCut) {
  Bar b;
  PropertyBag bag;
  bag.set("Min", Variant(std::int32_t{150}));
  bag.set("Max", Variant(std::int32_t{100}));
  b.pb.ReadProperties(bag);
  EXPECT_EQ(b.pb.Max(), 100);
  EXPECT_EQ(b.pb.Min(), 99);
  EXPECT_EQ(b.pb.Value(), 99);  // the default 50 is raised to Min
}

TEST(ProgressBarPersistence, AKeyThatCannotBeConvertedIsSkipped) {
  Bar b;
  b.pb.InitProperties();
  PropertyBag bag;
  bag.set("Theme", Variant("purple"));
  bag.set("Enabled", Variant("maybe"));
  bag.set("TextStyle", Variant(std::int32_t{2}));
  bag.set("Value", Variant(2.5));  // CLng rounds half to even
  bag.set("TextFont", Variant("no size"));
  b.pb.ReadProperties(bag);
  EXPECT_EQ(b.pb.Theme(), 1);      // kept
  EXPECT_TRUE(b.pb.Enabled());     // kept
  EXPECT_EQ(b.pb.TextStyle(), 2);  // the next keys are still read
  EXPECT_EQ(b.pb.Value(), 2);
  EXPECT_EQ(b.pb.TextFont(), Font{});  // an unreadable font text keeps the font
  EXPECT_EQ(b.pb.PBSCustomeColor1(), 0);
}

TEST(ProgressBarPersistence, WritesInOrderAndStoresOnlyWhatDiffersFromTheDefaults) {
  Bar b;
  b.pb.InitProperties();
  PropertyBag bag;
  b.pb.WriteProperties(bag);
  EXPECT_EQ(names(bag, PropertyBag::Access::Write), kWriteOrder);
  // The initial TextStyle, TextEffect, TextEffectColor and Text differ from their stored
  // defaults; everything else equals its default.
  std::set<std::string> stored;
  for (const auto& [k, v] : bag.values()) stored.insert(k);
  EXPECT_EQ(stored, (std::set<std::string>{"TextStyle", "TextEffect", "TextEffectColor", "Text"}));
  EXPECT_EQ(bag.values().at("TextStyle"), Variant(std::int32_t{3}));
  EXPECT_EQ(bag.values().at("TextEffectColor"), Variant(std::int32_t{16777215}));
  EXPECT_EQ(bag.values().at("Text"), Variant("K9RV ProgressBar"));
}

TEST(ProgressBarPersistence, WriteAndReadRoundTripThroughTheBagText) {
  Bar a(200, 24, "SP_PB");
  a.pb.InitProperties();
  a.pb.Max(250);
  a.pb.Min(20);
  a.pb.Value(130);
  a.pb.RoundedValue(0);
  a.pb.Enabled(false);
  a.pb.Theme(10);
  a.pb.TextStyle(2);
  a.pb.Orientations(2);
  a.pb.Text("다운로드");
  a.pb.TextEffectColor(rgb(1, 2, 3));
  a.pb.TextEffect(4);
  a.pb.TextAlignment(9);
  a.pb.TextFont(Font{"Verdana", 12, true, true});
  a.pb.TextForeColor(rgb(9, 8, 7));
  a.pb.PBSCustomeColor1(rgb(10, 20, 30));
  a.pb.PBSCustomeColor2(rgb(40, 50, 60));
  PropertyBag bag;
  a.pb.WriteProperties(bag);
  PropertyBag loaded = PropertyBag::fromText(bag.toText());

  Bar b(200, 24, "SP_PB");
  b.pb.ReadProperties(loaded);
  EXPECT_EQ(b.pb.Max(), 250);
  EXPECT_EQ(b.pb.Min(), 20);
  EXPECT_EQ(b.pb.Value(), 130);
  EXPECT_EQ(b.pb.RoundedValue(), 0);
  EXPECT_FALSE(b.pb.Enabled());
  EXPECT_EQ(b.pb.Theme(), 10);
  EXPECT_EQ(b.pb.TextStyle(), 2);
  EXPECT_EQ(b.pb.Orientations(), 2);
  EXPECT_EQ(b.pb.Text(), "다운로드");
  EXPECT_EQ(b.pb.TextEffectColor(), rgb(1, 2, 3));
  EXPECT_EQ(b.pb.TextEffect(), 4);
  EXPECT_EQ(b.pb.TextAlignment(), 9);
  EXPECT_EQ(b.pb.TextFont(), (Font{"Verdana", 12, true, true}));
  EXPECT_EQ(b.pb.TextForeColor(), rgb(9, 8, 7));
  EXPECT_EQ(b.pb.PBSCustomeColor1(), rgb(10, 20, 30));
  EXPECT_EQ(b.pb.PBSCustomeColor2(), rgb(40, 50, 60));
}

TEST(ProgressBarPersistence, AnEmptyCaptionComesBackAsTheDisplayName) {
  Bar a(200, 24, "SP_PB");
  a.pb.InitProperties();
  a.pb.Text("");
  PropertyBag bag;
  a.pb.WriteProperties(bag);
  EXPECT_FALSE(bag.contains("Text"));
  Bar b(200, 24, "SP_PB");
  b.pb.ReadProperties(bag);
  EXPECT_EQ(b.pb.Text(), "SP_PB");
}

// ---- palette, grey and lighten -------------------------------------------------------------

TEST(ProgressBarPalette, ThemesFillEvenEntriesAndCopyThemIntoTheOddOnes) {
  for (int theme = 1; theme <= 10; ++theme) {
    Palette p{};
    ASSERT_TRUE(FillPalette(p, theme, rgb(30, 60, 90), rgb(200, 100, 0)));
    for (int i = 1; i < 16; i += 2) EXPECT_EQ(p[i], p[i - 1]) << theme << " c" << i;
  }
  Palette p{};
  FillPalette(p, 1, 0, 0);
  EXPECT_EQ(p[0], rgb(248, 246, 242));
  EXPECT_EQ(p[10], rgb(239, 213, 133));
  EXPECT_EQ(p[16], rgb(204, 168, 62));
  FillPalette(p, 4, 0, 0);
  EXPECT_EQ(p[12], rgb(57, 203, 190));
  FillPalette(p, 8, 0, 0);
  EXPECT_EQ(p[10], rgb(67, 208, 255));
  EXPECT_EQ(p[16], rgb(23, 139, 211));
  FillPalette(p, 9, 0, 0);
  EXPECT_EQ(p[2], rgb(225, 219, 225));
  EXPECT_EQ(p[16], rgb(188, 184, 188));
}

TEST(ProgressBarPalette, ThemeTenFromBlackCustomColours) {
  Palette p{};
  ASSERT_TRUE(FillPalette(p, 10, 0, 0));
  const std::int32_t g180 = rgb(180, 180, 180), g50 = rgb(50, 50, 50), g80 = rgb(80, 80, 80);
  EXPECT_EQ(p, (Palette{g180, g180, g50, g50, 0, 0, g80, g80, g180, g180, g50, g50, 0, 0, g80, g80, 0}));
  FillPalette(p, 10, rgb(100, 200, 250), rgb(0, 0, 255));
  EXPECT_EQ(p[8], rgb(255, 255, 255));
  EXPECT_EQ(p[14], rgb(180, 255, 255));  // L(100, 200, 250; 80)
  EXPECT_EQ(p[12], rgb(100, 200, 250));
  EXPECT_EQ(p[16], rgb(100, 200, 250));
  EXPECT_EQ(p[4], rgb(0, 0, 255));
  EXPECT_EQ(p[2], rgb(50, 50, 255));
}

TEST(ProgressBarPalette, OtherThemesLeaveThePaletteAsItWas) {
  Palette p{};
  EXPECT_FALSE(FillPalette(p, 0, 1, 1));
  EXPECT_FALSE(FillPalette(p, 11, 1, 1));
  EXPECT_EQ(p, Palette{});
  FillPalette(p, 3, 0, 0);
  const Palette theme3 = p;
  EXPECT_FALSE(FillPalette(p, -1, 0, 0));
  EXPECT_EQ(p, theme3);
}

TEST(ProgressBarPalette, GreyRoundsChannelsHalfToEven) {
  EXPECT_EQ(Grey(rgb(239, 133, 133)), rgb(169, 169, 169));  // g, b round up to 134: 507 / 3
  EXPECT_EQ(Grey(rgb(200, 10, 0)), rgb(70, 70, 70));        // g = 10.78 -> 11
  EXPECT_EQ(Grey(rgb(128, 128, 128)), rgb(128, 128, 128));  // g = 128.5 -> 128, b = 128.50 -> 129
  EXPECT_EQ(Grey(rgb(3, 0, 0)), rgb(1, 1, 1));
  EXPECT_EQ(Grey(0), 0);
  // White computes v = 256 and is limited to 255, so white text stays white.
  EXPECT_EQ(Grey(rgb(255, 255, 255)), rgb(255, 255, 255));
  EXPECT_EQ(Grey(-1), 0);  // a negative colour cannot come out negative
}

TEST(ProgressBarPalette, LightenAddsTakesAbsoluteValuesAndLimits) {
  EXPECT_EQ(Lighten(rgb(100, 200, 250), 80), rgb(180, 255, 255));
  EXPECT_EQ(Lighten(rgb(100, 200, 250), -300), rgb(200, 100, 50));
  EXPECT_EQ(Lighten(0, 0), 0);
  EXPECT_EQ(Lighten(rgb(1, 2, 3), 2147483647), rgb(255, 255, 255));
  EXPECT_EQ(RedOf(rgb(1, 2, 3)), 1);
  EXPECT_EQ(GreenOf(rgb(1, 2, 3)), 2);
  EXPECT_EQ(BlueOf(rgb(1, 2, 3)), 3);
  EXPECT_EQ(RedOf(-1), -1);  // Mod keeps the sign
}

// ---- drawing -------------------------------------------------------------------------------

// Theme 1 at 5 of the 12 rows of the upper half, by hand:
// background c0 -> c2: 248 + floor(-15 x 5 / 12) = 241, 246 + floor(-19 x 5 / 12) = 238,
//                      242 + floor(-31 x 5 / 12) = 229;
// bar c8 -> c10:       251 + floor(-12 x 5 / 12) = 246, 244 + floor(-31 x 5 / 12) = 231,
//                      223 + floor(-90 x 5 / 12) = 185.
const gdi::ColorRef kTheme1BackgroundRow5 = gdi::RGB(241, 238, 229);
const gdi::ColorRef kTheme1BarRow5 = gdi::RGB(246, 231, 185);

TEST(ProgressBarDrawing, ValueOneOfHundredAtWidth200IsTwoPixels) {
  PlainBar b;
  b.pb.Value(1);
  EXPECT_EQ(b.pb.surface().pixel(1, 5), kTheme1BarRow5);
  EXPECT_EQ(b.pb.surface().pixel(2, 5), kTheme1BackgroundRow5);
  b.pb.Value(0);  // no bar, but background and outline
  EXPECT_EQ(b.pb.surface().pixel(1, 5), kTheme1BackgroundRow5);
  EXPECT_EQ(b.pb.surface().pixel(0, 5), colour(204, 168, 62));
}

TEST(ProgressBarDrawing, ValueAtMaxFillsTheWholeWidth) {
  PlainBar b;
  b.pb.Value(100);
  for (int x : {1, 100, 197, 199}) EXPECT_EQ(b.pb.surface().pixel(x, 5), kTheme1BarRow5) << x;
  // Lower half, row 18 (6 of 12) c12 -> c14: 203 + 17, 166 + 29, 57 + 65.
  EXPECT_EQ(b.pb.surface().pixel(199, 18), colour(220, 195, 122));
  // The outline is drawn to SW - 2 (right edge exclusive), the last column keeps the bar.
  EXPECT_EQ(b.pb.surface().pixel(198, 5), colour(204, 168, 62));
}

TEST(ProgressBarDrawing, VerticalBarGrowsFromTheTop) {
  PlainBar b(24, 200);
  b.pb.Orientations(2);
  b.pb.Value(100);
  // Left half: the gradient runs across 12 columns, so column 5 has the row-5 colours above.
  for (int y : {1, 100, 199}) EXPECT_EQ(b.pb.surface().pixel(5, y), kTheme1BarRow5) << y;
  b.pb.Value(50);
  EXPECT_EQ(b.pb.surface().pixel(5, 99), kTheme1BarRow5);
  EXPECT_EQ(b.pb.surface().pixel(5, 100), kTheme1BackgroundRow5);
  // Other orientations draw no background and no bar: the surface's own colour shows.
  b.pb.Orientations(3);
  EXPECT_EQ(b.pb.surface().pixel(5, 50), gdi::colourFromLong(ProgressBar::kSurfaceBackColour));
}

TEST(ProgressBarDrawing, MinDoesNotShiftTheBar) {
  PlainBar b;
  b.pb.Min(40);
  b.pb.Value(50);
  EXPECT_EQ(b.pb.surface().pixel(99, 5), kTheme1BarRow5);
  EXPECT_EQ(b.pb.surface().pixel(100, 5), kTheme1BackgroundRow5);
  b.pb.TextStyle(2);
  EXPECT_EQ(b.pb.drawnCaption(), "50%");
}

TEST(ProgressBarDrawing, ThemeTenFromBlackCustomColours) {
  PlainBar b;
  b.pb.Theme(10);
  const std::int32_t g180 = rgb(180, 180, 180), g50 = rgb(50, 50, 50), g80 = rgb(80, 80, 80);
  EXPECT_EQ(b.pb.drawnPalette(), (Palette{g180, g180, g50, g50, 0, 0, g80, g80, g180, g180, g50, g50, 0, 0, g80, g80, 0}));
  EXPECT_EQ(b.pb.surface().pixel(150, 1), colour(169, 169, 169));  // 180 + floor(-130 / 12)
  EXPECT_EQ(b.pb.surface().pixel(0, 5), colour(0, 0, 0));          // outline black
}

TEST(ProgressBarDrawing, DisabledDrawsEveryEntryInGrey) {
  Bar b;
  b.pb.InitProperties();
  b.pb.Theme(7);
  b.pb.Enabled(false);
  EXPECT_EQ(b.pb.drawnPalette()[10], rgb(169, 169, 169));
  for (std::int32_t c : b.pb.drawnPalette()) {
    EXPECT_EQ(RedOf(c), GreenOf(c)) << c;
    EXPECT_EQ(GreenOf(c), BlueOf(c)) << c;
  }
  const QImage& img = gdi::qImage(b.pb.surface());
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb p = img.pixel(x, y);
      ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
    }
}

TEST(ProgressBarDrawing, DisablingDoesNotGreyTheKeptColoursAgain) {
  PlainBar b;
  b.pb.Theme(7);
  b.pb.Enabled(false);
  b.pb.Theme(42);  // no theme: the theme 7 colours are kept
  const Palette first = b.pb.drawnPalette();
  for (int i = 0; i < 5; ++i) b.pb.Value(i * 10);
  EXPECT_EQ(b.pb.drawnPalette(), first);  // no drift from greying the grey
  EXPECT_EQ(first[10], rgb(169, 169, 169));
  b.pb.Enabled(true);
  EXPECT_EQ(b.pb.drawnPalette()[10], rgb(239, 133, 133));
}

TEST(ProgressBarDrawing, EffectsZeroAndSixShowNoCaption) {
  PlainBar plain;
  for (int effect : {0, 6}) {
    PlainBar b;
    b.pb.TextStyle(3);
    b.pb.TextEffect(effect);
    EXPECT_EQ(b.pb.drawnCaption(), "") << effect;
    EXPECT_EQ(gdi::qImage(b.pb.surface()), gdi::qImage(plain.pb.surface())) << effect;
  }
  PlainBar shown;
  shown.pb.TextStyle(3);
  EXPECT_EQ(shown.pb.drawnCaption(), "K9RV ProgressBar");
  EXPECT_NE(gdi::qImage(shown.pb.surface()), gdi::qImage(plain.pb.surface()));
}

TEST(ProgressBarDrawing, RoundedValueZeroGivesASquareWindowAndOutline) {
  PlainBar b;
  EXPECT_EQ(b.pb.windowRegion(), gdi::Region::rectangle(0, 0, 199, 23));
  const gdi::ColorRef outline = colour(204, 168, 62);
  EXPECT_EQ(b.pb.surface().pixel(0, 0), outline);
  EXPECT_EQ(b.pb.surface().pixel(198, 0), outline);
  EXPECT_EQ(b.pb.surface().pixel(0, 22), outline);
  EXPECT_EQ(b.pb.surface().pixel(198, 22), outline);
  b.pb.RoundedValue(5);
  EXPECT_FALSE(b.pb.windowRegion().contains(0, 0));
  EXPECT_TRUE(b.pb.windowRegion().contains(1, 0));
  EXPECT_NE(b.pb.surface().pixel(0, 0), outline);
}

TEST(ProgressBarDrawing, ANewControlShowsItsNameCentredWithAWhiteShadow) {
  Bar b(300, 24);
  b.pb.InitProperties();
  EXPECT_EQ(b.pb.drawnCaption(), "K9RV ProgressBar");
  const gdi::TextExtent ext = b.pb.surface().textExtent("K9RV ProgressBar");
  EXPECT_EQ(b.pb.drawnCaptionAt(), CaptionPosition(5, 300, 24, ext.width, ext.height));
  // Shadow pixels are pure white (no theme 1 colour is), text pixels are dark.
  int white = 0, dark = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 300; ++x) {
      const gdi::ColorRef p = b.pb.surface().pixel(x, y);
      white += p == colour(255, 255, 255);
      dark += gdi::GetRValue(p) < 60 && gdi::GetGValue(p) < 60 && gdi::GetBValue(p) < 60;
    }
  EXPECT_GT(white, 10);
  EXPECT_GT(dark, 10);
}

TEST(ProgressBarDrawing, CaptionTextByStyle) {
  EXPECT_EQ(CaptionText(1, 42, 42, "x"), "42");
  EXPECT_EQ(CaptionText(2, 1, 100.0 * 1 / 3, "x"), "33.3333333333333%");
  EXPECT_EQ(CaptionText(2, 50, 50, "x"), "50%");
  EXPECT_EQ(CaptionText(3, 1, 1, "설치"), "설치");
  EXPECT_EQ(CaptionText(0, 1, 1, "x"), std::nullopt);
  EXPECT_EQ(CaptionText(4, 1, 1, "x"), std::nullopt);
  PlainBar b;
  b.pb.Max(3);
  b.pb.Value(1);
  b.pb.TextStyle(2);
  EXPECT_EQ(b.pb.drawnCaption(), "33.3333333333333%");
  b.pb.TextStyle(1);
  EXPECT_EQ(b.pb.drawnCaption(), "1");
  // A percentage below one keeps its leading zero.
  b.pb.Max(2000);
  b.pb.TextStyle(2);
  EXPECT_EQ(b.pb.drawnCaption(), "0.05%");
}

TEST(ProgressBarDrawing, CaptionPositionsRoundHalfToEven) {
  // SW 300, SH 24, TW 101, TH 15: centre 150 - 50.5 - 1 = 98.5 -> 98; middle 12 - 7.5 - 1 = 3.5 -> 4.
  const std::vector<CaptionPoint> expected{{0, 0},  {1, 0},  {1, 4},   {1, 8},   {98, 0},
                                           {98, 4}, {98, 8}, {196, 0}, {196, 4}, {196, 8}};
  for (int a = 0; a <= 9; ++a) EXPECT_EQ(CaptionPosition(a, 300, 24, 101, 15), expected[static_cast<std::size_t>(a)]) << a;
  EXPECT_EQ(CaptionPosition(10, 300, 24, 101, 15), (CaptionPoint{0, 0}));
  EXPECT_EQ(CaptionPosition(-1, 300, 24, 101, 15), (CaptionPoint{0, 0}));
  // Text larger than the bar goes to negative positions, as computed.
  EXPECT_EQ(CaptionPosition(9, 50, 10, 80, 20), (CaptionPoint{-33, -11}));
}

TEST(ProgressBarDrawing, CaptionIsDrawnWhereItsAlignmentPutsItByTheFontMetrics) {
  for (int alignment = 0; alignment <= 10; ++alignment) {
    PlainBar plain(300, 40);
    PlainBar b(300, 40);
    plain.pb.Text("Ab 가나");
    b.pb.Text("Ab 가나");
    b.pb.TextEffect(1);
    b.pb.TextStyle(3);
    b.pb.TextAlignment(alignment);
    const gdi::TextExtent ext = b.pb.surface().textExtent("Ab 가나");
    const CaptionPoint at = CaptionPosition(alignment, 300, 40, ext.width, ext.height);
    EXPECT_EQ(b.pb.drawnCaptionAt(), at) << alignment;
    // Every pixel the caption changed lies inside its text cell.
    int changed = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 300; ++x)
        if (b.pb.surface().pixel(x, y) != plain.pb.surface().pixel(x, y)) {
          ++changed;
          EXPECT_TRUE(x >= at.x && x <= at.x + ext.width && y >= at.y && y < at.y + ext.height)
              << alignment << ": " << x << "," << y;
        }
    EXPECT_GT(changed, 20) << alignment;
  }
}

TEST(ProgressBarDrawing, EffectStrokesInDrawingOrder) {
  const CaptionPoint at{10, 5};
  const std::int32_t t = 1, e = 2, g = kCaptionEffectGrey;
  EXPECT_EQ(CaptionStrokes(1, at, t, e), (std::vector<CaptionStroke>{{10, 5, t}}));
  EXPECT_EQ(CaptionStrokes(2, at, t, e), (std::vector<CaptionStroke>{{9, 4, e}, {11, 6, g}, {10, 5, t}}));
  EXPECT_EQ(CaptionStrokes(3, at, t, e), (std::vector<CaptionStroke>{{11, 6, e}, {9, 5, g}, {10, 5, t}}));
  EXPECT_EQ(CaptionStrokes(4, at, t, e),
            (std::vector<CaptionStroke>{{11, 5, e}, {9, 5, e}, {10, 4, e}, {10, 6, e}, {10, 5, t}}));
  EXPECT_EQ(CaptionStrokes(5, at, t, e), (std::vector<CaptionStroke>{{11, 6, e}, {10, 5, t}}));
  EXPECT_TRUE(CaptionStrokes(0, at, t, e).empty());
  EXPECT_TRUE(CaptionStrokes(6, at, t, e).empty());
  EXPECT_EQ(g, rgb(128, 128, 128));
}

TEST(ProgressBarDrawing, DisabledCaptionUsesGreyOfTheTextAndEffectColours) {
  PlainBar b(300, 30);
  b.pb.TextStyle(3);
  b.pb.TextEffect(5);
  b.pb.TextForeColor(rgb(200, 10, 0));      // grey 70
  b.pb.TextEffectColor(rgb(239, 133, 133));  // grey 169
  b.pb.Enabled(false);
  int g70 = 0, g169 = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 300; ++x) {
      g70 += b.pb.surface().pixel(x, y) == colour(70, 70, 70);
      g169 += b.pb.surface().pixel(x, y) == colour(169, 169, 169);
    }
  EXPECT_GT(g70, 5);
  EXPECT_GT(g169, 5);
}

// ---- gradient methods ----------------------------------------------------------------------

TEST(ProgressBarGradients, GradientTwoColourFillsExactlyToTheGivenEdges) {
  Bar b;
  gdi::Surface target(60, 30, colour(1, 1, 1));
  b.pb.GradientTwoColour(static_cast<std::int32_t>(target.hdc()), 1, rgb(0, 100, 0), rgb(0, 200, 0), 10, 10, 50, 20);
  int filled = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) {
      const bool inside = x >= 10 && x < 50 && y >= 10 && y < 20;
      EXPECT_EQ(target.pixel(x, y) != colour(1, 1, 1), inside) << x << "," << y;
      filled += inside;
    }
  EXPECT_EQ(filled, 400);
  EXPECT_EQ(target.pixel(10, 10), colour(0, 100, 0));
  EXPECT_EQ(target.pixel(49, 19), colour(0, 190, 0));  // 100 + 100 x 9 / 10
}

TEST(ProgressBarGradients, GradientTwoColourReportsFailuresAsErrors) {
  Bar b;
  gdi::Surface target(10, 10, colour(1, 1, 1));
  const auto hdc = static_cast<std::int32_t>(target.hdc());
  try {
    b.pb.GradientTwoColour(hdc, 2, 0, 0, 0, 0, 10, 10);
    FAIL() << "direction 2 accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), veltrano::err::kInvalidProcedureCall);
  }
  EXPECT_EQ(target.pixel(5, 5), colour(1, 1, 1));
  EXPECT_THROW(b.pb.GradientTwoColour(12345, 0, 0, 0, 0, 0, 10, 10), RuntimeError);
}

TEST(ProgressBarGradients, LineInterpolationRoundsHalfToEvenAndEndsAtB) {
  const BgrColour black{0, 0, 0};
  const auto line = InterpolateLine(black, BgrColour{1, 255, 3}, 2);
  ASSERT_EQ(line.size(), 3u);
  EXPECT_EQ(line[1], (BgrColour{0, 128, 2}));  // 0.5 -> 0, 127.5 -> 128, 1.5 -> 2
  EXPECT_EQ(line[2], (BgrColour{1, 255, 3}));
  EXPECT_EQ(InterpolateLine(BgrColour{7, 8, 9}, black, 0), (std::vector<BgrColour>{{7, 8, 9}}));
  for (int n : {1, 3, 7, 255, 1000}) {
    const auto l = InterpolateLine(BgrColour{250, 3, 77}, BgrColour{1, 254, 77}, n);
    EXPECT_EQ(l.front(), (BgrColour{250, 3, 77}));
    EXPECT_EQ(l.back(), (BgrColour{1, 254, 77})) << n;
  }
}

TEST(ProgressBarGradients, FourColourBlendByHand) {
  Bar b;
  gdi::Surface target(6, 4, colour(1, 1, 1));
  const auto hdc = static_cast<std::int32_t>(target.hdc());
  const Variant result = b.pb.DrawGradientFourColour(hdc, 1, 1, 4, 2, rgb(0, 0, 0), rgb(255, 0, 0), rgb(0, 0, 255),
                                                     rgb(255, 255, 255));
  EXPECT_TRUE(result.isEmpty());
  // Columns (n = 2): left 0 -> blue 128 at row 1; right red 255 with green and blue 128.
  // Row 0 red steps 63.75: 0, 64, 128, 191. Row 1 green 0 -> 128 in steps of 32.
  EXPECT_EQ(target.pixel(1, 1), colour(0, 0, 0));
  EXPECT_EQ(target.pixel(2, 1), colour(64, 0, 0));
  EXPECT_EQ(target.pixel(4, 1), colour(191, 0, 0));
  EXPECT_EQ(target.pixel(1, 2), colour(0, 0, 128));
  EXPECT_EQ(target.pixel(3, 2), colour(128, 64, 128));
  EXPECT_EQ(target.pixel(4, 2), colour(191, 96, 128));
  // Nothing outside the 4 x 2 rectangle.
  EXPECT_EQ(target.pixel(5, 1), colour(1, 1, 1));
  EXPECT_EQ(target.pixel(1, 3), colour(1, 1, 1));
  EXPECT_EQ(target.pixel(0, 1), colour(1, 1, 1));
}

TEST(ProgressBarGradients, FourColourClipsAndRefusesBadInput) {
  Bar b;
  gdi::Surface whole(8, 4, colour(1, 1, 1)), clipped(8, 4, colour(1, 1, 1));
  const auto corners = std::array{rgb(10, 0, 0), rgb(250, 0, 40), rgb(0, 90, 0), rgb(30, 30, 200)};
  b.pb.DrawGradientFourColour(static_cast<std::int32_t>(whole.hdc()), 0, 0, 8, 4, corners[0], corners[1], corners[2], corners[3]);
  // The same rectangle two pixels off the left and one off the top edge.
  b.pb.DrawGradientFourColour(static_cast<std::int32_t>(clipped.hdc()), -2, -1, 8, 4, corners[0], corners[1], corners[2], corners[3]);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(clipped.pixel(x, y), whole.pixel(x + 2, y + 1)) << x << "," << y;
  // Huge sizes compute only what is on the surface.
  EXPECT_NO_THROW(b.pb.DrawGradientFourColour(static_cast<std::int32_t>(whole.hdc()), 0, 0, 2000000000, 2000000000, 0, 0, 0, 0));
  EXPECT_NO_THROW(b.pb.DrawGradientFourColour(static_cast<std::int32_t>(whole.hdc()), 0, 0, 0, 5, 0, 0, 0, 0));
  EXPECT_THROW(b.pb.DrawGradientFourColour(static_cast<std::int32_t>(whole.hdc()), 0, 0, -1, 5, 0, 0, 0, 0), RuntimeError);
  EXPECT_THROW(b.pb.DrawGradientFourColour(999, 0, 0, 1, 1, 0, 0, 0, 0), RuntimeError);
}

// ---- the widget ----------------------------------------------------------------------------

TEST(ProgressBarWidget, ShowsTheSurfaceInsideTheWindowShape) {
  RecordingSite site("SP_PB");
  ProgressBarWidget w(site);
  w.control().InitProperties();
  w.show();
  w.resize(200, 24);
  EXPECT_EQ(w.control().surface().width(), 200);
  EXPECT_EQ(w.control().surface().height(), 24);
  EXPECT_FALSE(w.mask().contains(QPoint(0, 0)));  // RoundedValue 5 cuts the corner
  EXPECT_TRUE(w.mask().contains(QPoint(1, 0)));
  EXPECT_TRUE(w.mask().contains(QPoint(100, 12)));
  const QImage shown = w.grab().toImage();
  const gdi::ColorRef p = w.control().surface().pixel(150, 3);
  EXPECT_EQ(shown.pixel(150, 3) & 0xFFFFFF, qRgb(gdi::GetRValue(p), gdi::GetGValue(p), gdi::GetBValue(p)) & 0xFFFFFF);
  w.control().RoundedValue(0);
  EXPECT_TRUE(w.mask().contains(QPoint(0, 0)));
}

}  // namespace
}  // namespace meridox

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
