#pragma once
// The progress bar's window: a Qt widget that owns a ProgressBar, passes its resizes in, shows
// its drawing surface and takes its window shape as the widget's mask.

#include <QWidget>

#include "updater/progress_bar.h"

namespace meridox {

class ProgressBarWidget : public QWidget {
  Q_OBJECT

 public:
  // `site` must outlive the widget. The container then calls control().InitProperties() or
  // control().ReadProperties(bag).
  explicit ProgressBarWidget(veltrano::ControlSite& site, QWidget* parent = nullptr);

  ProgressBar& control() { return bar_; }
  const ProgressBar& control() const { return bar_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void takeShape();

  ProgressBar bar_;
};

}  // namespace meridox
