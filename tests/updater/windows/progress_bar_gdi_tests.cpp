// The progress bar drawn by GDI, state by state of the gallery, against the pictures the Linux
// surface drew (data/progress_bar_gallery). Gradients, fills, the outline and the window shape
// must match pixel for pixel. Text comes from another rasteriser and font, so the caption's
// box on either side, grown by kTextMargin pixels, is compared under a stated tolerance instead:
// each pixel there is either what the same state draws without a caption or one of the
// caption's stroke colours (glyphs are drawn without smoothing), the caption is drawn when the
// Linux one was, and its box lies within kCaptionShift pixels of the Linux box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gdi/png_file_win32.h"
#include "png_reader_win32.h"
#include "progress_bar_gallery.h"

namespace meridox::gallery {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = VELTRANO_GALLERY_DIR;
constexpr int kTextMargin = 2;    // the effects' one-pixel offsets and a pixel of overhang
constexpr int kCaptionShift = 4;  // another font's advance widths move a centred caption

struct Box {
  int left, top, right, bottom;
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

Box grown(const CaptionBox& c) {
  return {c.x - kTextMargin, c.y - kTextMargin, c.x + c.width + kTextMargin, c.y + c.height + kTextMargin};
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string hex(std::uint32_t v) {
  char s[8];
  std::snprintf(s, sizeof s, "%06X", v);
  return s;
}

TEST(ProgressBarGdi, EveryGalleryStateMatchesTheLinuxSurface) {
  const std::string manifest = readFile(kFolder / "captions.txt");
  ASSERT_FALSE(manifest.empty()) << kFolder;
  for (const State& state : states()) {
    SCOPED_TRACE(state.name);
    const auto reference = readPng((kFolder / (state.name + ".png")).string());
    const auto linuxCaption = findCaption(manifest, state.name);
    ASSERT_TRUE(reference.has_value());
    ASSERT_TRUE(linuxCaption.has_value());
    const Drawing d = draw(state);
    ASSERT_EQ(d.picture.width, reference->width);
    ASSERT_EQ(d.picture.height, reference->height);
    ASSERT_EQ(d.caption.has_value(), linuxCaption->has_value());

    std::vector<Box> text;
    if (d.caption) {
      text = {grown(*d.caption), grown(**linuxCaption)};
      EXPECT_LE(std::abs(d.caption->x - (*linuxCaption)->x), kCaptionShift);
      EXPECT_LE(std::abs(d.caption->y - (*linuxCaption)->y), kCaptionShift);
      EXPECT_LE(std::abs(d.caption->width - (*linuxCaption)->width), 2 * kCaptionShift);
      EXPECT_LE(std::abs(d.caption->height - (*linuxCaption)->height), kCaptionShift);
    }
    int different = 0, strayText = 0, glyphPixels = 0;
    std::string first;
    for (int y = 0; y < d.picture.height; ++y)
      for (int x = 0; x < d.picture.width; ++x) {
        const std::uint32_t ours = d.picture.at(x, y);
        if (std::any_of(text.begin(), text.end(), [&](const Box& b) { return b.contains(x, y); })) {
          const std::uint32_t plain = d.withoutCaption.at(x, y);
          if (ours == plain) continue;
          ++glyphPixels;
          if (std::find(d.captionColours.begin(), d.captionColours.end(), ours) == d.captionColours.end()) ++strayText;
          continue;
        }
        if (ours != reference->at(x, y) && different++ == 0)
          first = "(" + std::to_string(x) + ", " + std::to_string(y) + "): GDI " + hex(ours) + ", Linux " +
                  hex(reference->at(x, y));
      }
    EXPECT_EQ(different, 0) << "pixels outside the caption differ, the first at " << first;
    EXPECT_EQ(strayText, 0) << "caption pixels in colours the caption does not use";
    if (d.caption) {
      EXPECT_GT(glyphPixels, 0) << "no caption drawn";
    }
    if (different != 0 || strayText != 0) {
      veltrano::gdi::writePngFile("gdi-" + state.name + ".png", d.picture.width, d.picture.height, d.picture.pixels.data());
    }
  }
}

}  // namespace
}  // namespace meridox::gallery
