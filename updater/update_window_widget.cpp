#include "updater/update_window_widget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadialGradient>
#include <QResizeEvent>
#include <QtMath>

#include "platform/gdi/qt_bridge.h"
#include "platform/runtime/error.h"

namespace meridox {

namespace {

namespace ui = veltrano::ui;

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const QColor kNavy(22, 52, 96);
const QColor kTeal(24, 120, 140);
const QColor kWindowBack(244, 246, 249);

// The heading band (SSPanel1).
class PanelView : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, kNavy);
    g.setColorAt(1, kTeal);
    p.fillRect(rect(), g);
    p.setPen(QColor(255, 255, 255, 40));
    for (int x = width() - 160; x < width() + 120; x += 18) p.drawLine(x, height(), x + 60, 0);
  }
};

void drawArrowDown(QPainter& p, const QRectF& r, const QColor& colour) {
  QPainterPath arrow;
  const double cx = r.center().x(), w = r.width(), h = r.height();
  arrow.moveTo(cx - w * 0.12, r.top() + h * 0.12);
  arrow.lineTo(cx + w * 0.12, r.top() + h * 0.12);
  arrow.lineTo(cx + w * 0.12, r.top() + h * 0.45);
  arrow.lineTo(cx + w * 0.28, r.top() + h * 0.45);
  arrow.lineTo(cx, r.top() + h * 0.72);
  arrow.lineTo(cx - w * 0.28, r.top() + h * 0.45);
  arrow.lineTo(cx - w * 0.12, r.top() + h * 0.45);
  arrow.closeSubpath();
  p.fillPath(arrow, colour);
}

void drawTray(QPainter& p, const QRectF& r, const QColor& colour) {
  QPen pen(colour, r.width() * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPolygonF tray;
  tray << QPointF(r.left() + r.width() * 0.16, r.top() + r.height() * 0.66)
       << QPointF(r.left() + r.width() * 0.16, r.top() + r.height() * 0.86)
       << QPointF(r.right() - r.width() * 0.16, r.top() + r.height() * 0.86)
       << QPointF(r.right() - r.width() * 0.16, r.top() + r.height() * 0.66);
  p.drawPolyline(tray);
}

void drawMagnifier(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kNavy, r.width() * 0.1, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(QColor(210, 232, 250));
  const QRectF lens(r.left() + r.width() * 0.14, r.top() + r.height() * 0.12, r.width() * 0.5, r.height() * 0.5);
  p.drawEllipse(lens);
  p.drawLine(QPointF(lens.right() - lens.width() * 0.12, lens.bottom() - lens.height() * 0.12),
             QPointF(r.right() - r.width() * 0.12, r.bottom() - r.height() * 0.12));
}

void drawGear(QPainter& p, const QRectF& r) {
  const QPointF c = r.center();
  const double outer = r.width() * 0.44, inner = r.width() * 0.32;
  QPainterPath gear;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = (i * M_PI) / teeth, a1 = ((i + 1) * M_PI) / teeth;
    const double rad = (i % 2 == 0) ? outer : inner;
    const QPointF p0(c.x() + rad * std::cos(a0), c.y() + rad * std::sin(a0));
    const QPointF p1(c.x() + rad * std::cos(a1), c.y() + rad * std::sin(a1));
    if (i == 0) gear.moveTo(p0);
    else gear.lineTo(p0);
    gear.lineTo(p1);
  }
  gear.closeSubpath();
  gear.addEllipse(c, r.width() * 0.13, r.width() * 0.13);
  gear.setFillRule(Qt::OddEvenFill);
  p.fillPath(gear, QColor(90, 100, 115));
}

void drawLamp(QPainter& p, const QRectF& r, const QColor& colour) {
  QRadialGradient g(r.center() - QPointF(r.width() * 0.15, r.height() * 0.15), r.width() * 0.6);
  g.setColorAt(0, colour.lighter(170));
  g.setColorAt(0.6, colour);
  g.setColorAt(1, colour.darker(150));
  p.setPen(QPen(colour.darker(180), 1));
  p.setBrush(g);
  p.drawEllipse(r.adjusted(2, 2, -2, -2));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawEllipse(QRectF(r.left() + r.width() * 0.28, r.top() + r.height() * 0.16, r.width() * 0.3, r.height() * 0.18));
}

