#include "spreadprt.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "platform/grid/grid_preview.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "spreadtmp.h"

namespace lumagrid {
namespace {

namespace ui = veltrano::ui;
using veltrano::RuntimeError;

constexpr const char* kSource = "SPREADPRT";
constexpr const char* kDesignCaption = "SPREAD PRINT PREVEW";
constexpr const char* kCaption = "라움트랜스[운송/주선상용] 인쇄 미리보기";
// The preview control is this much narrower and lower than the window (twips).
constexpr int kPreviewNarrower = 500, kPreviewLower = 1500;
constexpr int kPreviewLeft = 16, kPreviewTop = 84;  // pixels
// The margin panel opens in the band above the preview, right of the buttons, so that it never
// covers the page.
constexpr int kPanelWidth = 360, kPanelHeight = 80, kPanelMinLeft = 616;

// Deliberately not destroyed at exit: the window may outlive the QApplication.
SPREADPRT* g_form = nullptr;

// Runs one event handler; an error is shown the way the print job shows its errors, so that
// nothing is thrown through Qt's event loop.
template <class F>
void handler(F&& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    ui::MsgBox(e.description(), ui::vbCritical, "오류");
  } catch (const std::exception& e) {
    ui::MsgBox(e.what(), ui::vbCritical, "오류");
  }
}

// A margin typed into the panel: a whole number of twips from 0 to 32767 (halves round to
// even, as the run-time's integer conversion does); nothing for any other text.
std::optional<std::int16_t> marginOf(const QString& text) {
  const std::string t = veltrano::text::Trim(text.toStdString());
  if (!veltrano::text::IsNumeric(t)) return std::nullopt;
  const double v = veltrano::text::RoundHalfEven(veltrano::text::ParseNumber(t));
  if (!(v >= 0 && v <= 32767)) return std::nullopt;
  return static_cast<std::int16_t>(v);
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int x, int y, int w, int h = 30) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setGeometry(x, y, w, h);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

}  // namespace

class SPREADPRT::Window : public QWidget {
 public:
  explicit Window(SPREADPRT* form);
  // Cuts the window off from its form (the form is being released).
  void detach() {
    form_ = nullptr;
    VSPW->setGridHwnd(0);
  }
  void load();

  veltrano::grid::GridPreview* VSPW;
  QPushButton* Com_Print;
  QPushButton* COM_Close;
  QPushButton* COM_Pre;
  QPushButton* COM_Next;
  QPushButton* COMM_ZOOMIN;
  QPushButton* COM_ZOOMOUT;
  QCheckBox* Chk_Acc;
  QCheckBox* CHK_LANDSCAPE;
  QPushButton* CHK_여백;
  QLabel* Print_Page;
  QGroupBox* Fr_여백설정;
  QLineEdit* TXT_TOP_MARGE;
  QLineEdit* TXT_LEFT_MARGE;
  QPushButton* Com_여백_Accept;
  QPushButton* Com_여백_cancel;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  Grid* grid() const { return form_ ? form_->Print_SPR.get() : nullptr; }
  void chooseHeader();
  void showIndicator();
  void pageChanged();
  void recount();
  void turn(int delta);
  void print();
  void orientation();
  void marginsApply();

  SPREADPRT* form_;
  int pageCount_ = 0;
  int page_ = 0;
};

