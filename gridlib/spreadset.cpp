#include "spreadset.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <exception>

#include "lumagrid/registry.h"
#include "mod_excel.h"
#include "platform/runtime/error.h"

namespace lumagrid {
namespace {

namespace ui = veltrano::ui;

constexpr const char* kSource = "SPREADSET";
constexpr const char* kCaption = "화면표시값 설정";
constexpr const char* kDisplayKey = "SOFTWARE\\VELTRANO\\VUV2013\\DISPLAY";

// Deliberately not destroyed at exit: the window may outlive the QApplication.
SPREADSET* g_form = nullptr;

// One value of the calling screen's key; "" when missing or unreadable.
std::string readSetting(const std::string& form, const std::string& name) {
  try {
    REGISTRY reg;
    reg.HKEY(HKEY_CURRENT_USER);
    reg.KeyPath(kDisplayKey);
    reg.KeyName(form);
    reg.KeyValue(name);
    return reg.GetRegistry();
  } catch (const std::exception&) {
    return "";
  }
}

// Writes one value; a failure skips it.
void writeSetting(const std::string& form, const std::string& name, const std::string& value) {
  try {
    REGISTRY reg;
    reg.HKEY(HKEY_CURRENT_USER);
    reg.KeyPath(kDisplayKey);
    reg.KeyName(form);
    reg.KeyValue(name);
    reg.SetRegistry(value);
  } catch (const std::exception&) {
  }
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int x, int y, int w = 110, int h = 30) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setGeometry(x, y, w, h);
  return b;
}

// A title panel over a group of controls: a flat heading bar (a raised panel would pass for a
// button beside the real ones).
QLabel* panel(QWidget* parent, int index, const char* caption, int x, int y, int w, int h = 26) {
  auto* p = new QLabel(QString::fromUtf8(caption), parent);
  p->setObjectName("pnlItem");
  p->setProperty("Index", index);
  p->setGeometry(x, y, w, h);
  p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  p->setStyleSheet(QStringLiteral("QLabel { background: rgb(226, 231, 238); color: rgb(22, 52, 96); border: none;"
                                  " border-left: 3px solid rgb(22, 52, 96); padding-left: 6px; font-weight: bold; }"));
  return p;
}

}  // namespace

class SPREADSET::Window : public QWidget {
 public:
  explicit Window(SPREADSET* form);
  void detach() { form_ = nullptr; }
  void load();

  QListWidget* lstTask;
  QPushButton* COM_ALL_A;
  QPushButton* COM_ALL;
  QPushButton* COM_BASE;
  QPushButton* Com_Excel;
  QPushButton* COM_CLOSE;
  QPushButton* COM_ALLSELECT;
  QPushButton* COM_ALLDESELECT;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void storeChoice();
  void selectAll();
  void invert();
  void forgetWidths();
  void exportGrid();

  SPREADSET* form_;
  bool loaded_ = false;
  bool filling_ = false;  // selection changes made by the window itself, stored once after
};

SPREADSET::Window::Window(SPREADSET* form) : form_(form) {
  setObjectName("SPREADSET");
  setWindowTitle(QString::fromUtf8(kCaption));

  panel(this, 0, "화면표시　 설정", 10, 10, 250);
  lstTask = new QListWidget(this);
  lstTask->setObjectName("lstTask");
  lstTask->setSelectionMode(QAbstractItemView::MultiSelection);
  lstTask->setGeometry(10, 40, 250, 400);

  COM_ALL_A = button(this, "COM_ALL_A", "전체 선택", 272, 40);
  COM_ALL = button(this, "COM_ALL", "반전 선택", 272, 74);
  COM_BASE = button(this, "COM_BASE", "셀폭 기본", 272, 108);
  COM_ALLSELECT = button(this, "COM_ALLSELECT", "셀 전체선택", 272, 142);
  COM_ALLDESELECT = button(this, "COM_ALLDESELECT", "셀 선택취소", 272, 176);
  panel(this, 1, "출력 항목", 272, 230, 110);
  Com_Excel = button(this, "Com_Excel", "엑셀 출력", 272, 260);
  COM_CLOSE = button(this, "COM_CLOSE", "닫 기", 272, 410);

  connect(lstTask, &QListWidget::itemSelectionChanged, this, [this] {
    if (!filling_) storeChoice();
  });
  connect(COM_ALL_A, &QPushButton::clicked, this, [this] { selectAll(); });
  connect(COM_ALL, &QPushButton::clicked, this, [this] { invert(); });
  connect(COM_BASE, &QPushButton::clicked, this, [this] { forgetWidths(); });
  connect(Com_Excel, &QPushButton::clicked, this, [this] { exportGrid(); });
  connect(COM_CLOSE, &QPushButton::clicked, this, [this] { close(); });
  // COM_ALLSELECT and COM_ALLDESELECT are on the form and do nothing.

  resize(394, 452);
}

