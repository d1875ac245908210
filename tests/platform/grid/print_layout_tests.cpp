#include <gtest/gtest.h>

#include "platform/grid/grid.h"
#include "platform/grid/print_layout.h"
#include "platform/runtime/error.h"

using namespace veltrano;
using namespace veltrano::grid;

namespace {

// The approval-box header and the padded footer of the print job, and their plain pair.
const char* kBox[] = {"┏━┳━━━━┳━━━━┳━━━━┳━━━━┳━━━━┓    ", "┃　┃　담당　┃　과장　┃　차장　┃　부장　┃　사장　┃    ",
                      "┃결┣━━━━╋━━━━╋━━━━╋━━━━╋━━━━┫    ", "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
                      "┃재┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ", "┃　┃　　　　┃　　　　┃　　　　┃　　　　┃　　　　┃    ",
                      "┗━┻━━━━┻━━━━┻━━━━┻━━━━┻━━━━┛    "};

struct Pair {
  std::string header, footer;
};

Pair withBox(const std::string& title) {
  const std::string t = "/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1" + title + "/fb0/fu0/n/n/r";
  std::string h = t + "/fn\"굴림체\"/fz\"10\"/r" + kBox[0] + "/n/r";
  for (int i = 1; i < 7; ++i) h += std::string("/r") + kBox[i] + "/n/r";
  std::string f = "/n\"/fn\"굴림체\"/fz\"9\"/l화주별 운임 내역/r인쇄일자 : 2024-05-01/n";
  return {h, f};
}

Pair plain(const std::string& title) {
  const std::string t = "/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1" + title + "/fb0/fu0/n/n/r";
  std::string f = withBox(title).footer;
  for (int i = 0; i < 6; ++i) f += "/fn\"굴림체\"/fz\"10\"/r /n/r";
  return {t + "/fn\"굴림체\"/fz\"10\"/r /n/r", f};
}

void fillGrid(Grid& g, int rows, int cols) {
  g.MaxRows(rows);
  g.MaxCols(cols);
  for (int r = 1; r <= rows; ++r) {
    g.Row(r);
    for (int c = 1; c <= cols; ++c) {
      g.Col(c);
      g.Text(std::to_string(r * c));
    }
  }
}

std::vector<std::vector<int>> pageRows(const Grid& g) {
  std::vector<std::vector<int>> out;
  for (const PrintPage& p : layoutPrint(g, false).pages) out.push_back(p.rows);
  return out;
}

}  // namespace

TEST(PrintCodes, FontsAlignmentAndLines) {
  PrintText t = parsePrintCodes("/fn\"굴림체\"/fz\"18\"/n/c/fb1/fu1운임 내역/fb0/fu0/n/l왼쪽/r오른쪽 /p//pc", "Verdana", 8);
  ASSERT_EQ(t.lines.size(), 3u);
  EXPECT_DOUBLE_EQ(t.lines[0].height, 18 * kLineSpacing) << "an empty line takes the font in force";
  const PrintRun& title = t.lines[1].parts[1].at(0);
  EXPECT_EQ(title.text, "운임 내역");
  EXPECT_EQ(title.fontName, "굴림체");
  EXPECT_EQ(title.fontSize, 18);
  EXPECT_TRUE(title.bold);
  EXPECT_TRUE(title.underline);
  EXPECT_EQ(partText(t.lines[2].parts[0], 2, 5), "왼쪽");
  EXPECT_EQ(partText(t.lines[2].parts[2], 2, 5), "오른쪽 2/5");
  EXPECT_FALSE(t.lines[2].parts[2][0].bold);
  // A quote after /n is text; a code without its argument prints as written.
  PrintText q = parsePrintCodes("/n\"/fn굴림/x", "Verdana", 8);
  ASSERT_EQ(q.lines.size(), 2u);
  EXPECT_EQ(partText(q.lines[1].parts[0], 1, 1), "\"/fn굴림/x");
  EXPECT_TRUE(parsePrintCodes("", "Verdana", 8).lines.empty());
  EXPECT_EQ(parsePrintCodes("a/n", "Verdana", 8).lines.size(), 1u) << "a closing /n adds no empty line";
}

TEST(PrintCodes, TheApprovalBoxPairTakesTheRoomOfThePlainPair) {
  for (const char* title : {"화주별 운임 내역", "", "A very long title that runs across the page"}) {
    Pair a = withBox(title), b = plain(title);
    double boxed = parsePrintCodes(a.header, "Verdana", 8).height() + parsePrintCodes(a.footer, "Verdana", 8).height();
    double padded = parsePrintCodes(b.header, "Verdana", 8).height() + parsePrintCodes(b.footer, "Verdana", 8).height();
    EXPECT_DOUBLE_EQ(boxed, padded) << title;
  }
}

