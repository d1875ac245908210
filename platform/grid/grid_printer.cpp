#include "platform/grid/grid_printer.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <filesystem>

#if VELTRANO_WITH_CUPS
#include <QPrinter>
#include <QPrinterInfo>
#endif

#include "platform/grid/grid.h"
#include "platform/grid/grid_painter.h"
#include "platform/runtime/error.h"

namespace veltrano::grid {
namespace {

constexpr const char* kSource = "Grid";
constexpr int kPdfResolution = 600;

[[noreturn]] void printerError(const std::string& why) {
  throw RuntimeError(kPrinterError, kSource, "Printer error: " + why);
}

QPageLayout::Orientation orientationOf(const PrintLayout& L) {
  return L.paperWidth > L.paperHeight ? QPageLayout::Landscape : QPageLayout::Portrait;
}

void paintPages(QPainter& p, QPagedPaintDevice& device, const Grid& g, const PrintLayout& L, const std::vector<int>& pages) {
  const double scale = device.logicalDpiX() / 72.0;
  bool first = true;
  for (int page : pages) {
    if (!first && !device.newPage()) printerError("cannot start a new page");
    first = false;
    p.save();
    p.scale(scale, scale);
    paintPage(p, g, L, page);
    p.restore();
  }
}

}  // namespace

void writePdf(const Grid& g, const PrintLayout& L, const std::vector<int>& pages, const std::string& path) {
  std::error_code ec;
  auto parent = std::filesystem::path(path).parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) printerError("no folder for " + path);
  {
    QPdfWriter writer(QString::fromStdString(path));
    writer.setResolution(kPdfResolution);
    writer.setTitle(QString::fromStdString(g.PrintJobName()));
    writer.setCreator(QStringLiteral("Veltrano grid"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientationOf(L), QMarginsF(0, 0, 0, 0)));
    QPainter p;
    if (!p.begin(&writer)) printerError("cannot write " + path);
    paintPages(p, writer, g, L, pages);
    if (!p.end()) printerError("cannot finish " + path);
  }
  if (!std::filesystem::exists(path, ec)) printerError("cannot write " + path);
}

std::vector<std::string> printerQueues() {
  std::vector<std::string> names;
#if VELTRANO_WITH_CUPS
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
#endif
  return names;
}

void QtPrintBackend::print(const Grid& g, const PrintLayout& L, const std::vector<int>& pages, const PrintDestination& to) {
  if (!to.pdfFile.empty()) {
    writePdf(g, L, pages, to.pdfFile);
    return;
  }
#if VELTRANO_WITH_CUPS
  QPrinterInfo info = to.printerName.empty() ? QPrinterInfo::defaultPrinter()
                                             : QPrinterInfo::printerInfo(QString::fromStdString(to.printerName));
  if (info.isNull()) printerError(to.printerName.empty() ? "no default printer" : "no printer " + to.printerName);
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::NativeFormat);
  printer.setDocName(QString::fromStdString(g.PrintJobName().empty() ? "grid" : g.PrintJobName()));
  printer.setFullPage(true);
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientationOf(L), QMarginsF(0, 0, 0, 0)));
  if (!printer.isValid()) printerError("printer " + info.printerName().toStdString() + " is not usable");
  QPainter p;
  if (!p.begin(&printer)) printerError("cannot open printer " + info.printerName().toStdString());
  paintPages(p, printer, g, L, pages);
  if (!p.end()) printerError("printing to " + info.printerName().toStdString() + " failed");
#else
  printerError("this build prints to PDF files only (built without VELTRANO_WITH_CUPS)");
#endif
}

void useQtPrinting() {
  static QtPrintBackend backend;
  if (!printBackend()) installPrintBackend(&backend);
}

}  // namespace veltrano::grid
