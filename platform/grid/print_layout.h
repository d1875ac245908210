#pragma once
// Printing the grid without a toolkit: the header and footer print codes, the page layout
// (margins, orientation, rows and columns per page) and the backend that renders pages.
//
// Print codes in PrintHeader and PrintFooter: /fn"name" font name, /fz"size" font size in points,
// /fb1 /fb0 bold on and off, /fi1 /fi0 italic, /fu1 /fu0 underline, /l /c /r left, centre and
// right part of the line, /n new line, /p page number, /pc page count. A code's setting holds
// until changed, across lines. A slash that starts no code, or a code without its quoted
// argument, is printed as written. A line's height follows the largest font used on it (the
// font in force when it has no text); a last line with no text adds nothing, so a text ending
// with /n does not grow the header. Headers and footers of the same line count and font sizes
// therefore take the same room, and give the same page breaks.
//
// Layout: A4 paper in points (1/72 inch); margins from the grid in twips, never less than a
// quarter inch (the edge a printer cannot reach); the header at the top margin, the footer
// above the bottom margin, the body between with the column-header row repeated on each page.
// Hidden rows and columns (and those of size 0) are left out. Columns that do not fit across
// the page go to further pages, all rows of the first columns first; with PrintSmartPrint the
// body is first scaled down (to 30% at most) to fit the columns across one page.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::grid {

class Grid;

inline constexpr double kA4Width = 595.28, kA4Height = 841.89;  // points
inline constexpr double kMinMarginPoints = 18;                  // a quarter inch
inline constexpr double kLineSpacing = 1.2;                     // line height per point of font

struct PrintRun {
  enum Field { Plain, PageNumber, PageCount };
  std::string text;
  Field field = Plain;
  std::string fontName;
  double fontSize = 9;
  bool bold = false, italic = false, underline = false;
};

struct PrintLine {
  std::array<std::vector<PrintRun>, 3> parts;  // left, centre, right
  double height = 0;                           // points
};

struct PrintText {
  std::vector<PrintLine> lines;
  double height() const;
};

PrintText parsePrintCodes(std::string_view codes, const std::string& baseFont, double baseSize);
// The text of one part of a line with the page fields filled in.
std::string partText(const std::vector<PrintRun>& part, int page, int pageCount);

struct PrintPage {
  int number = 1;
  std::vector<int> rows;  // grid rows on the page, in order
  std::vector<int> cols;  // grid columns on the page, in order
};

struct PrintLayout {
  double paperWidth = kA4Width, paperHeight = kA4Height;
  double marginLeft = kMinMarginPoints, marginTop = kMinMarginPoints, marginRight = kMinMarginPoints,
         marginBottom = kMinMarginPoints;
  double scale = 1;  // of the grid body
  PrintText header, footer;
  bool colHeaders = false, rowHeaders = false;
  double rowHeaderWidth = 0;   // points, before scaling
  double colHeaderHeight = 0;  // points, before scaling
  std::vector<PrintPage> pages;

  double bodyTop() const { return marginTop + header.height(); }
  double bodyBottom() const { return paperHeight - marginBottom - footer.height(); }
};

// Column width and row height in points.
double colWidthPoints(const Grid& g, int col);
double rowHeightPoints(const Grid& g, int row);

// Lays out the whole sheet, or the block Col/Row to col2/Row2 when `cellRange`.
PrintLayout layoutPrint(const Grid& g, bool cellRange);
// The first page that holds `row` (1 when no page does).
int pageOfRow(const Grid& g, int row);

struct PrintDestination {
  std::string pdfFile;      // set: write a PDF file
  std::string printerName;  // else this printer queue (empty: the default printer)
};

// Renders pages. The Qt backend (grid_printer.h) writes PDF files and prints through the
// system's printer queue; it raises RuntimeError 482 when the output cannot be made.
class PrintBackend {
 public:
  virtual ~PrintBackend() = default;
  virtual void print(const Grid& g, const PrintLayout& layout, const std::vector<int>& pages,
                     const PrintDestination& to) = 0;
};

// The backend in force (nullptr until one is installed); the caller keeps it alive.
PrintBackend* printBackend();
void installPrintBackend(PrintBackend* backend);

}  // namespace veltrano::grid