SPREADPRT::Window::Window(SPREADPRT* form) : form_(form) {
  setObjectName("SPREADPRT");
  setWindowTitle(kDesignCaption);
  setFocusPolicy(Qt::StrongFocus);

  Com_Print = button(this, "Com_Print", "인쇄(F5)", 10, 8, 90);
  COM_Pre = button(this, "COM_Pre", "이 전", 110, 8, 70);
  COM_Next = button(this, "COM_Next", "다 음", 184, 8, 70);
  COMM_ZOOMIN = button(this, "COMM_ZOOMIN", "확 대", 264, 8, 70);
  COM_ZOOMOUT = button(this, "COM_ZOOMOUT", "축 소", 338, 8, 70);
  CHK_여백 = button(this, "CHK_여백", "여백설정", 418, 8, 90);
  COM_Close = button(this, "COM_Close", "닫기(ESC)", 518, 8, 90);

  Chk_Acc = new QCheckBox(QStringLiteral("결제란 인쇄하기"), this);
  Chk_Acc->setObjectName("Chk_Acc");
  Chk_Acc->setGeometry(12, 46, 150, 28);
  Chk_Acc->setFocusPolicy(Qt::TabFocus);
  CHK_LANDSCAPE = new QCheckBox(QStringLiteral("세로 인쇄"), this);
  CHK_LANDSCAPE->setObjectName("CHK_LANDSCAPE");
  CHK_LANDSCAPE->setGeometry(170, 46, 120, 28);
  CHK_LANDSCAPE->setFocusPolicy(Qt::TabFocus);
  Print_Page = new QLabel(this);
  Print_Page->setObjectName("Print_Page");
  Print_Page->setGeometry(300, 46, 120, 28);
  Print_Page->setAlignment(Qt::AlignCenter);
  Print_Page->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  VSPW = new veltrano::grid::GridPreview(this);
  VSPW->setObjectName("VSPW");

  // The panel: its title inside its border, a row per margin with the unit beside the box, the
  // two buttons at the right.
  Fr_여백설정 = new QGroupBox(QStringLiteral("여백 설정창"), this);
  Fr_여백설정->setObjectName(QStringLiteral("Fr_여백설정"));
  Fr_여백설정->setGeometry(kPanelMinLeft, 2, kPanelWidth, kPanelHeight);
  Fr_여백설정->setStyleSheet(QStringLiteral(
      "QGroupBox { background: palette(window); border: 1px solid palette(dark); border-radius: 3px;"
      " margin-top: 0px; padding-top: 18px; }"
      "QGroupBox::title { subcontrol-origin: padding; subcontrol-position: top left; left: 8px; top: 3px; }"));
  const QString unitTip = QStringLiteral("1440 twips = 1인치 (약 567 twips = 1cm)");
  auto marginRow = [&](const char* caption, const char* name, int y) {
    auto* label = new QLabel(QString::fromUtf8(caption), Fr_여백설정);
    label->setGeometry(10, y, 62, 24);
    auto* box = new QLineEdit(Fr_여백설정);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(74, y, 84, 24);
    box->setAlignment(Qt::AlignRight);
    box->setToolTip(unitTip);
    auto* unit = new QLabel(QStringLiteral("twips"), Fr_여백설정);
    unit->setGeometry(164, y, 50, 24);
    unit->setToolTip(unitTip);
    return box;
  };
  TXT_TOP_MARGE = marginRow("상단 여백", "TXT_TOP_MARGE", 22);
  TXT_LEFT_MARGE = marginRow("왼쪽 여백", "TXT_LEFT_MARGE", 50);
  Com_여백_Accept = button(Fr_여백설정, "Com_여백_Accept", "적 용", 270, 22, 80, 24);
  Com_여백_cancel = button(Fr_여백설정, "Com_여백_cancel", "취 소", 270, 50, 80, 24);
  Fr_여백설정->hide();

  connect(Com_Print, &QPushButton::clicked, this, [this] { handler([this] { print(); }); });
  connect(COM_Close, &QPushButton::clicked, this, [this] { close(); });
  connect(COM_Next, &QPushButton::clicked, this, [this] { handler([this] { turn(1); }); });
  connect(COM_Pre, &QPushButton::clicked, this, [this] { handler([this] { turn(-1); }); });
  connect(COMM_ZOOMIN, &QPushButton::clicked, this, [this] { VSPW->setZoomState(1); });
  connect(COM_ZOOMOUT, &QPushButton::clicked, this, [this] { VSPW->setZoomState(2); });
  connect(VSPW, &veltrano::grid::GridPreview::pageChanged, this, [this](int page) {
    handler([this, page] {
      page_ = page;
      pageChanged();
    });
  });
  connect(Chk_Acc, &QCheckBox::clicked, this, [this] { handler([this] { pageChanged(); }); });
  connect(CHK_LANDSCAPE, &QCheckBox::clicked, this, [this] { handler([this] { orientation(); }); });
  connect(CHK_여백, &QPushButton::clicked, this, [this] {
    if (!form_) return;
    TXT_TOP_MARGE->setText(QString::number(form_->PrintMarginTop));
    TXT_LEFT_MARGE->setText(QString::number(form_->PrintMarginLeft));
    Fr_여백설정->show();
    Fr_여백설정->raise();
    TXT_TOP_MARGE->setFocus();
  });
  connect(Com_여백_Accept, &QPushButton::clicked, this, [this] { handler([this] { marginsApply(); }); });
  connect(Com_여백_cancel, &QPushButton::clicked, this, [this] { Fr_여백설정->hide(); });

  resize(1000, 760);
}

