#include "platform/grid/grid_view.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QStyle>
#include <QStyledItemDelegate>
#include <cmath>

#include "platform/grid/grid_fonts.h"
#include "platform/grid/grid_painter.h"
#include "platform/grid/grid_printer.h"
#include "platform/grid/print_layout.h"

namespace veltrano::grid {

namespace {

// Draws cells as the default delegate does, except that a number too wide for its cell is
// shown as "#" signs (grid_painter.h) instead of being cut short.
class CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(const Grid& grid, QObject* parent) : QStyledItemDelegate(parent), grid_(grid) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->rect.width() <= 0 || !grid_.showsNumberAt(index.row() + 1, index.column() + 1)) return;
    const QWidget* w = option->widget;
    const QStyle* style = w ? w->style() : QApplication::style();
    // The style keeps this margin on both sides of an item's text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
    option->text = cellDisplayText(option->text, true, QFontMetricsF(option->font), option->rect.width() - 2.0 * margin);
  }

 private:
  const Grid& grid_;
};

}  // namespace

GridView::GridView(Grid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(std::make_unique<GridTableModel>(grid)) {
  useQtPrinting();
  setModel(model_.get());
  setItemDelegate(new CellDelegate(grid_, this));
  connect(model_.get(), &GridTableModel::layoutSettingsChanged, this, &GridView::applySettings);
  connect(model_.get(), &QAbstractItemModel::modelReset, this, &GridView::applySettings);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { selectionToGrid(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& cur) {
    if (applying_ || !cur.isValid() || !grid_.MoveActiveOnFocus()) return;
    applying_ = true;
    const int row = grid_.Row(), col = grid_.Col();
    grid_.Row(cur.row() + 1);
    grid_.Col(cur.column() + 1);
    grid_.Action(action::ActiveCell);
    grid_.Row(row);
    grid_.Col(col);
    applying_ = false;
  });
  applySettings();
}

GridView::~GridView() { setModel(nullptr); }

int GridView::widthPixels(double chars) const {
  return static_cast<int>(std::lround(chars * kPointsPerWidthUnit * logicalDpiX() / 72.0));
}
int GridView::heightPixels(double points) const { return static_cast<int>(std::lround(points * logicalDpiY() / 72.0)); }

void GridView::applySettings() {
  if (applying_) return;
  applying_ = true;
  setFont(widgetFont(grid_.FontName(), grid_.FontSize(), grid_.FontBold(), grid_.FontItalic(), grid_.FontUnderline()));
  QPalette pal = palette();
  pal.setColor(QPalette::Highlight, toQColor(grid_.SelBackColor()));
  pal.setColor(QPalette::HighlightedText, toQColor(grid_.SelForeColor()));
  pal.setColor(QPalette::Base, toQColor(grid_.backColorAt(1, 1)));
  setPalette(pal);
  setShowGrid(grid_.GridShowHoriz() || grid_.GridShowVert());
  setGridStyle(grid_.GridSolid() ? Qt::SolidLine : Qt::DotLine);
  const int bars = grid_.ScrollBars();
  setHorizontalScrollBarPolicy(bars & 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(bars & 2 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  horizontalHeader()->setVisible(grid_.ColHeadersShow() && grid_.isRowShown(0));
  verticalHeader()->setVisible(grid_.RowHeadersShow() && grid_.isColShown(0));
  if (grid_.isColShown(0)) verticalHeader()->setFixedWidth(std::max(widthPixels(grid_.COLWIDTH(0)), 8));
  horizontalHeader()->setFixedHeight(std::max(heightPixels(grid_.RowHeight(0)), 8));
  horizontalHeader()->setSectionResizeMode(grid_.UserResize() & 1 ? QHeaderView::Interactive : QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(grid_.UserResize() & 2 ? QHeaderView::Interactive : QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setMinimumSectionSize(1);
  const int mode = grid_.OperationMode();
  setSelectionBehavior(opmode::selectsRows(mode) || mode == opmode::RowMode ? SelectRows : SelectItems);
  setSelectionMode(mode == opmode::ExtendedSelect   ? ExtendedSelection
                   : mode == opmode::MultiSelect    ? MultiSelection
                   : mode == opmode::SingleSelect   ? SingleSelection
                   : mode == opmode::ReadOnly       ? NoSelection
                                                    : ExtendedSelection);
  setEditTriggers(mode == opmode::Normal ? (DoubleClicked | EditKeyPressed | AnyKeyPressed) : NoEditTriggers);
  const int cols = model_->columnCount(), rows = model_->rowCount();
  for (int c = 0; c < cols; ++c) {
    setColumnHidden(c, !grid_.isColShown(c + 1));
    setColumnWidth(c, widthPixels(grid_.COLWIDTH(c + 1)));
  }
  const int defaultHeight = heightPixels(grid_.RowHeight(-1));
  verticalHeader()->setDefaultSectionSize(std::max(1, defaultHeight));
  for (int r = 0; r < rows; ++r) {
    const bool shown = grid_.isRowShown(r + 1);
    if (isRowHidden(r) == shown) setRowHidden(r, !shown);
    const int h = heightPixels(grid_.RowHeight(r + 1));
    if (shown && h != defaultHeight) setRowHeight(r, h);
  }
  if (rows > 0 && grid_.TopRow() >= 1 && grid_.TopRow() <= rows)
    scrollTo(model_->index(grid_.TopRow() - 1, 0), PositionAtTop);
  applying_ = false;
}

void GridView::selectionToGrid() {
  if (applying_ || !opmode::selectsRows(grid_.OperationMode())) return;
  applying_ = true;
  const int row = grid_.Row();
  grid_.Row(-1);
  grid_.SelModeSelected(false);
  for (const QModelIndex& idx : selectionModel()->selectedRows()) {
    grid_.Row(idx.row() + 1);
    grid_.SelModeSelected(true);
  }
  grid_.Row(row);
  applying_ = false;
}

}  // namespace veltrano::grid