TEST(PrintLayout, PageBreaksDoNotDependOnWhichHeaderPairIsUsed) {
  Grid g;
  fillGrid(g, 150, 6);
  for (int orientation : {1, 2}) {
    g.PrintOrientation(orientation);
    Pair a = withBox("운임"), b = plain("운임");
    g.PrintHeader(a.header);
    g.PrintFooter(a.footer);
    auto boxed = pageRows(g);
    g.PrintHeader(b.header);
    g.PrintFooter(b.footer);
    auto padded = pageRows(g);
    EXPECT_EQ(boxed, padded);
    EXPECT_GE(boxed.size(), 3u);
  }
}

TEST(PrintLayout, HiddenRowsAndColumnsAreSkippedAndEveryRowPrintsOnce) {
  Grid g;
  fillGrid(g, 200, 4);
  g.Row(10);
  g.RowHidden(true);
  g.Col(2);
  g.ColHidden(true);
  g.COLWIDTH(3, 0);
  PrintLayout L = layoutPrint(g, false);
  std::vector<int> printed;
  for (const PrintPage& p : L.pages) {
    EXPECT_EQ(p.cols, (std::vector<int>{1, 4}));
    printed.insert(printed.end(), p.rows.begin(), p.rows.end());
  }
  EXPECT_EQ(printed.size(), 199u);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), 10), 0);
  EXPECT_TRUE(std::is_sorted(printed.begin(), printed.end()));
  EXPECT_EQ(g.PrintPageCount(), static_cast<int>(L.pages.size()));
}

TEST(PrintLayout, OrientationMarginsWideGridsAndSmartPrint) {
  Grid g;
  fillGrid(g, 120, 3);
  g.PrintOrientation(1);
  const int portrait = g.PrintPageCount();
  g.PrintOrientation(2);
  const int landscape = g.PrintPageCount();
  EXPECT_GT(landscape, portrait) << "fewer rows fit on a landscape page";
  g.PrintOrientation(1);
  g.PrintMarginTop(1440 * 4);
  EXPECT_GT(g.PrintPageCount(), portrait);
  g.PrintMarginTop(0);
  EXPECT_EQ(layoutPrint(g, false).marginTop, kMinMarginPoints);

  // Columns wider than the page go to further pages, the first columns' pages first.
  Grid wide;
  fillGrid(wide, 10, 30);
  PrintLayout L = layoutPrint(wide, false);
  ASSERT_GT(L.pages.size(), 1u);
  EXPECT_EQ(L.pages[0].cols.front(), 1);
  EXPECT_EQ(L.pages[1].cols.front(), L.pages[0].cols.back() + 1);
  wide.PrintSmartPrint(true);
  PrintLayout smart = layoutPrint(wide, false);
  EXPECT_EQ(smart.pages.size(), 1u);
  EXPECT_LT(smart.scale, 1.0);

  Grid empty;
  empty.MaxRows(0);
  empty.MaxCols(0);
  EXPECT_EQ(empty.PrintPageCount(), 1) << "an empty grid prints one page with its header";
}

TEST(PrintLayout, PageRangesAndCellRanges) {
  Grid g;
  fillGrid(g, 200, 3);
  const int count = g.PrintPageCount();
  ASSERT_GE(count, 3);
  g.PrintType(3);
  g.PrintPageStart(2);
  g.PrintPageEnd(count);
  EXPECT_EQ(g.pagesToPrint().front(), 2);
  EXPECT_EQ(static_cast<int>(g.pagesToPrint().size()), count - 1);
  g.PrintPageStart(0);
  g.PrintPageEnd(1);
  EXPECT_EQ(g.pagesToPrint(), std::vector<int>{1});
  g.PrintPageStart(2);
  g.PrintPageEnd(1);
  EXPECT_TRUE(g.pagesToPrint().empty()) << "pages 2 to 1 print nothing";
  g.PrintSheet();  // nothing to print: no backend needed, no error
  g.PrintType(1);
  g.Row(5);
  g.Row2(6);
  g.Col(2);
  g.col2(2);
  PrintLayout block = layoutPrint(g, true);
  ASSERT_EQ(block.pages.size(), 1u);
  EXPECT_EQ(block.pages[0].rows, (std::vector<int>{5, 6}));
  EXPECT_EQ(block.pages[0].cols, std::vector<int>{2});
  g.PrintType(0);
  installPrintBackend(nullptr);
  try {
    g.PrintSheet();
    ADD_FAILURE() << "printing without a backend must fail";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kPrinterError);
  }
}