// The pictures of the form: the logo (Image1), the family mark (Image2), the three step
// icons (ICO) and the five status lamps (STAT).
class ArtView : public QWidget {
 public:
  ArtView(std::string name, QWidget* parent) : QWidget(parent), name_(std::move(name)) {
    setAttribute(Qt::WA_TranslucentBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (name_ == "Image1") {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 255, 255, 235));
      p.drawRoundedRect(r, 10, 10);
      drawArrowDown(p, r, kTeal);
      drawTray(p, r, kNavy);
    } else if (name_ == "Image2") {
      p.setPen(QPen(QColor(255, 255, 255, 170), 1.5));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(r, 8, 8);
      QFont f = veltrano::gdi::qFont(veltrano::Font{"Verdana", 10.0, true, true});
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(r, Qt::AlignCenter, "Tarvic");
    } else if (name_ == "ICO(0)") {
      drawMagnifier(p, r);
    } else if (name_ == "ICO(1)") {
      drawArrowDown(p, r, kTeal);
      drawTray(p, r, kNavy);
    } else if (name_ == "ICO(2)") {
      drawGear(p, r);
    } else if (name_.rfind("STAT(", 0) == 0) {
      static const QColor lamps[] = {QColor(160, 166, 174), QColor(240, 160, 30), QColor(46, 170, 80),
                                     QColor(40, 120, 220), QColor(210, 50, 50)};
      const int i = name_[5] - '0';
      drawLamp(p, r, lamps[i >= 0 && i < 5 ? i : 0]);
    }
  }

 private:
  std::string name_;
};

// SP_PB: shows the progress bar control's surface in its window shape.
class BarView : public QWidget {
 public:
  BarView(ProgressBar& bar, QWidget* parent) : QWidget(parent), bar_(bar) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    bar_.setOnRedrawn([this] {
      setMask(veltrano::gdi::qRegion(bar_.windowRegion()));
      update();
    });
    setMask(veltrano::gdi::qRegion(bar_.windowRegion()));
  }
  ~BarView() override { bar_.setOnRedrawn({}); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, veltrano::gdi::qImage(bar_.surface()));
  }
  void resizeEvent(QResizeEvent* event) override {
    bar_.Resize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
  }

 private:
  ProgressBar& bar_;
};

}  // namespace

UpdateWindowWidget::UpdateWindowWidget(UpdateWindow& window, QWidget* parent) : QWidget(parent), window_(window) {
  UpdateForm& form = window_.form();
  setWindowTitle(q(form.Caption()));
  setFixedSize(UpdateForm::kWidth, UpdateForm::kHeight);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kWindowBack);
  setPalette(pal);
  setAutoFillBackground(true);
  setFont(veltrano::gdi::qFont(veltrano::Font{"맑은 고딕", 9.0}));

  for (FormControl* c : form.controls()) {
    QWidget* w = nullptr;
    switch (c->kind()) {
      case ControlKind::Panel: w = new PanelView(this); break;
      case ControlKind::Label: {
        auto* label = new QLabel(this);
        const bool onBand = c->container() == nullptr && c->Top() < form.SSPanel1.Height();
        if (onBand) label->setStyleSheet("color: white;");
        else if (c == &form.LB_SETUP_VER) label->setStyleSheet("color: rgb(24,120,140);");
        w = label;
        break;
      }
      case ControlKind::TextBox: {
        auto* box = new QPlainTextEdit(this);
        box->setReadOnly(true);
        box->setFrameShape(QFrame::StyledPanel);
        w = box;
        break;
      }
      case ControlKind::Frame: w = new QGroupBox(this); break;
      case ControlKind::CheckBox: {
        auto* check = new QCheckBox(this);
        connect(check, &QCheckBox::toggled, this, [c](bool on) { c->Value(on ? 1 : 0); });
        w = check;
        break;
      }
      case ControlKind::Button: {
        auto* button = new QPushButton(this);
        if (c == &form.Com_Yes) {
          button->setDefault(true);
          connect(button, &QPushButton::clicked, this, [this] { runHandler([this] { window_.Com_Yes_Click(); }); });
        } else if (c == &form.Com_Cancel) {
          connect(button, &QPushButton::clicked, this, [this] { runHandler([this] { window_.Com_Cancel_Click(); }); });
        }
        w = button;
        break;
      }
      case ControlKind::Image:
      case ControlKind::Picture: w = new ArtView(c->Name(), this); break;
    }
    w->setObjectName(q(c->Name()));
    w->setFont(veltrano::gdi::qFont(c->font()));
    widgets_[c] = w;
    if (c == &form.LB_INFO) {
      bar_ = new BarView(window_.SP_PB(), this);
      bar_->setObjectName("SP_PB");
      const Rect& r = UpdateForm::kProgressBarRect;
      bar_->setGeometry(r.left, r.top, r.width, r.height);
    }
  }
  form.setOnChanged([this](const FormControl* changed) { sync(changed); });
  sync(nullptr);
}

