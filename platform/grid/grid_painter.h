#pragma once
// Paints one page of a grid's print layout with QPainter, for the printer, PDF files and the
// preview alike. The painter's coordinates must count points from the paper's top-left corner
// (scale by the device's dots per inch / 72 before calling).

#include <cstddef>

class QFontMetricsF;
class QPainter;
class QString;

namespace veltrano::grid {

class Grid;
struct PrintLayout;

// Paints page `pageNumber` (1-based) of `layout`; `pageCount` fills the /pc code.
void paintPage(QPainter& painter, const Grid& grid, const PrintLayout& layout, int pageNumber);

// The text a cell shows in a space `width` wide, for the view, the preview and paper alike: a
// number that does not fit is shown as "#" signs filling the space, as spreadsheets do, so that
// a figure is never shown with digits cut off; other text comes back as it is, for the caller
// to clip.
QString cellDisplayText(const QString& text, bool number, const QFontMetricsF& metrics, double width);

}  // namespace veltrano::grid
