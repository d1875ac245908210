#include "platform/grid/grid_table_model.h"

#include <QColor>

#include "platform/grid/grid_fonts.h"
#include "platform/runtime/error.h"

namespace veltrano::grid {

QColor toQColor(std::uint32_t windowsColour) {
  std::uint32_t v = rgbOf(windowsColour);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

GridTableModel::GridTableModel(Grid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), rows_(grid.MaxRows()), cols_(grid.MaxCols()) {
  grid_.addListener(this);
}

GridTableModel::~GridTableModel() { grid_.removeListener(this); }

int GridTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int GridTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ || index.column() >= cols_) return {};
  const int row = index.row() + 1, col = index.column() + 1;
  switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(grid_.textAt(row, col));
    case Qt::EditRole: {
      std::string f = grid_.formulaAt(row, col);
      return QString::fromStdString(f.empty() ? grid_.valueAt(row, col) : "=" + f);
    }
    case Qt::TextAlignmentRole: {
      const int h = grid_.hAlignAt(row, col), v = grid_.vAlignAt(row, col);
      Qt::Alignment a = h == 1 ? Qt::AlignRight : h == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
      a |= v == 1 ? Qt::AlignBottom : v == 2 ? Qt::AlignVCenter : Qt::AlignTop;
      return static_cast<int>(a);
    }
    case Qt::BackgroundRole:
      if (grid_.isRowSelected(row) || grid_.isCellSelected(row, col)) return toQColor(grid_.SelBackColor());
      return toQColor(grid_.backColorAt(row, col));
    case Qt::ForegroundRole:
      if (grid_.isRowSelected(row) || grid_.isCellSelected(row, col)) return toQColor(grid_.SelForeColor());
      return toQColor(grid_.foreColorAt(row, col));
    case Qt::FontRole:
      return widgetFont(grid_.FontName(), grid_.FontSize(), grid_.FontBold(), grid_.FontItalic(), grid_.FontUnderline());
    default: return {};
  }
}

bool GridTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.row() >= rows_ || index.column() >= cols_) return false;
  const std::string text = value.toString().toStdString();
  const int row = grid_.Row(), col = grid_.Col();
  const bool block = grid_.BlockMode();
  try {
    grid_.BlockMode(false);
    grid_.Row(index.row() + 1);
    grid_.Col(index.column() + 1);
    if (grid_.AllowUserFormulas() && text.size() > 1 && text[0] == '=') grid_.Formula(text.substr(1));
    else grid_.Text(text);
  } catch (const RuntimeError&) {
    grid_.Row(row);
    grid_.Col(col);
    grid_.BlockMode(block);
    return false;  // the grid rejected the value; the cell keeps what it had
  }
  grid_.Row(row);
  grid_.Col(col);
  grid_.BlockMode(block);
  return true;
}

QVariant GridTableModel::headerData(int section, Qt::Orientation o, int role) const {
  if (section < 0) return {};
  if (o == Qt::Horizontal && section >= cols_) return {};
  if (o == Qt::Vertical && section >= rows_) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(o == Qt::Horizontal ? grid_.colHeaderText(section + 1) : grid_.rowHeaderText(section + 1));
    case Qt::BackgroundRole: return toQColor(grid_.ShadowColor());
    case Qt::ForegroundRole: return toQColor(grid_.ShadowText());
    case Qt::FontRole:
      return widgetFont(grid_.FontName(), grid_.FontSize(), grid_.FontBold(), grid_.FontItalic(), grid_.FontUnderline());
    case Qt::TextAlignmentRole: return static_cast<int>(Qt::AlignCenter);
    default: return {};
  }
}

Qt::ItemFlags GridTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (grid_.OperationMode() == opmode::Normal) f |= Qt::ItemIsEditable;
  return f;
}

void GridTableModel::gridChanged(const GridChange& change) {
  switch (change.kind) {
    case GridChange::Everything:
      beginResetModel();
      rows_ = grid_.MaxRows();
      cols_ = grid_.MaxCols();
      endResetModel();
      emit layoutSettingsChanged();
      break;
    case GridChange::Cells: {
      if (rows_ == 0 || cols_ == 0) break;
      const Block& b = change.cells;
      // Formulas elsewhere may follow these cells: everything shown is refreshed.
      emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1), {Qt::DisplayRole, Qt::EditRole});
      if (b.row <= 0)
        emit headerDataChanged(Qt::Horizontal, std::clamp(b.col - 1, 0, cols_ - 1), std::clamp(b.col2 - 1, 0, cols_ - 1));
      break;
    }
    case GridChange::Selection:
      if (rows_ > 0 && cols_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
      break;
    case GridChange::Layout:
      if (rows_ > 0 && cols_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
      if (cols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
      emit layoutSettingsChanged();
      break;
  }
}

}  // namespace veltrano::grid
