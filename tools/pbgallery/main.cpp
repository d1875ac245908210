// pbgallery [OUTPUT.png]: draws the updater's progress bar in every theme (enabled and
// disabled), every caption effect and alignment, both orientations and the four-colour
// gradient, each inside its window shape, into one PNG (default "pbgallery.png").
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <string>

#include "platform/gdi/qt_bridge.h"
#include "platform/gdi/surface.h"
#include "platform/runtime/property_bag.h"
#include "updater/progress_bar.h"

namespace {

using meridox::ProgressBar;
namespace gdi = veltrano::gdi;

constexpr int kMargin = 12;
constexpr int kLabelWidth = 170;
constexpr int kRowGap = 8;

class Gallery {
 public:
  explicit Gallery(int width, int height) : image_(width, height, QImage::Format_RGB32), painter_(&image_) {
    image_.fill(qRgb(255, 255, 255));
    veltrano::Font label;
    label.name = "Verdana";
    label.size = 8;
    painter_.setFont(gdi::qFont(label));
  }

  void heading(const std::string& text) {
    y_ += kRowGap;
    veltrano::Font f;
    f.name = "Verdana";
    f.size = 10;
    f.bold = true;
    const QFont old = painter_.font();
    painter_.setFont(gdi::qFont(f));
    painter_.setPen(Qt::black);
    painter_.drawText(kMargin, y_ + 14, QString::fromStdString(text));
    painter_.setFont(old);
    y_ += 22;
    x_ = kMargin;
  }

  // Places the control at the current position, shown inside its window shape.
  void place(const ProgressBar& bar, const std::string& label) {
    const int w = bar.surface().width(), h = bar.surface().height();
    painter_.setPen(QColor(60, 60, 60));
    painter_.drawText(QRect(x_, y_, kLabelWidth - 6, h), Qt::AlignVCenter | Qt::AlignRight,
                      QString::fromStdString(label));
    const int left = x_ + kLabelWidth;
    painter_.save();
    painter_.setClipRegion(gdi::qRegion(bar.windowRegion()).translated(left, y_));
    painter_.drawImage(left, y_, gdi::qImage(bar.surface()));
    painter_.restore();
    x_ = left + w + kMargin;
    rowHeight_ = std::max(rowHeight_, h);
  }

  void placeSurface(const gdi::Surface& s, const std::string& label) {
    painter_.setPen(QColor(60, 60, 60));
    painter_.drawText(QRect(x_, y_, kLabelWidth - 6, s.height()), Qt::AlignVCenter | Qt::AlignRight,
                      QString::fromStdString(label));
    painter_.drawImage(x_ + kLabelWidth, y_, gdi::qImage(s));
    x_ += kLabelWidth + s.width() + kMargin;
    rowHeight_ = std::max(rowHeight_, s.height());
  }

  void newRow() {
    y_ += rowHeight_ + kRowGap;
    rowHeight_ = 0;
    x_ = kMargin;
  }

  bool save(const std::string& path) {
    painter_.end();
    return image_.copy(0, 0, image_.width(), std::min(image_.height(), y_ + kMargin)).save(QString::fromStdString(path), "PNG");
  }

 private:
  QImage image_;
  QPainter painter_;
  int x_ = kMargin;
  int y_ = 0;
  int rowHeight_ = 0;
};

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

const char* const kEffectNames[] = {"0 (none)", "1 plain", "2 raised", "3 sunken", "4 outline", "5 shadow", "6 (none)"};

}  // namespace

