// SPREADPRT: the preview window of the print job, driven by its buttons, check boxes and keys
// the way a product program's test (or a user) drives it; printing into PDF files through
// $VELTRANO_PRINT_DIR.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "lumagrid/spreadsetup.h"
#include "platform/grid/grid_preview.h"
#include "platform/runtime/clock.h"
#include "platform/ui/scripted_ui.h"
#include "print_test_support.h"
#include "support/drawn_text.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace printjob_test;
using lumagrid::SPREADSETUP;
using veltrano::grid::Grid;
using veltrano::grid::GridPreview;
namespace fs = std::filesystem;

namespace {

constexpr int kRecords = 130;

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    freightGrid(g, kRecords);
    setup.UserSpreadPrint(g, "화주별 운임 내역", "운송 1팀", 1);
    w = window("SPREADPRT");
    ASSERT_NE(w, nullptr);
    vspw = control<GridPreview>(w, "VSPW");
    ASSERT_NE(vspw, nullptr);
    ss = Grid::fromHwnd(vspw->gridHwnd());
    ASSERT_NE(ss, nullptr);
  }
  void TearDown() override {
    if (QWidget* open = window("SPREADPRT")) open->close();
    settle();
  }
  void click(const char* name) {
    auto* b = control<QAbstractButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }
  QString indicator() const { return control<QLabel>(w, "Print_Page")->text(); }
  QString expected(int page, int count) const { return QStringLiteral("%1 / %2").arg(page).arg(count); }
  bool boxOnGrid() const { return ss->PrintHeader() == setup.PrintHeader_F && ss->PrintFooter() == setup.PrintFooter_F; }
  bool plainOnGrid() const {
    return ss->PrintHeader() == setup.PrintHeader_S && ss->PrintFooter() == setup.PrintFooter_S;
  }

  test::ScopedRegistry registry;
  ManualClock clock{makeDate(2024, 5, 1, 14, 30, 0)};
  ScopedClock scopedClock{clock};
  ui::ScriptedUi ui;
  ui::ScopedUi scopedUi{ui};
  Grid g;
  SPREADSETUP setup;
  QWidget* w = nullptr;
  GridPreview* vspw = nullptr;
  Grid* ss = nullptr;
};

TEST_F(Preview, EveryControlWithItsCaptionAndPageOneShown) {
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "라움트랜스[운송/주선상용] 인쇄 미리보기");
  const std::pair<const char*, const char*> captions[] = {
      {"Com_Print", "인쇄(F5)"}, {"COM_Close", "닫기(ESC)"}, {"COM_Pre", "이 전"}, {"COM_Next", "다 음"},
      {"COMM_ZOOMIN", "확 대"}, {"COM_ZOOMOUT", "축 소"}, {"Chk_Acc", "결제란 인쇄하기"},
      {"CHK_LANDSCAPE", "세로 인쇄"}, {"CHK_여백", "여백설정"}, {"Com_여백_Accept", "적 용"},
      {"Com_여백_cancel", "취 소"}};
  for (const auto& [name, caption] : captions) {
    auto* b = control<QAbstractButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
  }
  auto* panel = control<QGroupBox>(w, "Fr_여백설정");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->title(), "여백 설정창");
  EXPECT_FALSE(panel->isVisible()) << "hidden at first";
  EXPECT_NE(control<QLineEdit>(w, "TXT_TOP_MARGE"), nullptr);
  EXPECT_NE(control<QLineEdit>(w, "TXT_LEFT_MARGE"), nullptr);
  EXPECT_NE(panel->findChild<QLabel*>(), nullptr);

  const int pages = ss->PrintPageCount();
  EXPECT_EQ(pages, 4) << "130 freight rows of 16 points fill four A4 pages";
  EXPECT_EQ(indicator(), expected(1, pages));
  EXPECT_EQ(vspw->pageCurrent(), 1);
  EXPECT_EQ(vspw->pageCount(), pages);
  EXPECT_FALSE(control<QCheckBox>(w, "Chk_Acc")->isChecked());
  EXPECT_TRUE(control<QCheckBox>(w, "CHK_LANDSCAPE")->isChecked()) << "portrait handed in";
  EXPECT_TRUE(plainOnGrid());
}

