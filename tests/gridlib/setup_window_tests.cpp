// SPREADSET: the column list of the calling screen's grid, the choice stored per screen in the
// registry, select all / invert, forgetting widths, the export and its message. Driven through
// SPREADSETUP.ShowForm and the window's controls.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "lumagrid/registry.h"
#include "lumagrid/spread.h"
#include "lumagrid/spreadsetup.h"
#include "platform/registry/registry.h"
#include "platform/ui/scripted_ui.h"
#include "print_test_support.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace printjob_test;
using lumagrid::SPREADSETUP;
using veltrano::grid::Grid;

namespace {

constexpr const char* kScreen = "FRM_운임조회";
const char* kHeaders[10] = {"일자", "화주명", "차량번호", "출발지", "도착지", "건수", "운임", "수수료", "누계금액", "비고"};

// A grid of ten columns as a product program shows it.
void tenColumns(Grid& g, int records) {
  using namespace veltrano::grid;
  std::vector<MemoryDataSource::Field> fields;
  for (int c = 0; c < 10; ++c) fields.push_back({kHeaders[c], c >= 5 && c <= 8 ? adtype::adDouble : adtype::adVarWChar});
  auto src = std::make_shared<MemoryDataSource>(fields);
  for (int r = 1; r <= records; ++r) {
    std::vector<Variant> v;
    for (int c = 0; c < 10; ++c) {
      if (c >= 5 && c <= 8) v.emplace_back(100.0 * r + c);
      else v.emplace_back(std::string(kHeaders[c]) + std::to_string(r));
    }
    src->addRecord(v);
  }
  lumagrid::Spread spread;
  spread.SpreadReset(g);
  spread.SpreadDisplayOne(src, g, false);
}

std::string stored(const std::string& name, const std::string& screen = kScreen) {
  lumagrid::REGISTRY reg;
  reg.HKEY(lumagrid::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\VUV2013\\DISPLAY");
  reg.KeyName(screen);
  reg.KeyValue(name);
  return reg.GetRegistry();
}

void store(const std::string& name, const std::string& value) {
  lumagrid::REGISTRY reg;
  reg.HKEY(lumagrid::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\VUV2013\\DISPLAY");
  reg.KeyName(kScreen);
  reg.KeyValue(name);
  reg.SetRegistry(value);
}

class SetupWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    tenColumns(g, 3);
    setup.Print_SPR = g;
    setup.OPENFORMNAME = kScreen;
    setup.cutting = 2;
  }
  void TearDown() override {
    if (QWidget* w = window("SPREADSET")) w->close();
    settle();
    reg::clearFaults();
  }
  void open() {
    setup.ShowForm("");
    w = window("SPREADSET");
    ASSERT_NE(w, nullptr);
    list = control<QListWidget>(w, "lstTask");
    ASSERT_NE(list, nullptr);
  }
  void click(const char* name) {
    auto* b = control<QPushButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }
  // A click on item i, as the user makes it.
  void clickItem(int i) {
    const QRect r = list->visualItemRect(list->item(i));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
  }
  std::vector<bool> selection() const {
    std::vector<bool> v;
    for (int i = 0; i < list->count(); ++i) v.push_back(list->item(i)->isSelected());
    return v;
  }

  test::ScopedRegistry registry;
  ui::ScriptedUi ui;
  ui::ScopedUi scopedUi{ui};
  Grid g;
  SPREADSETUP setup;
  QWidget* w = nullptr;
  QListWidget* list = nullptr;
};

TEST_F(SetupWindow, ListsTheHeadersLessTheCutColumnsAllSelectedForANewScreen) {
  open();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "화면표시값 설정");
  ASSERT_EQ(list->count(), 8) << "SP_Cutting 2 on ten columns";
  for (int i = 0; i < 8; ++i) EXPECT_EQ(list->item(i)->text(), QString::fromUtf8(kHeaders[i]));
  EXPECT_EQ(selection(), std::vector<bool>(8, true));
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::MultiSelection);
  EXPECT_EQ(stored("1_HI"), "") << "opening stores nothing";

  const std::pair<const char*, const char*> captions[] = {
      {"COM_ALL_A", "전체 선택"}, {"COM_ALL", "반전 선택"}, {"COM_BASE", "셀폭 기본"}, {"Com_Excel", "엑셀 출력"},
      {"COM_CLOSE", "닫 기"}, {"COM_ALLSELECT", "셀 전체선택"}, {"COM_ALLDESELECT", "셀 선택취소"}};
  for (const auto& [name, caption] : captions) {
    auto* b = control<QPushButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    EXPECT_EQ(b->text(), QString::fromUtf8(caption));
  }
  QStringList panels;
  for (QLabel* p : w->findChildren<QLabel*>("pnlItem")) panels << QString::number(p->property("Index").toInt()) + p->text();
  panels.sort();
  EXPECT_EQ(panels, QStringList({"0화면표시\u3000 설정", "1출력 항목"}));
}

