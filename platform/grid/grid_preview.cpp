#include "platform/grid/grid_preview.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "platform/grid/grid_painter.h"
#include "platform/grid/grid_printer.h"
#include "platform/grid/print_layout.h"

namespace veltrano::grid {
namespace {
constexpr double kZoomStep = 1.25, kZoomMin = 0.25, kZoomMax = 6.0;
constexpr int kGap = 12;  // pixels around the page
}  // namespace

class GridPreview::Canvas : public QWidget {
 public:
  explicit Canvas(GridPreview* owner) : QWidget(owner), owner_(owner) {}
  // Pixels per point at which the page is shown.
  double pixelsPerPoint() const {
    Grid* g = owner_->grid();
    PrintLayout L = g ? layoutPrint(*g, false) : PrintLayout{};
    const QSize view = owner_->viewport()->size();
    const double fit = std::min((view.width() - 2.0 * kGap) / L.paperWidth, (view.height() - 2.0 * kGap) / L.paperHeight);
    return std::max(0.05, fit) * owner_->zoom_;
  }
  QSize pageSize() const {
    Grid* g = owner_->grid();
    PrintLayout L = g ? layoutPrint(*g, false) : PrintLayout{};
    const double ppp = pixelsPerPoint();
    return QSize(static_cast<int>(L.paperWidth * ppp), static_cast<int>(L.paperHeight * ppp));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(128, 128, 128));
    Grid* g = owner_->grid();
    if (!g) return;
    const QSize size = pageSize();
    const QRect pageRect((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
    p.fillRect(pageRect, Qt::white);
    const PrintLayout L = layoutPrint(*g, false);
    const double ppp = pixelsPerPoint();
    p.translate(pageRect.topLeft());
    p.scale(ppp, ppp);
    paintPage(p, *g, L, owner_->page_);
  }

 private:
  GridPreview* owner_;
};

GridPreview::GridPreview(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(this)) {
  useQtPrinting();
  setWidget(canvas_);
  setWidgetResizable(false);
  setAlignment(Qt::AlignCenter);
  setFocusPolicy(Qt::StrongFocus);
  relayout();
}

GridPreview::~GridPreview() {
  if (Grid* g = grid()) g->removeListener(this);
}

Grid* GridPreview::grid() const { return Grid::fromHwnd(hwnd_); }

void GridPreview::setGridHwnd(ui::Hwnd h) {
  if (Grid* old = grid()) old->removeListener(this);
  hwnd_ = h;
  if (Grid* g = grid()) g->addListener(this);
  page_ = std::clamp(page_, 1, std::max(1, pageCount()));
  relayout();
}

int GridPreview::pageCount() const {
  Grid* g = grid();
  return g ? g->PrintPageCount() : 0;
}

void GridPreview::setZoomState(int state) {
  zoomState_ = state;
  if (state == 1) zoom_ = std::min(kZoomMax, zoom_ * kZoomStep);
  else if (state == 2) zoom_ = std::max(kZoomMin, zoom_ / kZoomStep);
  else zoom_ = 1;
  relayout();
}

void GridPreview::setPageCurrent(int page) {
  page_ = std::clamp(page, 1, std::max(1, pageCount()));
  relayout();
}

void GridPreview::turn(int delta) {
  const int next = std::clamp(page_ + delta, 1, std::max(1, pageCount()));
  if (next == page_) return;
  page_ = next;
  relayout();
  emit pageChanged(page_);
}

void GridPreview::relayout() {
  const QSize page = canvas_->pageSize();
  canvas_->resize(std::max(page.width() + 2 * kGap, viewport()->width()), std::max(page.height() + 2 * kGap, viewport()->height()));
  canvas_->update();
}

void GridPreview::gridChanged(const GridChange&) {
  page_ = std::clamp(page_, 1, std::max(1, pageCount()));
  relayout();
}

void GridPreview::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_PageDown) turn(1);
  else if (e->key() == Qt::Key_PageUp) turn(-1);
  else QScrollArea::keyPressEvent(e);
}

void GridPreview::wheelEvent(QWheelEvent* e) {
  QScrollBar* bar = verticalScrollBar();
  const int dy = e->angleDelta().y();
  if (dy < 0 && bar->value() >= bar->maximum()) {
    turn(1);
    bar->setValue(bar->minimum());
  } else if (dy > 0 && bar->value() <= bar->minimum()) {
    turn(-1);
  } else {
    QScrollArea::wheelEvent(e);
  }
}

void GridPreview::resizeEvent(QResizeEvent* e) {
  QScrollArea::resizeEvent(e);
  relayout();
}

QImage GridPreview::renderPage(double dpi) const {
  Grid* g = grid();
  const PrintLayout L = g ? layoutPrint(*g, false) : PrintLayout{};
  QImage img(static_cast<int>(L.paperWidth * dpi / 72), static_cast<int>(L.paperHeight * dpi / 72), QImage::Format_RGB32);
  img.setDotsPerMeterX(static_cast<int>(dpi / 0.0254));
  img.setDotsPerMeterY(static_cast<int>(dpi / 0.0254));
  img.fill(Qt::white);
  if (g) {
    QPainter p(&img);
    p.scale(dpi / 72, dpi / 72);
    paintPage(p, *g, L, page_);
  }
  return img;
}

}  // namespace veltrano::grid
