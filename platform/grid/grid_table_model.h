#pragma once
// The grid as a Qt item model: model row i and column j are grid row i + 1 and column j + 1;
// the headers are the grid's header row and column. Follows the grid's changes (a structural
// change resets the model, a change of cells emits dataChanged).

#include <QAbstractTableModel>

#include "platform/grid/grid.h"

namespace veltrano::grid {

class GridTableModel : public QAbstractTableModel, private GridListener {
  Q_OBJECT
 public:
  // The grid must outlive the model.
  explicit GridTableModel(Grid& grid, QObject* parent = nullptr);
  ~GridTableModel() override;

  Grid& grid() const { return grid_; }
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // Sizes, hidden rows and columns, colours or other display settings changed.
  void layoutSettingsChanged();

 private:
  void gridChanged(const GridChange& change) override;
  Grid& grid_;
  int rows_ = 0, cols_ = 0;  // as last announced to the views
};

// A Windows colour value as a QColor.
QColor toQColor(std::uint32_t windowsColour);

}  // namespace veltrano::grid
