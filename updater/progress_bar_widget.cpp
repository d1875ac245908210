#include "updater/progress_bar_widget.h"

#include <QPainter>
#include <QResizeEvent>

#include "platform/gdi/qt_bridge.h"

namespace meridox {

ProgressBarWidget::ProgressBarWidget(veltrano::ControlSite& site, QWidget* parent)
    : QWidget(parent), bar_(site, width(), height()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  bar_.setOnRedrawn([this] { takeShape(); });
}

QSize ProgressBarWidget::sizeHint() const { return {300, 24}; }

void ProgressBarWidget::takeShape() {
  // SetWindowRgn with redraw: the window takes the region as its shape and repaints.
  setMask(veltrano::gdi::qRegion(bar_.windowRegion()));
  update();
}

void ProgressBarWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, veltrano::gdi::qImage(bar_.surface()));
}

void ProgressBarWidget::resizeEvent(QResizeEvent* event) {
  bar_.Resize(event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

}  // namespace meridox
