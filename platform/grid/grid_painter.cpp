#include "platform/grid/grid_painter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

#include "platform/grid/grid.h"
#include "platform/grid/grid_fonts.h"
#include "platform/grid/print_layout.h"

namespace veltrano::grid {
namespace {

QColor qcolour(std::uint32_t windowsColour) {
  std::uint32_t v = rgbOf(windowsColour);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

QFont runFont(const PrintRun& r, const QPaintDevice* device) {
  return pointFont(r.fontName, r.fontSize, r.bold, r.italic, r.underline, device);
}

QString runText(const PrintRun& r, int page, int pageCount) {
  if (r.field == PrintRun::PageNumber) return QString::number(page);
  if (r.field == PrintRun::PageCount) return QString::number(pageCount);
  return QString::fromStdString(r.text);
}

// One header or footer line in the box from `top` of height line.height. Glyphs are stretched
// to fill the box exactly, so that box-drawing characters of consecutive lines join.
void paintLine(QPainter& p, const PrintLine& line, double top, double left, double right, int page, int pageCount) {
  const QPaintDevice* dev = p.device();
  for (std::size_t part = 0; part < 3; ++part) {
    const auto& runs = line.parts[part];
    if (runs.empty()) continue;
    double width = 0, tallest = 0;
    for (const PrintRun& r : runs) {
      QFontMetricsF fm(runFont(r, dev), const_cast<QPaintDevice*>(dev));
      width += fm.horizontalAdvance(runText(r, page, pageCount));
      tallest = std::max(tallest, fm.height());
    }
    double x = part == 0 ? left : part == 1 ? (left + right - width) / 2 : right - width;
    const double stretch = tallest > 0 ? line.height / tallest : 1;
    for (const PrintRun& r : runs) {
      QFont f = runFont(r, dev);
      QFontMetricsF fm(f, const_cast<QPaintDevice*>(dev));
      const QString t = runText(r, page, pageCount);
      p.save();
      p.translate(x, top);
      p.scale(1, stretch);
      p.setFont(f);
      p.setPen(Qt::black);
      p.drawText(QPointF(0, (tallest - fm.height()) / 2 + fm.ascent()), t);
      p.restore();
      x += fm.horizontalAdvance(t);
    }
  }
}

Qt::PenStyle penStyle(int style) {
  switch (style) {
    case border::StyleDash: return Qt::DashLine;
    case border::StyleDot: return Qt::DotLine;
    case border::StyleDashDot: return Qt::DashDotLine;
    case border::StyleDashDotDot: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
  }
}

void drawCellText(QPainter& p, const QRectF& cell, const QString& text, int hAlign, int vAlign, bool number = false) {
  if (text.isEmpty()) return;
  Qt::Alignment a = hAlign == 1 ? Qt::AlignRight : hAlign == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
  a |= vAlign == 1 ? Qt::AlignBottom : vAlign == 2 ? Qt::AlignVCenter : Qt::AlignTop;
  const QRectF inner = cell.adjusted(1.5, 0.5, -1.5, -0.5);
  const QString shown = cellDisplayText(text, number, QFontMetricsF(p.font(), p.device()), inner.width());
  p.drawText(inner, static_cast<int>(a) | Qt::TextSingleLine, shown);
}

}  // namespace

QString cellDisplayText(const QString& text, bool number, const QFontMetricsF& metrics, double width) {
  if (!number || text.isEmpty() || metrics.horizontalAdvance(text) <= width) return text;
  const double hash = metrics.horizontalAdvance(QLatin1Char('#'));
  const int fits = hash > 0 && width > 0 ? static_cast<int>(width / hash) : 0;
  return QString(fits, QLatin1Char('#'));
}

void paintPage(QPainter& p, const Grid& g, const PrintLayout& L, int pageNumber) {
  if (pageNumber < 1 || pageNumber > static_cast<int>(L.pages.size())) return;
  const PrintPage& page = L.pages[static_cast<std::size_t>(pageNumber - 1)];
  const int pageCount = static_cast<int>(L.pages.size());
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, true);

  const double left = L.marginLeft, right = L.paperWidth - L.marginRight;
  double y = L.marginTop;
  for (const PrintLine& line : L.header.lines) {
    paintLine(p, line, y, left, right, pageNumber, pageCount);
    y += line.height;
  }
  y = L.bodyBottom();
  for (const PrintLine& line : L.footer.lines) {
    paintLine(p, line, y, left, right, pageNumber, pageCount);
    y += line.height;
  }

