#pragma once
// The grid on screen: a QTableView over GridTableModel that follows the grid's widths, heights,
// hidden rows and columns, header settings, scroll bars, grid lines, font, selection colours,
// operation mode and first row shown. Rows the user selects become the grid's selected rows
// (SelModeSelected) in the row-selection operation modes, and the current cell its active cell.

#include <QTableView>
#include <memory>

#include "platform/grid/grid.h"
#include "platform/grid/grid_table_model.h"

namespace veltrano::grid {

class GridView : public QTableView {
  Q_OBJECT
 public:
  // The grid must outlive the view.
  explicit GridView(Grid& grid, QWidget* parent = nullptr);
  ~GridView() override;

  Grid& grid() const { return grid_; }
  GridTableModel* gridModel() const { return model_.get(); }
  // Applies the grid's display settings now (the view also does so on every change).
  void applySettings();

  // Pixels for a column width in characters and a row height in points, at the screen's dpi.
  int widthPixels(double chars) const;
  int heightPixels(double points) const;

 private:
  void selectionToGrid();
  Grid& grid_;
  std::unique_ptr<GridTableModel> model_;
  bool applying_ = false;
};

}  // namespace veltrano::grid
