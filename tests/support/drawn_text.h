#pragma once
// A paint device that keeps every run of text painted on it, with the run's box on the device,
// so that tests check what is drawn (on screen, in the preview, on paper) rather than what a
// PDF file's text layer holds. Nothing else is kept. At the default 72 dots per inch one unit is
// one point; a widget is drawn at its screen's dots per inch.

#include <QPaintDevice>
#include <QPaintEngine>
#include <QRectF>
#include <QString>
#include <QTextItem>
#include <QTransform>
#include <vector>

namespace veltrano::test {

struct DrawnRun {
  QString text;
  QRectF box;  // device units
};

class DrawnText : public QPaintDevice {
 public:
  DrawnText(int width, int height, int dpi = 72) : width_(width), height_(height), dpi_(dpi) {}
  ~DrawnText() override = default;

  QPaintEngine* paintEngine() const override { return &engine_; }
  const std::vector<DrawnRun>& runs() const { return engine_.runs; }
  // The runs whose text contains `part`.
  std::vector<DrawnRun> containing(const QString& part) const {
    std::vector<DrawnRun> out;
    for (const DrawnRun& r : engine_.runs)
      if (r.text.contains(part)) out.push_back(r);
    return out;
  }

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth: return width_;
      case PdmHeight: return height_;
      case PdmWidthMM: return width_ * 254 / (10 * dpi_);
      case PdmHeightMM: return height_ * 254 / (10 * dpi_);
      case PdmNumColors: return 0x7fffffff;
      case PdmDepth: return 32;
      case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return dpi_;
      default: return QPaintDevice::metric(m);
    }
  }

 private:
  class Engine : public QPaintEngine {
   public:
    Engine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
      if (state.state() & DirtyTransform) transform_ = state.transform();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath&) override {}
    void drawTextItem(const QPointF& at, const QTextItem& item) override {
      const QRectF box(at.x(), at.y() - item.ascent(), item.width(), item.ascent() + item.descent());
      runs.push_back({item.text(), transform_.mapRect(box)});
    }
    Type type() const override { return User; }

    std::vector<DrawnRun> runs;

   private:
    QTransform transform_;
  };

  int width_, height_, dpi_;
  mutable Engine engine_;
};

}  // namespace veltrano::test
