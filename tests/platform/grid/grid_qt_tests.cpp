#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QSignalSpy>
#include <filesystem>

#include "platform/grid/grid.h"
#include "platform/grid/grid_painter.h"
#include "platform/grid/grid_preview.h"
#include "platform/grid/grid_printer.h"
#include "platform/grid/grid_table_model.h"
#include "platform/grid/grid_view.h"
#include "platform/grid/print_layout.h"
#include "platform/runtime/error.h"
#include "support/drawn_text.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace veltrano::grid;
namespace fs = std::filesystem;

namespace {

// Pictures and PDF files for people to look at go into the build folder.
fs::path outputFolder() {
  fs::path dir = veltrano::test::builtProgram("grid-output");
  fs::create_directories(dir);
  return dir;
}

const char* kBox[] = {"┏━┳━━━━┳━━━━┳━━━━┳━━━━┳━━━━┓    ", "┃　┃　담당　┃　과장　┃　차장　┃　부장　┃　사장　┃    ",
                      "┃결┣━━━━╋━━━━╋━━━━╋━━━━╋━━━━┫    ", "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
                      "┃재┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ", "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
                      "┗━┻━━━━┻━━━━┻━━━━┻━━━━┻━━━━┛    "};

std::string boxHeader(const std::string& title) {
  std::string h = "/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1" + title + "/fb0/fu0/n/n/r/fn\"굴림체\"/fz\"10\"/r" + kBox[0] + "/n/r";
  for (int i = 1; i < 7; ++i) h += std::string("/r") + kBox[i] + "/n/r";
  return h;
}
const std::string kFooter = "/n\"/fn\"굴림체\"/fz\"9\"/l화주별 운임 내역 /p / /pc/r인쇄일자 : 2024-05-01/n";

std::shared_ptr<MemoryDataSource> freight(int records) {
  auto src = std::make_shared<MemoryDataSource>(std::vector<MemoryDataSource::Field>{
      {"화주명", adtype::adVarWChar}, {"차량번호", adtype::adVarWChar}, {"건수", adtype::adInteger},
      {"운임", adtype::adDouble}, {"비고", adtype::adVarWChar}});
  const char* names[] = {"(주)한빛물류", "대한운송", "서울화물", "부산특송", "동해로지스"};
  for (int i = 1; i <= records; ++i)
    src->addRecord({names[i % 5], "서울 12가 " + std::to_string(3400 + i), std::int32_t{i % 7 + 1}, 15000.0 * (i % 9 + 1),
                    i % 4 ? Variant("") : Variant("야간")});
  return src;
}

// A grid prepared as the print job prepares its copy: data, a hidden column, a totals row.
void printableGrid(Grid& g, int records) {
  g.DataSource(freight(records));
  g.Col(5);
  g.ColHidden(true);
  g.COLWIDTH(1, 16);
  g.COLWIDTH(2, 16);
  g.MaxRows(g.MaxRows() + 1);
  g.Row(g.MaxRows());
  g.Col(1);
  g.Text("[총 " + std::to_string(records) + "건]");
  g.Col(4);
  g.Formula("SUM(D1:D" + std::to_string(records) + ")");
  g.Row(g.MaxRows());
  g.Col(-1);
  g.BackColor(14737632);
  g.PrintHeader(boxHeader("화주별 운임 내역"));
  g.PrintFooter(kFooter);
  g.PrintJobName("화주별 운임 내역");
  g.PrintOrientation(1);
  g.PrintGrid(true);
  g.PrintBorder(true);
}

std::string pdfInfo(const fs::path& pdf, const char* tool) {
  return test::run(std::string(tool) + " '" + pdf.string() + "' 2>&1").out;
}

// The runs of text of page 1 as paper and the preview draw it.
std::vector<test::DrawnRun> drawnPage(const Grid& g) {
  const PrintLayout L = layoutPrint(g, false);
  test::DrawnText page(static_cast<int>(L.paperWidth), static_cast<int>(L.paperHeight));
  QPainter p(&page);
  paintPage(p, g, L, 1);
  p.end();
  return page.runs();
}

std::vector<test::DrawnRun> drawnView(GridView& view) {
  test::DrawnText screen(view.width(), view.height(), view.logicalDpiX());
  view.render(&screen);
  return screen.runs();
}

std::vector<test::DrawnRun> runsWith(const std::vector<test::DrawnRun>& runs, const char* part) {
  std::vector<test::DrawnRun> out;
  for (const auto& r : runs)
    if (r.text.contains(QString::fromUtf8(part))) out.push_back(r);
  return out;
}

std::vector<test::DrawnRun> hashRuns(const std::vector<test::DrawnRun>& runs) {
  std::vector<test::DrawnRun> out;
  for (const auto& r : runs)
    if (!r.text.isEmpty() && r.text.count(QLatin1Char('#')) == r.text.size()) out.push_back(r);
  return out;
}

int pdfPages(const fs::path& pdf) {
  std::string info = pdfInfo(pdf, "pdfinfo");
  auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace

TEST(GridPrinting, ThreePagePdfWithHeaderFooterCodesAndKoreanText) {
  useQtPrinting();
  Grid g;
  printableGrid(g, 130);
  ASSERT_EQ(g.PrintPageCount(), 3) << "130 rows under this header fill three A4 pages";
  const fs::path pdf = outputFolder() / "grid-print.pdf";
  fs::remove(pdf);
  g.PrintFileName(pdf.string());
  g.PrintSheet();
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(pdfPages(pdf), 3);
  // The fixed-pitch Korean font stands for 굴림체 and is embedded.
  EXPECT_NE(pdfInfo(pdf, "pdffonts").find("NanumGothicCoding"), std::string::npos);
  // Text extracted from the PDF has no reliable blanks between words; compare without them.
  std::string text = test::run("pdftotext -layout '" + pdf.string() + "' -").out;
  std::erase_if(text, [](char c) { return c == ' ' || (c > 0 && c < 32 && c != '\n'); });
  EXPECT_NE(text.find("화주별운임내역"), std::string::npos);
  EXPECT_NE(text.find("┃결┣━━━━╋"), std::string::npos);
  EXPECT_NE(text.find("담당"), std::string::npos);
  EXPECT_NE(text.find("인쇄일자:2024-05-01"), std::string::npos);
  EXPECT_NE(text.find("3/3"), std::string::npos) << "the page codes are filled in";
  EXPECT_NE(text.find("[총130건]"), std::string::npos);
  EXPECT_EQ(text.find("야간"), std::string::npos) << "the hidden column is not printed";
  // Pictures of the pages for people to look at.
  const fs::path png = outputFolder() / "grid-print";
  auto r = test::run("pdftoppm -r 60 -png '" + pdf.string() + "' '" + png.string() + "'");
  EXPECT_EQ(r.exitCode, 0);
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(outputFolder()))
    if (e.path().filename().string().starts_with("grid-print-") && e.path().extension() == ".png") ++pictures;
  EXPECT_EQ(pictures, 3);
}

// Five fares of 30,000.00 to 90,000.00 and their total 300,000.00 in column 4; vehicle numbers,
// text, in column 2. Checked on what is drawn: a PDF's text layer keeps glyphs a clip hides.
TEST(GridDrawing, ANumberTooWideForItsCellIsDrawnAsHashesOnPaperInThePreviewAndOnScreen) {
  Grid g;
  printableGrid(g, 5);
  g.COLWIDTH(2, 3);
  g.COLWIDTH(4, 5);
  const double cell = colWidthPoints(g, 4) * layoutPrint(g, false).scale;
  std::vector<test::DrawnRun> paper = drawnPage(g);
  EXPECT_TRUE(runsWith(paper, ".00").empty()) << "no fare is drawn with digits cut off";
  const auto hashes = hashRuns(paper);
  EXPECT_EQ(hashes.size(), 6u) << "five fares and their total";
  for (const auto& r : hashes) {
    EXPECT_LE(r.box.width(), cell);
    EXPECT_GT(r.box.width(), cell / 2) << "the signs fill the cell";
  }
  EXPECT_FALSE(runsWith(paper, "3401").empty()) << "text is drawn as it is and clipped";

  GridView view(g);
  view.resize(700, 300);
  view.show();
  std::vector<test::DrawnRun> screen = drawnView(view);
  EXPECT_TRUE(runsWith(screen, ".00").empty());
  EXPECT_EQ(hashRuns(screen).size(), 6u);

  g.COLWIDTH(4, 14);
  paper = drawnPage(g);
  screen = drawnView(view);
  for (const auto* runs : {&paper, &screen}) {
    EXPECT_TRUE(hashRuns(*runs).empty());
    EXPECT_EQ(runsWith(*runs, "300,000.00").size(), 1u);
    EXPECT_EQ(runsWith(*runs, "90,000.00").size(), 1u);
  }
}

TEST(GridPrinting, PageRangesGoToTheFolderOfUnattendedRuns) {
  useQtPrinting();
  test::TempDir dir;
  test::ScopedEnv env("VELTRANO_PRINT_DIR", dir.path().string());
  Grid g;
  printableGrid(g, 130);
  g.PrintType(3);
  g.PrintPageStart(1);
  g.PrintPageEnd(1);
  g.PrintSheet();
  g.PrintPageStart(2);
  g.PrintPageEnd(g.PrintPageCount());
  g.PrintSheet();
  g.PrintPageStart(4);
  g.PrintSheet();  // pages 4 to 3: nothing
  EXPECT_EQ(pdfPages(dir / "print-001.pdf"), 1);
  EXPECT_EQ(pdfPages(dir / "print-002.pdf"), 2);
  EXPECT_FALSE(fs::exists(dir / "print-003.pdf"));
}

TEST(GridPrinting, UnwritableFilesAndUnknownPrintersRaisePrinterError) {
  useQtPrinting();
  Grid g;
  printableGrid(g, 5);
  g.PrintFileName("/nonexistent-folder/x.pdf");
  try {
    g.PrintSheet();
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kPrinterError);
  }
  g.PrintFileName("");
  g.PrinterName("no-such-queue-veltrano");
  try {
    g.PrintSheet();
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kPrinterError);
  }
}