void SPREADPRT::Window::load() {
  Grid* g = grid();
  if (!g) throw RuntimeError(veltrano::err::kObjectNotSet, kSource, "Object variable not set: no grid to preview");
  const SPREADPRT& f = *form_;
  g->PrintBorder(f.PrintBorder);
  g->PrintGrid(f.PrintGrid);
  g->PrintHeader(f.PrintHeader_S);
  g->PrintFooter(f.PrintFooter_S);
  g->PrintJobName(f.PrintJobName);
  g->PrintMarginLeft(f.PrintMarginLeft);
  g->PrintMarginTop(f.PrintMarginTop);
  g->PrintOrientation(f.PrintOrientation);
  g->PrintNextPageBreakRow(f.PrintNextPageBreakRow);
  g->PrintPageStart(f.PrintPageStart);
  g->PrintPageEnd(g->PrintPageCount());
  g->PrintSmartPrint(f.PrintSmartPrint);
  pageCount_ = g->PrintPageCount();
  page_ = 1;
  // The check boxes start as the job stands: no approval box, and the orientation handed in
  // (0, the printer's default, is portrait).
  Chk_Acc->setChecked(false);
  CHK_LANDSCAPE->setChecked(f.PrintOrientation != 2);
  Fr_여백설정->hide();
  VSPW->setPageCurrent(page_);
  showIndicator();
  setWindowTitle(QString::fromUtf8(kCaption));
}

// Page 1 with Chk_Acc checked carries the approval box; every other page the plain header.
void SPREADPRT::Window::chooseHeader() {
  Grid* g = grid();
  if (!g) return;
  const bool box = page_ == 1 && Chk_Acc->isChecked();
  g->PrintHeader(box ? form_->PrintHeader_F : form_->PrintHeader_S);
  g->PrintFooter(box ? form_->PrintFooter_F : form_->PrintFooter_S);
}

void SPREADPRT::Window::showIndicator() { Print_Page->setText(QStringLiteral("%1 / %2").arg(page_).arg(pageCount_)); }

void SPREADPRT::Window::pageChanged() {
  chooseHeader();
  showIndicator();
  VSPW->setPageCurrent(page_);
}

// Reads the page count again and keeps the current page within it.
void SPREADPRT::Window::recount() {
  Grid* g = grid();
  if (!g) return;
  pageCount_ = g->PrintPageCount();
  page_ = std::clamp(page_, 1, std::max(1, pageCount_));
  pageChanged();
}

void SPREADPRT::Window::turn(int delta) {
  if (delta > 0 && page_ < pageCount_) ++page_;
  else if (delta < 0 && page_ > 1) --page_;
  else return;
  pageChanged();
}

void SPREADPRT::Window::orientation() {
  Grid* g = grid();
  if (!g) return;
  g->PrintOrientation(CHK_LANDSCAPE->isChecked() ? 1 : 2);
  VSPW->setGridHwnd(g->hwnd());
  g->Refresh();
  recount();
}