TEST_F(SetupWindow, ClickingStoresEveryValueAndReopeningShowsTheChoice) {
  open();
  clickItem(2);  // column 3 off
  EXPECT_FALSE(list->item(2)->isSelected());
  EXPECT_EQ(stored("3_HI"), "TRUE");
  for (int n : {1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(stored(std::to_string(n) + "_HI"), "FALSE") << n;
  EXPECT_EQ(stored("9_HI"), "") << "the cut columns are not listed, nor stored";
  EXPECT_EQ(stored("3_HI", "FRM_다른화면"), "") << "per screen";

  w->close();
  EXPECT_EQ(window("SPREADSET"), nullptr);
  open();
  std::vector<bool> expected(8, true);
  expected[2] = false;
  EXPECT_EQ(selection(), expected);
  clickItem(2);
  EXPECT_EQ(stored("3_HI"), "FALSE");
}

TEST_F(SetupWindow, SelectAllTogglesOnTheFirstItemAndInvertFlipsEach) {
  store("2_HI", "TRUE");
  open();
  click("COM_ALL_A");  // the first item is selected: deselect all
  EXPECT_EQ(selection(), std::vector<bool>(8, false));
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(stored(std::to_string(n) + "_HI"), "TRUE");
  click("COM_ALL_A");
  EXPECT_EQ(selection(), std::vector<bool>(8, true));
  EXPECT_EQ(stored("5_HI"), "FALSE");
  clickItem(0);
  clickItem(6);
  click("COM_ALL");
  std::vector<bool> expected(8, false);
  expected[0] = expected[6] = true;
  EXPECT_EQ(selection(), expected);
  EXPECT_EQ(stored("1_HI"), "FALSE");
  EXPECT_EQ(stored("2_HI"), "TRUE");
  // The two cell buttons have no action.
  click("COM_ALLSELECT");
  click("COM_ALLDESELECT");
  EXPECT_EQ(selection(), expected);
}

TEST_F(SetupWindow, ForgettingWidthsClearsEveryColumnOfTheGrid) {
  for (int n = 1; n <= 10; ++n) store(std::to_string(n) + "_WH", "1200");
  open();
  click("COM_BASE");
  for (int n = 1; n <= 10; ++n) EXPECT_EQ(stored(std::to_string(n) + "_WH"), "") << n;
  EXPECT_EQ(stored("1_HI"), "") << "the choice is not touched";
}

TEST_F(SetupWindow, ExportCoversEveryColumnAndReportsSuccess) {
  test::TempDir dir;
  const auto file = dir / "운임.xls";
  g.Row(-1);
  g.Col(4);
  g.ColHidden(true);
  open();
  ui.queue("File:" + file.string());
  click("Com_Excel");
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[0].kind, "Save");
  EXPECT_EQ(ui.shown()[1].text, "엑셀화일 출력에 성공하였습니다");
  EXPECT_EQ(ui.shown()[1].title, "출력");
  EXPECT_EQ(ui.shown()[1].icon, ui::Icon::Information);
  const XlsRead xls = readXls(file);
  ASSERT_EQ(xls.error, "");
  EXPECT_EQ(xls.cols(), 9) << "all ten columns less the hidden one: the window's export leaves none out";
  EXPECT_EQ(xls.text(0, 3), "도착지");
  EXPECT_EQ(xls.text(0, 8), "비고");
  EXPECT_EQ(xls.rows(), 4);

  ui.clearShown();
  click("Com_Excel");  // cancelled: no message
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].answer, "Cancel");
}

TEST_F(SetupWindow, RegistryFailuresAreIgnoredAndCloseUnloads) {
  open();
  reg::injectFault("set", 5, -1);
  clickItem(1);
  click("COM_BASE");
  EXPECT_TRUE(ui.shown().empty());
  reg::clearFaults();
  EXPECT_EQ(stored("2_HI"), "");
  click("COM_CLOSE");
  EXPECT_EQ(window("SPREADSET"), nullptr);
}

TEST_F(SetupWindow, ScreenshotOfTheWindow) {
  store("3_HI", "TRUE");
  store("7_HI", "TRUE");
  open();
  const QImage shot = w->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromStdString((outputFolder() / "setup-window.png").string())));
}

}  // namespace
