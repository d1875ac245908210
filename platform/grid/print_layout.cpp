#include "platform/grid/print_layout.h"

#include <algorithm>
#include <cstdlib>

#include "platform/grid/grid.h"

namespace veltrano::grid {
namespace {

PrintBackend*& backendSlot() {
  static PrintBackend* backend = nullptr;
  return backend;
}

// The quoted argument of /fn and /fz at `pos`; advances past it.
bool quoted(std::string_view s, std::size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  std::size_t end = s.find('"', pos + 1);
  if (end == std::string_view::npos) return false;
  out = std::string(s.substr(pos + 1, end - pos - 1));
  pos = end + 1;
  return true;
}

}  // namespace

PrintBackend* printBackend() { return backendSlot(); }
void installPrintBackend(PrintBackend* backend) { backendSlot() = backend; }

double PrintText::height() const {
  double h = 0;
  for (const PrintLine& l : lines) h += l.height;
  return h;
}

PrintText parsePrintCodes(std::string_view s, const std::string& baseFont, double baseSize) {
  PrintText out;
  PrintRun state;
  state.fontName = baseFont;
  state.fontSize = baseSize;
  int align = 0;
  PrintLine line;
  bool lineHasText = false;
  double lineSize = 0;

  auto addText = [&](std::string text, PrintRun::Field field) {
    auto& part = line.parts[static_cast<std::size_t>(align)];
    if (field == PrintRun::Plain && !part.empty()) {
      PrintRun& last = part.back();
      if (last.field == PrintRun::Plain && last.fontName == state.fontName && last.fontSize == state.fontSize &&
          last.bold == state.bold && last.italic == state.italic && last.underline == state.underline) {
        last.text += text;
        return;
      }
    }
    PrintRun run = state;
    run.text = std::move(text);
    run.field = field;
    part.push_back(std::move(run));
    lineSize = lineHasText ? std::max(lineSize, state.fontSize) : state.fontSize;
    lineHasText = true;
  };
  auto endLine = [&] {
    line.height = (lineHasText ? lineSize : state.fontSize) * kLineSpacing;
    out.lines.push_back(std::move(line));
    line = PrintLine{};
    lineHasText = false;
  };

  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '/') {
      std::size_t next = s.find('/', i);
      if (next == std::string_view::npos) next = s.size();
      addText(std::string(s.substr(i, next - i)), PrintRun::Plain);
      i = next;
      continue;
    }
    std::string_view rest = s.substr(i + 1);
    std::size_t p = i + 3;
    std::string arg;
    if (rest.starts_with("fn") && quoted(s, p, arg)) {
      if (!arg.empty()) state.fontName = arg;
      i = p;
    } else if (rest.starts_with("fz") && quoted(s, p, arg)) {
      double size = std::strtod(arg.c_str(), nullptr);
      if (size > 0 && size <= 409) state.fontSize = size;
      i = p;
    } else if ((rest.starts_with("fb") || rest.starts_with("fi") || rest.starts_with("fu")) && rest.size() >= 3 &&
               (rest[2] == '0' || rest[2] == '1')) {
      bool on = rest[2] == '1';
      (rest[1] == 'b' ? state.bold : rest[1] == 'i' ? state.italic : state.underline) = on;
      i += 4;
    } else if (rest.starts_with("pc")) {
      addText("", PrintRun::PageCount);
      i += 3;
    } else if (rest.starts_with("p")) {
      addText("", PrintRun::PageNumber);
      i += 2;
    } else if (rest.starts_with("n")) {
      endLine();
      i += 2;
    } else if (rest.starts_with("l") || rest.starts_with("c") || rest.starts_with("r")) {
      align = rest[0] == 'l' ? 0 : rest[0] == 'c' ? 1 : 2;
      i += 2;
    } else {
      addText("/", PrintRun::Plain);
      i += 1;
    }
  }
  if (lineHasText) endLine();
  return out;
}

std::string partText(const std::vector<PrintRun>& part, int page, int pageCount) {
  std::string t;
  for (const PrintRun& r : part) {
    if (r.field == PrintRun::PageNumber) t += std::to_string(page);
    else if (r.field == PrintRun::PageCount) t += std::to_string(pageCount);
    else t += r.text;
  }
  return t;
}