void SPREADPRT::Window::marginsApply() {
  Grid* g = grid();
  if (!g) return;
  const auto top = marginOf(TXT_TOP_MARGE->text());
  const auto left = marginOf(TXT_LEFT_MARGE->text());
  if (!top || !left) {
    ui::MsgBox("여백은 0부터 32767까지의 정수로 입력하십시오.", ui::vbExclamation, "여백 설정");
    (top ? TXT_LEFT_MARGE : TXT_TOP_MARGE)->setFocus();
    return;
  }
  form_->PrintMarginTop = *top;
  form_->PrintMarginLeft = *left;
  g->PrintMarginTop(*top);
  g->PrintMarginLeft(*left);
  VSPW->setGridHwnd(g->hwnd());
  Fr_여백설정->hide();
  recount();
}

// Page 1 alone with the approval box, then the rest with the plain header; each one print.
void SPREADPRT::Window::print() {
  Grid* g = grid();
  if (!g) return;
  struct Restore {  // the screen shows the current page's header again, whatever happened
    Window* w;
    ~Restore() { w->chooseHeader(); }
  } restore{this};
  pageCount_ = g->PrintPageCount();
  g->PrintType(3);
  if (Chk_Acc->isChecked()) {
    g->PrintHeader(form_->PrintHeader_F);
    g->PrintFooter(form_->PrintFooter_F);
    g->PrintPageStart(1);
    g->PrintPageEnd(1);
    g->PrintSheet();
    g->PrintHeader(form_->PrintHeader_S);
    g->PrintFooter(form_->PrintFooter_S);
    g->PrintPageStart(2);
    g->PrintPageEnd(pageCount_);
    g->PrintSheet();
  } else {
    g->PrintHeader(form_->PrintHeader_S);
    g->PrintFooter(form_->PrintFooter_S);
    g->PrintPageStart(1);
    g->PrintPageEnd(pageCount_);
    g->PrintSheet();
  }
}

void SPREADPRT::Window::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    close();
  } else if (e->key() == Qt::Key_F5) {
    handler([this] { print(); });
  } else {
    QWidget::keyPressEvent(e);
  }
}

void SPREADPRT::Window::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const int narrower = kPreviewNarrower * std::max(1, logicalDpiX()) / 1440;
  const int lower = kPreviewLower * std::max(1, logicalDpiY()) / 1440;
  VSPW->setGeometry(kPreviewLeft, kPreviewTop, std::max(0, width() - narrower), std::max(0, height() - lower));
  Fr_여백설정->move(std::max(kPanelMinLeft, width() - kPanelWidth - 12), 2);
}

void SPREADPRT::Window::closeEvent(QCloseEvent* e) {
  e->accept();
  if (form_) SPREADPRT::Unload();
}

// ---------------------------------------------------------------- the form

SPREADPRT::SPREADPRT() : window_(new Window(this)) {}

SPREADPRT::~SPREADPRT() {
  window_->detach();
  window_->hide();
  window_->deleteLater();
}

SPREADPRT& SPREADPRT::Load() {
  if (!g_form) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
      throw RuntimeError(429, kSource, "ActiveX component can't create object: the preview window needs a QApplication");
    g_form = new SPREADPRT;
  }
  return *g_form;
}

SPREADPRT* SPREADPRT::Loaded() { return g_form; }

void SPREADPRT::Unload() {
  SPREADPRT* form = g_form;
  g_form = nullptr;
  delete form;
  SPREADTMP::Unload();
}

void SPREADPRT::setPreviewGrid(veltrano::ui::Hwnd hwnd) { window_->VSPW->setGridHwnd(hwnd); }

void SPREADPRT::Show() {
  window_->load();
  window_->show();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) window_->raise();  // offscreen has no stacking
  window_->activateWindow();
  window_->setFocus();
}

}  // namespace lumagrid
