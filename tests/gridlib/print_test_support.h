#pragma once
// Shared by the print job, preview and setup window suites: the freight grid and the .xls reader
// of the export suite, and the way a product program's test reaches the library's windows (by
// the objectName of the window and of each control).

#include <QApplication>
#include <QWidget>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "freight_grid.h"
#include "platform/grid/grid.h"
#include "xls_read.h"

namespace printjob_test {

using veltrano::grid::Grid;

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

}  // namespace printjob_test
