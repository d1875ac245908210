#pragma once
// Paints one page of a grid's print layout with QPainter, for the printer, PDF files and the
// preview alike. The painter's coordinates must count points from the paper's top-left corner
// (scale by the device's dots per inch / 72 before calling).

#include <cstddef>

class QPainter;

namespace veltrano::grid {

class Grid;
struct PrintLayout;

// Paints page `pageNumber` (1-based) of `layout`; `pageCount` fills the /pc code.
void paintPage(QPainter& painter, const Grid& grid, const PrintLayout& layout, int pageNumber);

}  // namespace veltrano::grid