UpdateWindowWidget::~UpdateWindowWidget() { window_.form().setOnChanged({}); }

QWidget* UpdateWindowWidget::widgetFor(const FormControl& control) const {
  auto it = widgets_.find(&control);
  return it == widgets_.end() ? nullptr : it->second;
}

int UpdateWindowWidget::collapsed() const {
  const UpdateForm& form = window_.form();
  return form.FRM_FLAME.Visible() ? 0 : form.Frame2.Top() - form.FRM_FLAME.Top();
}

void UpdateWindowWidget::syncControl(const FormControl& c) {
  QWidget* w = widgetFor(c);
  if (!w) return;
  const Rect& r = c.rect();
  const FormControl& options = window_.form().FRM_FLAME;
  const int up = r.top >= options.Top() + options.Height() ? collapsed() : 0;
  w->setGeometry(r.left, r.top - up, r.width, r.height);
  const QString caption = q(c.Caption());
  if (auto* label = qobject_cast<QLabel*>(w)) label->setText(caption);
  else if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
    if (box->toPlainText() != caption) box->setPlainText(QString(caption).replace("\r\n", "\n"));
  } else if (auto* frame = qobject_cast<QGroupBox*>(w)) frame->setTitle(caption);
  else if (auto* check = qobject_cast<QCheckBox*>(w)) {
    check->setText(caption);
    if (check->isChecked() != (c.Value() == 1)) check->setChecked(c.Value() == 1);
  } else if (auto* button = qobject_cast<QPushButton*>(w)) button->setText(caption);
  w->setVisible(c.shown());
}

void UpdateWindowWidget::sync(const FormControl* changed) {
  const UpdateForm& form = window_.form();
  // A frame's visibility decides its contents', and the form's its own; anything else
  // touches one control.
  if (changed && changed->kind() != ControlKind::Frame) {
    syncControl(*changed);
    return;
  }
  for (const FormControl* c : form.controls()) syncControl(*c);
  setFixedSize(UpdateForm::kWidth, UpdateForm::kHeight - collapsed());
  if (bar_) {
    const Rect& r = UpdateForm::kProgressBarRect;
    bar_->setGeometry(r.left, r.top - collapsed(), r.width, r.height);
    bar_->setVisible(form.Frame2.shown());
  }
  if (!changed) setVisible(form.Visible());
}

void UpdateWindowWidget::closeEvent(QCloseEvent* event) {
  // The close box and the system menu are refused; an end of the program closes the window
  // without asking.
  if (!pendingEnd_ && window_.Form_QueryUnload(vbFormControlMenu)) event->ignore();
  else event->accept();
}

template <class Handler>
void UpdateWindowWidget::runHandler(Handler&& handler) {
  try {
    handler();
  } catch (const veltrano::ProgramEnd& end) {
    pendingEnd_ = end.exitCode();
    QCoreApplication::exit(end.exitCode());
  } catch (const veltrano::RuntimeError& e) {
    // An error no handler of the form catches ends the program, as the run-time does.
    ui::MsgBox("런타임 오류 '" + std::to_string(e.number()) + "':\r\n\r\n" + e.description(), ui::vbCritical,
               "Meridox");
    pendingEnd_ = 1;
    QCoreApplication::exit(1);
  }
}

void UpdateWindowWidget::throwPendingEnd() const {
  if (pendingEnd_) throw veltrano::ProgramEnd(*pendingEnd_);
}

ui::Answer WindowUi::messageBox(const ui::MessageBoxSpec& box) { return inner_.messageBox(box); }
std::optional<std::string> WindowUi::inputBox(const ui::InputBoxSpec& box) { return inner_.inputBox(box); }
std::optional<std::string> WindowUi::openFileDialog(const ui::FileDialogSpec& dlg) {
  return inner_.openFileDialog(dlg);
}
std::optional<std::string> WindowUi::saveFileDialog(const ui::FileDialogSpec& dlg) {
  return inner_.saveFileDialog(dlg);
}

void WindowUi::pump() {
  inner_.pump();
  widget_.throwPendingEnd();
}

void WindowUi::setMousePointer(ui::MousePointer p) {
  pointer_ = p;
  inner_.setMousePointer(p);
}

}  // namespace meridox