// Lists the headers of the columns not left out; a column stored as switched off ("TRUE")
// starts unselected, every other one selected. Done once per window.
void SPREADSET::Window::load() {
  if (loaded_ || !form_ || !form_->OpenFormFlag) return;
  loaded_ = true;
  filling_ = true;
  if (Grid* g = form_->OpenSpread.get()) {
    const int cols = g->MaxCols();
    for (int c = 1; c <= cols; ++c) {
      try {
        g->Row(0);
        g->Col(c);
        if (c > cols - form_->SP_Cutting) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(g->Text()), lstTask);
        item->setSelected(readSetting(form_->OpenForm, std::to_string(c) + "_HI") != "TRUE");
      } catch (const std::exception&) {
      }
    }
  }
  filling_ = false;
  // An export from this window covers every column.
  form_->SP_Cutting = 0;
}

// Every item i is stored as column i + 1: "FALSE" when selected (shown), "TRUE" when not.
void SPREADSET::Window::storeChoice() {
  if (!form_ || lstTask->count() == 0) return;
  for (int i = 0; i < lstTask->count(); ++i)
    writeSetting(form_->OpenForm, std::to_string(i + 1) + "_HI", lstTask->item(i)->isSelected() ? "FALSE" : "TRUE");
}

void SPREADSET::Window::selectAll() {
  if (lstTask->count() == 0) return;
  const bool select = !lstTask->item(0)->isSelected();
  filling_ = true;
  for (int i = 0; i < lstTask->count(); ++i) lstTask->item(i)->setSelected(select);
  filling_ = false;
  storeChoice();
}

void SPREADSET::Window::invert() {
  if (lstTask->count() == 0) return;
  filling_ = true;
  for (int i = 0; i < lstTask->count(); ++i) lstTask->item(i)->setSelected(!lstTask->item(i)->isSelected());
  filling_ = false;
  storeChoice();
}

void SPREADSET::Window::forgetWidths() {
  if (!form_) return;
  Grid* g = form_->OpenSpread.get();
  if (!g) return;
  for (int n = 1; n <= g->MaxCols(); ++n) writeSetting(form_->OpenForm, std::to_string(n) + "_WH", "");
}

void SPREADSET::Window::exportGrid() {
  if (!form_) return;
  Grid* g = form_->OpenSpread.get();
  if (!g) return;
  if (ExportSpreadToExcel(*g, form_->SP_Cutting)) ui::MsgBox("엑셀화일 출력에 성공하였습니다", ui::vbInformation, "출력");
}

void SPREADSET::Window::closeEvent(QCloseEvent* e) {
  e->accept();
  if (form_) SPREADSET::Unload();
}

// ---------------------------------------------------------------- the form

SPREADSET::SPREADSET() : window_(new Window(this)) {}

SPREADSET::~SPREADSET() {
  window_->detach();
  window_->hide();
  window_->deleteLater();
}

SPREADSET& SPREADSET::Load() {
  if (!g_form) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
      throw veltrano::RuntimeError(429, kSource, "ActiveX component can't create object: the setup window needs a QApplication");
    g_form = new SPREADSET;
  }
  return *g_form;
}

SPREADSET* SPREADSET::Loaded() { return g_form; }

void SPREADSET::Unload() {
  SPREADSET* form = g_form;
  g_form = nullptr;
  delete form;
}

void SPREADSET::Show() {
  window_->load();
  window_->show();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) window_->raise();  // offscreen has no stacking
  window_->activateWindow();
}

}  // namespace lumagrid