  // The body, in grid points scaled by the layout's scale.
  p.translate(L.marginLeft, L.bodyTop());
  p.scale(L.scale, L.scale);
  const QFont cellFont = pointFont(g.FontName(), g.FontSize(), g.FontBold(), g.FontItalic(), g.FontUnderline(), p.device());
  p.setFont(cellFont);
  std::vector<double> xs{L.rowHeaderWidth};
  for (int c : page.cols) xs.push_back(xs.back() + colWidthPoints(g, c));
  std::vector<double> ys{L.colHeaderHeight};
  for (int r : page.rows) ys.push_back(ys.back() + rowHeightPoints(g, r));
  const double width = xs.back(), height = ys.back();
  const QColor gridColour = qcolour(g.GridColor());

  // Headers.
  if (L.colHeaders && L.colHeaderHeight > 0) {
    p.fillRect(QRectF(0, 0, width, L.colHeaderHeight), qcolour(g.ShadowColor()));
    p.setPen(qcolour(g.ShadowText()));
    for (std::size_t i = 0; i < page.cols.size(); ++i)
      drawCellText(p, QRectF(xs[i], 0, xs[i + 1] - xs[i], L.colHeaderHeight),
                   QString::fromStdString(g.colHeaderText(page.cols[i])), 2, 2);
  }
  if (L.rowHeaders && L.rowHeaderWidth > 0) {
    p.fillRect(QRectF(0, 0, L.rowHeaderWidth, height), qcolour(g.ShadowColor()));
    p.setPen(qcolour(g.ShadowText()));
    for (std::size_t i = 0; i < page.rows.size(); ++i)
      drawCellText(p, QRectF(0, ys[i], L.rowHeaderWidth, ys[i + 1] - ys[i]),
                   QString::fromStdString(g.rowHeaderText(page.rows[i])), 2, 2);
  }

  // Cells.
  for (std::size_t i = 0; i < page.rows.size(); ++i) {
    const int row = page.rows[i];
    for (std::size_t j = 0; j < page.cols.size(); ++j) {
      const int col = page.cols[j];
      const QRectF cell(xs[j], ys[i], xs[j + 1] - xs[j], ys[i + 1] - ys[i]);
      const std::uint32_t back = rgbOf(g.backColorAt(row, col));
      if (back != 0xFFFFFF) p.fillRect(cell, qcolour(back));
      p.setPen(qcolour(g.foreColorAt(row, col)));
      p.save();
      p.setClipRect(cell);
      drawCellText(p, cell, QString::fromStdString(g.textAt(row, col)), g.hAlignAt(row, col), g.vAlignAt(row, col),
                   g.showsNumberAt(row, col));
      p.restore();
    }
  }

  // Grid lines, the outline, and cell borders on top.
  if (g.PrintGrid()) {
    QPen pen(gridColour, 0.5, g.GridSolid() ? Qt::SolidLine : Qt::DotLine);
    p.setPen(pen);
    if (g.GridShowVert())
      for (double x : xs) p.drawLine(QPointF(x, 0), QPointF(x, height));
    if (g.GridShowHoriz())
      for (double yy : ys) p.drawLine(QPointF(0, yy), QPointF(width, yy));
  }
  if (g.PrintBorder()) {
    p.setPen(QPen(Qt::black, 0.8));
    p.drawRect(QRectF(0, 0, width, height));
  }
  for (std::size_t i = 0; i < page.rows.size(); ++i)
    for (std::size_t j = 0; j < page.cols.size(); ++j) {
      const CellBorders b = g.cellBorders(page.rows[i], page.cols[j]);
      auto side = [&](const BorderLine& l, QPointF a, QPointF z) {
        if (l.style == border::StyleNone) return;
        p.setPen(QPen(qcolour(l.color), 0.8, penStyle(l.style)));
        p.drawLine(a, z);
      };
      const double x0 = xs[j], x1 = xs[j + 1], y0 = ys[i], y1 = ys[i + 1];
      side(b.left, {x0, y0}, {x0, y1});
      side(b.right, {x1, y0}, {x1, y1});
      side(b.top, {x0, y0}, {x1, y0});
      side(b.bottom, {x0, y1}, {x1, y1});
    }
  p.restore();
}

}  // namespace veltrano::grid
