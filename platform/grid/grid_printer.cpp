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
  throw RuntimeError(kPrinterError, kSource, "인쇄 오류: " + why);
}

QPageLayout::Orientation orientationOf(const PrintLayout& L) {
  return L.paperWidth > L.paperHeight ? QPageLayout::Landscape : QPageLayout::Portrait;
}

void paintPages(QPainter& p, QPagedPaintDevice& device, const Grid& g, const PrintLayout& L, const std::vector<int>& pages) {
  const double scale = device.logicalDpiX() / 72.0;
  bool first = true;
  for (int page : pages) {
    if (!first && !device.newPage()) printerError("새 페이지를 시작할 수 없습니다");
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
  if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) printerError(path + " 파일을 둘 폴더가 없습니다");
  {
    QPdfWriter writer(QString::fromStdString(path));
    writer.setResolution(kPdfResolution);
    writer.setTitle(QString::fromStdString(g.PrintJobName()));
    writer.setCreator(QStringLiteral("Veltrano grid"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientationOf(L), QMarginsF(0, 0, 0, 0)));
    QPainter p;
    if (!p.begin(&writer)) printerError(path + " 파일을 쓸 수 없습니다");
    paintPages(p, writer, g, L, pages);
    if (!p.end()) printerError(path + " 파일을 마무리하지 못했습니다");
  }
  if (!std::filesystem::exists(path, ec)) printerError(path + " 파일을 쓸 수 없습니다");
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
  if (info.isNull()) printerError(to.printerName.empty() ? "기본 프린터가 지정되어 있지 않습니다" : to.printerName + " 프린터가 없습니다");
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::NativeFormat);
  printer.setDocName(QString::fromStdString(g.PrintJobName().empty() ? "grid" : g.PrintJobName()));
  printer.setFullPage(true);
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientationOf(L), QMarginsF(0, 0, 0, 0)));
  if (!printer.isValid()) printerError(info.printerName().toStdString() + " 프린터를 사용할 수 없습니다");
  QPainter p;
  if (!p.begin(&printer)) printerError(info.printerName().toStdString() + " 프린터를 열 수 없습니다");
  paintPages(p, printer, g, L, pages);
  if (!p.end()) printerError(info.printerName().toStdString() + " 프린터로 인쇄하지 못했습니다");
#else
  printerError("이 프로그램은 PDF 파일로만 인쇄합니다 (VELTRANO_WITH_CUPS 없이 빌드됨)");
#endif
}

void useQtPrinting() {
  static QtPrintBackend backend;
  if (!printBackend()) installPrintBackend(&backend);
}

}  // namespace veltrano::grid
