#pragma once
// The Qt print backend of the grid: PDF files through QPdfWriter and the system's printer
// queue through QPrinter (CUPS), the latter only when built with VELTRANO_WITH_CUPS.

#include <string>
#include <vector>

#include "platform/grid/print_layout.h"

namespace veltrano::grid {

class QtPrintBackend : public PrintBackend {
 public:
  // Raises RuntimeError 482 when the file or the printer cannot be written.
  void print(const Grid& g, const PrintLayout& layout, const std::vector<int>& pages,
             const PrintDestination& to) override;
};

// Installs the Qt backend for the process, once (the grid view and the preview call it too).
// Needs a QGuiApplication when printing.
void useQtPrinting();

// Writes `pages` (1-based) of the layout into a PDF file, A4 in the layout's orientation.
void writePdf(const Grid& g, const PrintLayout& layout, const std::vector<int>& pages, const std::string& path);

// The printer queues of the system (empty when built without CUPS).
std::vector<std::string> printerQueues();

}  // namespace veltrano::grid
