// Text output on the surface and the table of Windows font names.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

#include "platform/gdi/font_map.h"
#include "platform/gdi/qt_bridge.h"
#include "platform/gdi/surface.h"
#include "support/test_support.h"

namespace veltrano::gdi {
namespace {

TEST(FontMap, WindowsNamesMapOntoInstalledFamilies) {
  struct Case {
    const char* windows;
    const char* installed;
  } cases[] = {
      {"굴림", "NanumGothic"},       {"Gulim", "NanumGothic"},         {" GULIM ", "NanumGothic"},
      {"돋움", "NanumGothic"},       {"Dotum", "NanumGothic"},         {"굴림체", "NanumGothicCoding"},
      {"GulimChe", "NanumGothicCoding"}, {"바탕", "NanumMyeongjo"},     {"Verdana", "DejaVu Sans"},
      {"arial", "DejaVu Sans"},      {"Courier New", "DejaVu Sans Mono"}, {"Times New Roman", "DejaVu Serif"},
      {"NanumSquare", "NanumSquare"}, {"", "NanumGothic"},
  };
  for (const Case& c : cases) EXPECT_EQ(installedFontFamily(c.windows), c.installed) << c.windows;
  // Latin families get the Hangul fallback behind them; Hangul families need none.
  EXPECT_EQ(installedFontFamilies("Verdana"), (std::vector<std::string>{"DejaVu Sans", "NanumGothic"}));
  EXPECT_EQ(installedFontFamilies("굴림"), (std::vector<std::string>{"NanumGothic"}));
}

TEST(FontMap, MappedFamiliesAreInstalledAndHaveHangul) {
  ASSERT_TRUE(ensureGuiApplication());
  for (const char* name : {"굴림", "굴림체", "돋움", "바탕", "Verdana", "Arial", "Courier New"}) {
    Font f;
    f.name = name;
    const QFont q = qFont(f);
    EXPECT_EQ(QFontInfo(q).family().toStdString(), installedFontFamily(name)) << name;
    // With the fallback family every font can show Hangul syllables.
    const QFontMetrics fm(q);
    EXPECT_GT(fm.horizontalAdvance(QString::fromUtf8("가")), 0) << name;
  }
  Font gulim;
  gulim.name = "굴림";
  EXPECT_TRUE(QFontMetrics(qFont(gulim)).inFont(QChar(0xAC00)));
}

TEST(FontPixelSize, PointsAt96DotsPerInchRoundedLikeMulDiv) {
  auto px = [](double pt) {
    Font f;
    f.size = pt;
    return fontPixelSize(f);
  };
  EXPECT_EQ(px(9), 12);
  EXPECT_EQ(px(9.75), 13);
  EXPECT_EQ(px(10), 13);   // 13.33
  EXPECT_EQ(px(11), 15);   // 14.67
  EXPECT_EQ(px(7.5), 10);
  EXPECT_EQ(px(0), 1);
}

// Bounding box of the pixels that differ from `back`.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long long count = 0;
};
Ink inkOf(const Surface& s, ColorRef back) {
  Ink ink;
  for (int y = 0; y < s.height(); ++y)
    for (int x = 0; x < s.width(); ++x)
      if (s.pixel(x, y) != back) {
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x);
        ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

TEST(TextOut, KoreanTextInkStaysInsideItsCellOnATransparentBackground) {
  const ColorRef back = RGB(0, 0, 160);
  Surface s(200, 40, back);
  Font f;
  f.name = "굴림";
  f.size = 12;
  s.setFont(f);
  s.setTextColor(RGB(255, 255, 255));
  const std::string text = "업데이트 완료";
  const TextExtent ext = s.textExtent(text);
  const TextMetrics m = s.textMetrics();
  EXPECT_GT(ext.width, 40);
  EXPECT_EQ(ext.height, m.ascent + m.descent);
  ASSERT_TRUE(s.textOut(20, 8, text));
  const Ink ink = inkOf(s, back);
  ASSERT_GT(ink.count, 50);  // the glyphs were drawn
  EXPECT_GE(ink.left, 20);
  EXPECT_LT(ink.right, 20 + ext.width + 1);
  EXPECT_GE(ink.top, 8);
  EXPECT_LT(ink.bottom, 8 + ext.height);
  // Transparent: most of the cell keeps the background.
  const long long cell = static_cast<long long>(ext.width) * ext.height;
  EXPECT_LT(ink.count, cell / 2);
  EXPECT_EQ(s.pixel(20, 8 + ext.height - 1), back);
}

TEST(TextOut, DrawsInTheTextColourAndTheFontChangesTheExtent) {
  const ColorRef back = RGB(255, 255, 255);
  Surface s(120, 40, back);
  Font small;
  small.name = "Verdana";
  small.size = 8;
  Font big = small;
  big.size = 16;
  s.setFont(small);
  const TextExtent a = s.textExtent("12345");
  s.setFont(big);
  const TextExtent b = s.textExtent("12345");
  EXPECT_GT(b.width, a.width);
  EXPECT_GT(b.height, a.height);
  s.setTextColor(RGB(255, 0, 0));
  s.textOut(0, 0, "█");
  // The block glyph's middle is solid text colour.
  EXPECT_EQ(s.pixel(s.textExtent("█").width / 2, s.textMetrics().ascent / 2 + 2), RGB(255, 0, 0));
}

TEST(Surface, ResizeClearsAndPngIsWritten) {
  Surface s(4, 3, RGB(1, 2, 3));
  s.fillRect(-5, -5, 2, 2, RGB(7, 7, 7));
  EXPECT_EQ(s.pixel(0, 0), RGB(7, 7, 7));
  EXPECT_EQ(s.pixel(1, 1), RGB(7, 7, 7));
  EXPECT_EQ(s.pixel(2, 1), RGB(1, 2, 3));
  EXPECT_EQ(s.pixel(4, 0), CLR_INVALID);
  EXPECT_EQ(s.pixel(-1, 0), CLR_INVALID);
  s.resize(6, 2);
  EXPECT_EQ(s.width(), 6);
  EXPECT_EQ(s.pixel(0, 0), RGB(1, 2, 3));
  s.resize(-3, 2);  // negative sizes are empty, and drawing on them is harmless
  EXPECT_EQ(s.width(), 0);
  s.fillRect(0, 0, 5, 5, RGB(7, 7, 7));
  s.roundRect(0, 0, 5, 5, 2, 2);
  EXPECT_TRUE(s.textOut(0, 0, "x"));

  test::TempDir dir;
  Surface picture(5, 4, RGB(10, 20, 30));
  ASSERT_TRUE(picture.savePng((dir / "p.png").string()));
  const QImage back((dir / "p.png").c_str());
  ASSERT_EQ(back.size(), QSize(5, 4));
  EXPECT_EQ(back.pixel(4, 3), qRgb(10, 20, 30));
}

}  // namespace
}  // namespace veltrano::gdi