double colWidthPoints(const Grid& g, int col) { return g.COLWIDTH(col) * kPointsPerWidthUnit; }
double rowHeightPoints(const Grid& g, int row) { return g.RowHeight(row); }

PrintLayout layoutPrint(const Grid& g, bool cellRange) {
  PrintLayout L;
  if (g.PrintOrientation() == 2) std::swap(L.paperWidth, L.paperHeight);
  auto margin = [](int twips) { return std::max(kMinMarginPoints, twips / 20.0); };
  L.marginLeft = margin(g.PrintMarginLeft());
  L.marginTop = margin(g.PrintMarginTop());
  L.marginRight = margin(g.PrintMarginRight());
  L.marginBottom = margin(g.PrintMarginBottom());
  L.header = parsePrintCodes(g.PrintHeader(), g.FontName(), g.FontSize());
  L.footer = parsePrintCodes(g.PrintFooter(), g.FontName(), g.FontSize());
  L.colHeaders = g.PrintColHeaders() && g.ColHeadersShow() && g.isRowShown(0);
  L.rowHeaders = g.PrintRowHeaders() && g.RowHeadersShow() && g.isColShown(0);
  L.colHeaderHeight = L.colHeaders ? rowHeightPoints(g, 0) : 0;
  L.rowHeaderWidth = L.rowHeaders ? colWidthPoints(g, 0) : 0;

  int row1 = 1, row2 = g.MaxRows(), col1 = 1, col2 = g.MaxCols();
  if (cellRange) {
    if (g.Row() != -1 && g.Row2() != -1) {
      row1 = std::max(1, std::min(g.Row(), g.Row2()));
      row2 = std::min(row2, std::max(g.Row(), g.Row2()));
    }
    if (g.Col() != -1 && g.col2() != -1) {
      col1 = std::max(1, std::min(g.Col(), g.col2()));
      col2 = std::min(col2, std::max(g.Col(), g.col2()));
    }
  }
  std::vector<int> rows, cols;
  for (int r = row1; r <= row2; ++r)
    if (g.isRowShown(r)) rows.push_back(r);
  for (int c = col1; c <= col2; ++c)
    if (g.isColShown(c)) cols.push_back(c);

  const double across = L.paperWidth - L.marginLeft - L.marginRight;
  double total = L.rowHeaderWidth;
  for (int c : cols) total += colWidthPoints(g, c);
  if (g.PrintSmartPrint() && total > across) L.scale = std::max(0.3, across / total);

  // Columns across: greedy bands, each at least one column.
  std::vector<std::vector<int>> bands;
  double room = across / L.scale - L.rowHeaderWidth;
  for (int c : cols) {
    double w = colWidthPoints(g, c);
    if (bands.empty() || (w > room && !bands.back().empty())) {
      bands.emplace_back();
      room = across / L.scale - L.rowHeaderWidth;
    }
    bands.back().push_back(c);
    room -= w;
  }
  if (bands.empty()) bands.emplace_back();

  // Rows down: greedy chunks, each at least one row.
  const double down = (L.bodyBottom() - L.bodyTop()) / L.scale - L.colHeaderHeight;
  std::vector<std::vector<int>> chunks;
  double left = 0;
  for (int r : rows) {
    double h = rowHeightPoints(g, r);
    if (chunks.empty() || (h > left && !chunks.back().empty())) {
      chunks.emplace_back();
      left = down;
    }
    chunks.back().push_back(r);
    left -= h;
  }
  if (chunks.empty()) chunks.emplace_back();

  int number = 0;
  for (const auto& band : bands)
    for (const auto& chunk : chunks) L.pages.push_back({++number, chunk, band});
  return L;
}

int pageOfRow(const Grid& g, int row) {
  PrintLayout L = layoutPrint(g, false);
  for (const PrintPage& p : L.pages)
    if (std::find(p.rows.begin(), p.rows.end(), row) != p.rows.end()) return p.number;
  return 1;
}

}  // namespace veltrano::grid