int main(int argc, char** argv) {
  const std::string output = argc > 1 ? argv[1] : "pbgallery.png";
  if (argc > 2 || output == "-h" || output == "--help" || (output.size() > 1 && output[0] == '-')) {
    const bool help = argc == 2 && (output == "-h" || output == "--help");
    std::fprintf(help ? stdout : stderr,
                 "Usage: pbgallery [OUTPUT.png]\n"
                 "Draws the progress bar in every theme, effect and alignment into one PNG (default pbgallery.png).\n");
    return help ? 0 : 2;
  }
  int qtArgc = 3;
  char arg0[] = "pbgallery", arg1[] = "-platform", arg2[] = "offscreen";
  char* qtArgv[] = {arg0, arg1, arg2, nullptr};
  QGuiApplication app(qtArgc, qtArgv);

  veltrano::RecordingSite site("SP_PB");
  Gallery g(2 * (kLabelWidth + 300 + kMargin) + kMargin, 2600);

  g.heading("Themes 1 to 10 (theme 10: custom colours), enabled and disabled; Value 60 of 100");
  for (int theme = 1; theme <= 10; ++theme) {
    for (bool enabled : {true, false}) {
      ProgressBar bar(site, 300, 24);
      bar.InitProperties();
      bar.PBSCustomeColor1(rgb(220, 80, 20));
      bar.PBSCustomeColor2(rgb(90, 60, 40));
      bar.Theme(theme);
      bar.Value(60);
      bar.Text(std::string(enabled ? "테마 " : "사용 안 함 ") + std::to_string(theme));
      bar.Enabled(enabled);
      g.place(bar, "Theme " + std::to_string(theme) + (enabled ? "" : " disabled"));
    }
    g.newRow();
  }

  g.heading("TextEffect 0 to 6 (effect colour white, then red), enabled and disabled");
  for (int effect = 0; effect <= 6; ++effect) {
    for (bool enabled : {true, false}) {
      ProgressBar bar(site, 300, 24);
      bar.InitProperties();
      bar.TextEffect(effect);
      bar.TextEffectColor(effect % 2 == 0 ? rgb(255, 255, 255) : rgb(220, 0, 0));
      bar.Text("업데이트 효과 Effect");
      bar.Enabled(enabled);
      g.place(bar, std::string("Effect ") + kEffectNames[effect] + (enabled ? "" : " dis."));
    }
    g.newRow();
  }

  g.heading("TextAlignment 0 to 10 (1-3 left, 4-6 centre, 7-9 right; top, middle, bottom)");
  for (int alignment = 0; alignment <= 10; ++alignment) {
    ProgressBar bar(site, 300, 40);
    bar.InitProperties();
    bar.Theme(4);
    bar.TextStyle(2);
    bar.Value(45);
    bar.TextAlignment(alignment);
    bar.Enabled(alignment % 2 == 0);
    g.place(bar, "Alignment " + std::to_string(alignment) + (alignment % 2 == 0 ? "" : " dis."));
    if (alignment % 2 == 1) g.newRow();
  }
  g.newRow();

  g.heading("TextStyle 1 value, 2 percentage, 3 text; RoundedValue 0, 5, 12, 24; Min 40 Value 50");
  {
    int row = 0;
    for (int style = 1; style <= 3; ++style) {
      ProgressBar bar(site, 300, 24);
      bar.InitProperties();
      bar.Theme(8);
      bar.Max(3);
      bar.Value(1);
      bar.TextStyle(style);
      bar.Text("파일 받는 중");
      g.place(bar, "TextStyle " + std::to_string(style));
      if (++row % 2 == 0) g.newRow();
    }
    for (int rounded : {0, 5, 12, 24}) {
      ProgressBar bar(site, 300, 24);
      bar.InitProperties();
      bar.Theme(3);
      bar.RoundedValue(rounded);
      bar.TextStyle(2);
      bar.Value(75);
      g.place(bar, "RoundedValue " + std::to_string(rounded));
      if (++row % 2 == 0) g.newRow();
    }
    ProgressBar bar(site, 300, 24);
    bar.InitProperties();
    bar.Min(40);
    bar.Value(50);
    bar.TextStyle(2);
    g.place(bar, "Min 40, Value 50");
    g.newRow();
  }

  g.heading("Orientations 2 (vertical, grows downwards): Value 0, 25, 50, 100; themes 1, 5, 9, 10");
  {
    const int themes[] = {1, 5, 9, 10};
    const int values[] = {0, 25, 50, 100};
    for (int i = 0; i < 4; ++i) {
      ProgressBar bar(site, 40, 160);
      bar.InitProperties();
      bar.Orientations(2);
      bar.Theme(themes[i]);
      bar.PBSCustomeColor1(rgb(20, 120, 220));
      bar.PBSCustomeColor2(rgb(200, 200, 200));
      bar.Value(values[i]);
      bar.TextStyle(1);
      bar.TextAlignment(4);
      g.place(bar, "Theme " + std::to_string(themes[i]) + ", " + std::to_string(values[i]));
      if (i == 1) g.newRow();
    }
    g.newRow();
  }

  g.heading("GradientTwoColour and DrawGradientFourColour on a separate surface");
  {
    ProgressBar bar(site, 10, 10);
    gdi::Surface two(300, 60, gdi::RGB(255, 255, 255));
    bar.GradientTwoColour(static_cast<std::int32_t>(two.hdc()), 0, rgb(255, 0, 0), rgb(0, 0, 255), 0, 0, 300, 30);
    bar.GradientTwoColour(static_cast<std::int32_t>(two.hdc()), 1, rgb(0, 160, 0), rgb(255, 255, 0), 0, 30, 300, 60);
    g.placeSurface(two, "Two colours");
    gdi::Surface four(300, 60, gdi::RGB(255, 255, 255));
    bar.DrawGradientFourColour(static_cast<std::int32_t>(four.hdc()), 0, 0, 300, 60, rgb(255, 0, 0), rgb(0, 255, 0),
                               rgb(0, 0, 255), rgb(255, 255, 255));
    g.placeSurface(four, "Four colours");
    g.newRow();
  }

  if (!g.save(output)) {
    std::fprintf(stderr, "pbgallery: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}