// Needs a CUPS queue of cups-pdf (named like "PDF"); the build must have VELTRANO_WITH_CUPS on,
// else no queue is listed.
TEST(GridPrinting, SystemQueueThroughCupsPdf) {
  std::string queue;
  for (const std::string& q : printerQueues())
    if (q.find("PDF") != std::string::npos || q.find("pdf") != std::string::npos) queue = q;
  if (queue.empty()) GTEST_SKIP() << "no cups-pdf queue on this machine";
  useQtPrinting();
  Grid g;
  printableGrid(g, 20);
  g.PrinterName(queue);
  g.PrintJobName("veltrano-grid-queue-test");
  EXPECT_NO_THROW(g.PrintSheet());
}

TEST(GridPreviewControl, AttachByHandlePagesZoomAndReportsPageTurns) {
  Grid g;
  printableGrid(g, 130);
  GridPreview preview;
  preview.resize(700, 900);
  EXPECT_EQ(preview.pageCount(), 0) << "no grid attached";
  preview.setGridHwnd(g.hwnd());
  EXPECT_EQ(preview.pageCount(), 3);
  EXPECT_EQ(preview.pageCurrent(), 1);
  preview.setPageCurrent(9);
  EXPECT_EQ(preview.pageCurrent(), 3);
  preview.setPageCurrent(0);
  EXPECT_EQ(preview.pageCurrent(), 1);

  QSignalSpy turned(&preview, &GridPreview::pageChanged);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(&preview, &down);
  ASSERT_EQ(turned.count(), 1);
  EXPECT_EQ(turned.takeFirst().at(0).toInt(), 2);
  preview.setPageCurrent(3);
  QApplication::sendEvent(&preview, &down);
  EXPECT_EQ(turned.count(), 0) << "no turn past the last page";

  const double fit = preview.zoom();
  preview.setZoomState(1);
  preview.setZoomState(1);
  EXPECT_GT(preview.zoom(), fit);
  preview.setZoomState(2);
  preview.setZoomState(2);
  preview.setZoomState(2);
  EXPECT_LT(preview.zoom(), fit);
  preview.setZoomState(0);

  // The first page shows the header the grid holds: with the box or without it.
  preview.setPageCurrent(1);
  const QImage boxed = preview.renderPage(50);
  g.PrintHeader("/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1화주별 운임 내역/fb0/fu0/n/n/r/fn\"굴림체\"/fz\"10\"/r /n/r");
  const QImage plainHeader = preview.renderPage(50);
  EXPECT_NE(boxed, plainHeader);
  boxed.save(QString::fromStdString((outputFolder() / "grid-preview-page1.png").string()));
  preview.grab().save(QString::fromStdString((outputFolder() / "grid-preview-window.png").string()));

  // Orientation changes the page count the preview shows.
  g.PrintOrientation(2);
  EXPECT_GT(preview.pageCount(), 3);
  // A grid that goes away leaves an empty preview.
  {
    Grid temporary;
    preview.setGridHwnd(temporary.hwnd());
  }
  EXPECT_EQ(preview.pageCount(), 0);
  EXPECT_EQ(Grid::fromHwnd(12345), nullptr);
}