TEST_F(Preview, PagingStaysWithinOneAndThePageCount) {
  const int pages = ss->PrintPageCount();
  click("COM_Pre");
  EXPECT_EQ(indicator(), expected(1, pages)) << "previous on page 1 does nothing";
  for (int i = 0; i < pages + 2; ++i) click("COM_Next");
  EXPECT_EQ(indicator(), expected(pages, pages)) << "next on the last page does nothing";
  EXPECT_EQ(vspw->pageCurrent(), pages);
  click("COM_Pre");
  EXPECT_EQ(indicator(), expected(pages - 1, pages));
  EXPECT_EQ(vspw->pageCurrent(), pages - 1);
  // A page turned inside the preview control is followed by the window.
  QTest::keyClick(vspw, Qt::Key_PageDown);
  EXPECT_EQ(indicator(), expected(pages, pages));
  for (int i = 0; i < pages + 2; ++i) QTest::keyClick(vspw, Qt::Key_PageUp);
  EXPECT_EQ(indicator(), expected(1, pages));
}

TEST_F(Preview, ApprovalBoxOnlyOnPageOneOnScreen) {
  const int pages = ss->PrintPageCount();
  const QImage plainPage1 = vspw->renderPage(40);
  click("Chk_Acc");
  EXPECT_TRUE(boxOnGrid()) << "page 1 with the box";
  const QImage boxedPage1 = vspw->renderPage(40);
  EXPECT_NE(plainPage1, boxedPage1);
  boxedPage1.save(QString::fromStdString((outputFolder() / "preview-page1-approval-box.png").string()));
  click("COM_Next");
  EXPECT_TRUE(plainOnGrid()) << "page 2 never carries it";
  click("COM_Pre");
  EXPECT_TRUE(boxOnGrid());
  EXPECT_EQ(vspw->renderPage(40), boxedPage1);
  click("Chk_Acc");
  EXPECT_TRUE(plainOnGrid()) << "unchecked: no page carries it";
  EXPECT_EQ(vspw->renderPage(40), plainPage1);
  click("Chk_Acc");
  EXPECT_EQ(indicator(), expected(1, pages)) << "the box does not change the page breaks";
}

TEST_F(Preview, ZoomInAndOut) {
  const double fit = vspw->zoom();
  click("COMM_ZOOMIN");
  EXPECT_EQ(vspw->zoomState(), 1);
  EXPECT_GT(vspw->zoom(), fit);
  click("COM_ZOOMOUT");
  click("COM_ZOOMOUT");
  EXPECT_EQ(vspw->zoomState(), 2);
  EXPECT_LT(vspw->zoom(), fit);
}

TEST_F(Preview, OrientationChangesThePageCountAndTheIndicatorAtOnce) {
  const int portrait = ss->PrintPageCount();
  click("CHK_LANDSCAPE");  // unchecked: landscape
  EXPECT_EQ(ss->PrintOrientation(), 2);
  const int landscape = ss->PrintPageCount();
  EXPECT_GT(landscape, portrait);
  EXPECT_EQ(indicator(), expected(1, landscape));
  EXPECT_EQ(vspw->pageCount(), landscape);
  for (int i = 0; i < landscape; ++i) click("COM_Next");
  EXPECT_EQ(indicator(), expected(landscape, landscape));
  click("CHK_LANDSCAPE");  // back to portrait: the last page is fewer
  EXPECT_EQ(ss->PrintOrientation(), 1);
  EXPECT_EQ(indicator(), expected(portrait, portrait)) << "the current page stays within the count";
  EXPECT_EQ(vspw->pageCurrent(), portrait);
}

