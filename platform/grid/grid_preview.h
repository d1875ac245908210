#pragma once
// The print preview control: shows one page of a grid as it prints, zooms, and reports the
// pages the user turns inside it. Attached to a grid by the grid's window handle.
//
// Operations (the preview members the print window uses): setGridHwnd (the grid to show),
// setZoomState (1 zooms in one step, 2 zooms out one step, 0 fits the whole page) and
// setPageCurrent (the page to show, kept within 1 and the page count). pageChanged is emitted
// when the user turns the page inside the control (Page Up/Down, or the wheel past either end
// of the page); it is not emitted for setPageCurrent.

#include <QImage>
#include <QScrollArea>

#include "platform/grid/grid.h"

namespace veltrano::grid {

class GridPreview : public QScrollArea, private GridListener {
  Q_OBJECT
 public:
  explicit GridPreview(QWidget* parent = nullptr);
  ~GridPreview() override;

  void setGridHwnd(ui::Hwnd h);
  ui::Hwnd gridHwnd() const { return hwnd_; }
  void setZoomState(int state);
  int zoomState() const { return zoomState_; }
  // Zoom relative to the whole page fitting the control.
  double zoom() const { return zoom_; }
  void setPageCurrent(int page);
  int pageCurrent() const { return page_; }
  int pageCount() const;
  // The current page drawn at `dpi` dots per inch.
  QImage renderPage(double dpi) const;

 signals:
  void pageChanged(int page);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  class Canvas;
  void gridChanged(const GridChange& change) override;
  void turn(int delta);
  void relayout();
  Grid* grid() const;

  Canvas* canvas_;
  ui::Hwnd hwnd_ = 0;
  int page_ = 1;
  int zoomState_ = 0;
  double zoom_ = 1;
};

}  // namespace veltrano::grid
