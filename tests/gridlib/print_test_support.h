#pragma once
// Shared by the print job, preview, setup window and export suites: a freight grid as a product
// program shows it, and the way a product program's test reaches the library's windows (by the
// objectName of the window and of each control).

#include <QApplication>
#include <QWidget>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/grid/grid.h"

namespace printjob_test {

using veltrano::grid::Grid;

// Columns of the freight grid, in order.
enum FreightCol { kDate = 1, kShipper, kVehicle, kTrips, kFare, kCumulative, kNote, kFreightCols = kNote };

// Fills `g` through SPREAD.SpreadReset and SpreadDisplayOne with `records` freight records: date,
// shipper and vehicle texts, trips (integer), fare and cumulative fare (numbers, the latter
// headed "누계금액"), note (text). Record i (from 1) has trips i % 5 + 1 and fare 1000 * i.
// Needs a registry store (test::ScopedRegistry).
void freightGrid(Grid& g, int records);

// Deletes the windows closed so far (their deletion waits for the event loop).
void settle();
// The open top-level window with this objectName, or nullptr.
QWidget* window(const char* name);
template <class T>
T* control(QWidget* w, const char* name) {
  return w ? w->findChild<T*>(QString::fromUtf8(name)) : nullptr;
}

// Pictures and PDF files for people to look at: <build>/printjob-output.
std::filesystem::path outputFolder();

int pdfPages(const std::filesystem::path& pdf);
// The text of a PDF file without blanks (extracted text has no reliable blanks between words).
std::string pdfText(const std::filesystem::path& pdf);

// An .xls file as python3-xlrd reads it (tests/gridlib/xls_dump.py): cells by 0-based row and
// column, fonts in the reader's order ("name height bold italic underline struck").
struct XlsCell {
  std::string type;   // "text" or "number"
  std::string value;  // numbers as Python's repr ("3000.0")
  int font = -1, align = -1;
};
struct XlsRead {
  std::string error;
  std::map<std::pair<int, int>, XlsCell> cells;
  std::vector<std::string> fonts;
  int rows() const;  // 1 + the last row holding a cell (0 when none)
  int cols() const;
  std::string text(int row, int col) const;  // "" for no cell
};
XlsRead readXls(const std::filesystem::path& file);

}  // namespace printjob_test