TEST_F(Preview, MarginPanelAppliesCancelsAndRefusesWhatIsNoWholeNumber) {
  auto* panel = control<QGroupBox>(w, "Fr_여백설정");
  auto* top = control<QLineEdit>(w, "TXT_TOP_MARGE");
  auto* left = control<QLineEdit>(w, "TXT_LEFT_MARGE");
  click("CHK_여백");
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(top->text(), "0");
  EXPECT_EQ(left->text(), "0");
  const int before = ss->PrintPageCount();

  top->setText("2880");  // two inches
  left->setText("720");
  click("Com_여백_Accept");
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(ss->PrintMarginTop(), 2880);
  EXPECT_EQ(ss->PrintMarginLeft(), 720);
  EXPECT_GT(ss->PrintPageCount(), before) << "less room on each page";
  EXPECT_EQ(indicator(), expected(1, ss->PrintPageCount()));
  click("CHK_여백");
  EXPECT_EQ(top->text(), "2880") << "the panel shows the margins in force";

  top->setText("0");
  click("Com_여백_cancel");
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(ss->PrintMarginTop(), 2880) << "cancel only hides the panel";

  click("CHK_여백");
  top->setText("넓게");
  click("Com_여백_Accept");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].icon, ui::Icon::Exclamation);
  EXPECT_TRUE(panel->isVisible()) << "the panel stays for a correction";
  EXPECT_EQ(ss->PrintMarginTop(), 2880);
  top->setText("40000");  // beyond 16 bits
  click("Com_여백_Accept");
  EXPECT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ss->PrintMarginTop(), 2880);
  top->setText("-1");
  click("Com_여백_Accept");
  EXPECT_EQ(ui.shown().size(), 3u);
  top->setText(" 1440 ");
  click("Com_여백_Accept");
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(ss->PrintMarginTop(), 1440);
}

TEST_F(Preview, F5PrintsPageOneWithTheBoxThenTheRestWithout) {
  test::TempDir dir;
  test::ScopedEnv env("VELTRANO_PRINT_DIR", dir.path().string());
  click("Chk_Acc");
  click("COM_Next");  // the screen shows page 2 while printing
  QTest::keyClick(w, Qt::Key_F5);
  EXPECT_TRUE(ui.shown().empty()) << (ui.shown().empty() ? "" : ui.shown()[0].text);
  const fs::path first = dir / "print-001.pdf", rest = dir / "print-002.pdf";
  ASSERT_TRUE(fs::exists(first));
  ASSERT_TRUE(fs::exists(rest));
  EXPECT_FALSE(fs::exists(dir / "print-003.pdf")) << "two prints";
  EXPECT_EQ(pdfPages(first), 1);
  const int pages = ss->PrintPageCount();
  EXPECT_EQ(pdfPages(rest), pages - 1);
  const std::string page1 = pdfText(first), others = pdfText(rest);
  EXPECT_NE(page1.find("┃결┣━━━━╋"), std::string::npos);
  EXPECT_NE(page1.find("담당"), std::string::npos);
  EXPECT_NE(page1.find("화주별운임내역"), std::string::npos);
  EXPECT_NE(page1.find("인쇄일자:2024-05-01"), std::string::npos);
  EXPECT_EQ(others.find("담당"), std::string::npos) << "the other pages have no box";
  EXPECT_NE(others.find("[총130건]"), std::string::npos);
  EXPECT_NE(others.find("8,515,000.00"), std::string::npos) << "the sum of the fares";
  EXPECT_TRUE(plainOnGrid()) << "the screen shows page 2 as before";
  EXPECT_EQ(ss->PrintType(), 3);

  // The printed pages as pictures, for people to look at.
  for (const auto& [pdf, stem] : {std::pair{first, "printed-page1"}, std::pair{rest, "printed-rest"}}) {
    auto r = test::run("pdftoppm -r 60 -png '" + pdf.string() + "' '" + (outputFolder() / stem).string() + "'");
    EXPECT_EQ(r.exitCode, 0);
  }

  // Unchecked: one print of every page, none with the box.
  click("Chk_Acc");
  click("Com_Print");
  const fs::path all = dir / "print-003.pdf";
  ASSERT_TRUE(fs::exists(all));
  EXPECT_EQ(pdfPages(all), pages);
  EXPECT_EQ(pdfText(all).find("담당"), std::string::npos);
}

TEST_F(Preview, F5ReachesTheWindowFromAFocusedControlAndPrinterErrorsAreShown) {
  ss->PrintFileName("/nonexistent-folder/print.pdf");
  QTest::keyClick(control<QCheckBox>(w, "Chk_Acc"), Qt::Key_F5);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].title, "오류");
  EXPECT_EQ(ui.shown()[0].icon, ui::Icon::Critical);
  EXPECT_NE(ui.shown()[0].text.find("인쇄 오류: /nonexistent-folder/print.pdf 파일을 둘 폴더가 없습니다"), std::string::npos);
  EXPECT_NE(window("SPREADPRT"), nullptr) << "the window stays";
  EXPECT_TRUE(plainOnGrid());
}