TEST(GridQtModel, PassesTheItemModelTesterThroughBindingSortAndResizes) {
  Grid g;
  GridTableModel model(g);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  g.DataSource(freight(40));
  EXPECT_EQ(model.rowCount(), 40);
  EXPECT_EQ(model.columnCount(), 5);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("화주명"));
  EXPECT_EQ(model.data(model.index(0, 3)).toString(), QStringLiteral("30,000.00"));
  EXPECT_EQ(model.data(model.index(0, 3), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
  g.Row(1);
  g.Col(1);
  g.Row2(40);
  g.col2(5);
  g.SortKey(1, 4);
  g.SortKeyOrder(1, 2);
  g.Action(action::Sort);
  EXPECT_EQ(model.data(model.index(0, 3)).toString(), QStringLiteral("135,000.00"));
  g.MaxRows(10);
  EXPECT_EQ(model.rowCount(), 10);
  g.MaxCols(7);
  EXPECT_EQ(model.columnCount(), 7);
  // Edits go through the grid's rules: a rejected value keeps the cell.
  EXPECT_TRUE(model.setData(model.index(0, 2), QStringLiteral("12")));
  EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("12"));
  EXPECT_FALSE(model.setData(model.index(0, 2), QStringLiteral("열둘")));
  EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("12"));
  g.AllowUserFormulas(true);
  EXPECT_TRUE(model.setData(model.index(1, 2), QStringLiteral("=C1*2")));
  EXPECT_EQ(model.data(model.index(1, 2)).toString(), QStringLiteral("24"));
  EXPECT_EQ(model.data(model.index(1, 2), Qt::EditRole).toString(), QStringLiteral("=C1*2"));
  g.ReDraw(false);
  g.MaxRows(0);
  EXPECT_EQ(model.rowCount(), 10) << "views hear of changes when drawing is back on";
  g.ReDraw(true);
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(GridQtView, FollowsWidthsHiddenColumnsColoursAndSelectsRowsIntoTheGrid) {
  Grid g;
  g.FontName("굴림");
  g.FontSize(9);
  g.OperationMode(opmode::ExtendedSelect);
  g.SelBackColor(15987699);
  g.DataSource(freight(80));
  g.COLWIDTH(1, 14);
  g.COLWIDTH(2, 14);
  g.Col(5);
  g.ColHidden(true);
  g.RowHeight(-1, 16);
  g.MaxRows(g.MaxRows() + 1);
  g.Row(g.MaxRows());
  g.Col(-1);
  g.BackColor(14737632);
  g.Col(1);
  g.Text("[총 80건]");
  g.Col(4);
  g.Formula("SUM(D1:D80)");
  GridView view(g);
  view.resize(760, 420);
  view.show();
  EXPECT_EQ(view.columnWidth(0), view.widthPixels(14));
  EXPECT_TRUE(view.isColumnHidden(4));
  EXPECT_FALSE(view.isColumnHidden(3));
  EXPECT_EQ(view.rowHeight(0), view.heightPixels(16));
  EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(view.palette().color(QPalette::Highlight), QColor(243, 243, 243));
  g.Col(2);
  g.ColHidden(true);
  EXPECT_TRUE(view.isColumnHidden(1)) << "the view follows the grid";
  g.ColHidden(false);

  view.selectionModel()->select(view.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  view.selectionModel()->select(view.model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(g.SelectionCount(), 2);
  EXPECT_TRUE(g.isRowSelected(3));
  EXPECT_TRUE(g.isRowSelected(5));
  g.TopRow(10);
  EXPECT_EQ(view.rowAt(0), 9);
  g.TopRow(1);
  view.grab().save(QString::fromStdString((outputFolder() / "grid-view.png").string()));
  EXPECT_TRUE(fs::exists(outputFolder() / "grid-view.png"));
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