TEST_F(Preview, EscClosesAndUnloadsTheHiddenForm) {
  const auto copy = ss->hwnd();
  QTest::keyClick(vspw, Qt::Key_Escape);
  EXPECT_EQ(window("SPREADPRT"), nullptr);
  EXPECT_EQ(Grid::fromHwnd(copy), nullptr) << "the copy grid went with the hidden form";
  EXPECT_EQ(g.MaxRows(), kRecords) << "the caller's grid stays";
}

TEST_F(Preview, CloseButtonAndCloseBoxRelease) {
  const auto copy = ss->hwnd();
  click("COM_Close");
  EXPECT_EQ(window("SPREADPRT"), nullptr);
  EXPECT_EQ(Grid::fromHwnd(copy), nullptr);
  // A new job opens a new window; its close box releases it the same way.
  setup.UserSpreadPrint(g, "운임", "", 1);
  QWidget* again = window("SPREADPRT");
  ASSERT_NE(again, nullptr);
  const auto copy2 = control<GridPreview>(again, "VSPW")->gridHwnd();
  again->close();
  EXPECT_EQ(window("SPREADPRT"), nullptr);
  EXPECT_EQ(Grid::fromHwnd(copy2), nullptr);
}

TEST_F(Preview, PreviewIs500TwipsNarrowerAnd1500TwipsLowerThanTheWindow) {
  w->resize(900, 700);
  QCoreApplication::processEvents();
  const int narrower = 500 * w->logicalDpiX() / 1440, lower = 1500 * w->logicalDpiY() / 1440;
  EXPECT_EQ(vspw->width(), 900 - narrower);
  EXPECT_EQ(vspw->height(), 700 - lower);
  w->resize(20, 20);  // smaller than the margins: nothing negative, nothing thrown
  QCoreApplication::processEvents();
  EXPECT_EQ(vspw->height(), 0);
}

TEST_F(Preview, AmountsTooWideForTheirColumnShowHashesNeverCutDigits) {
  g.COLWIDTH(kFare, 6);
  g.COLWIDTH(kCumulative, 6);
  setup.UserSpreadPrint(g, "화주별 운임 내역", "운송 1팀", 1);
  w = window("SPREADPRT");
  ASSERT_NE(w, nullptr);
  w->resize(1000, 900);
  click("COMM_ZOOMIN");
  QCoreApplication::processEvents();
  auto* preview = control<GridPreview>(w, "VSPW");
  test::DrawnText drawn(preview->width(), preview->height(), preview->logicalDpiX());
  preview->render(&drawn);
  EXPECT_TRUE(drawn.containing(QStringLiteral(".00")).empty()) << "no amount is drawn with digits cut off";
  EXPECT_FALSE(drawn.containing(QStringLiteral("####")).empty());
  EXPECT_TRUE(w->grab().save(QString::fromStdString((outputFolder() / "preview-narrow-amount.png").string())));
}

TEST_F(Preview, MarginPanelOpensAboveThePreviewAndShowsItsUnit) {
  w->resize(1000, 900);
  click("CHK_여백");
  QCoreApplication::processEvents();
  auto* panel = control<QGroupBox>(w, "Fr_여백설정");
  ASSERT_TRUE(panel && panel->isVisible());
  EXPECT_FALSE(panel->geometry().intersects(vspw->geometry())) << "the page stays uncovered";
  EXPECT_TRUE(w->rect().contains(panel->geometry()));
  int units = 0;
  for (QLabel* l : panel->findChildren<QLabel*>()) units += l->isVisible() && l->text() == "twips";
  EXPECT_EQ(units, 2);
  EXPECT_TRUE(w->grab().save(QString::fromStdString((outputFolder() / "preview-margin-panel.png").string())));
}

TEST_F(Preview, ScreenshotOfPageOneWithTheApprovalBox) {
  click("Chk_Acc");
  w->resize(1000, 900);
  QCoreApplication::processEvents();
  const QImage shot = w->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.width(), 1000 * shot.devicePixelRatio());
  EXPECT_TRUE(shot.save(QString::fromStdString((outputFolder() / "preview-window-page1.png").string())));
}

}  // namespace
