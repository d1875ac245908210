#include "platform/tooltip/tooltip.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#include <map>
#include <memory>

#include "platform/text/ansi.h"
#include "platform/tooltip/message_log.h"

namespace veltrano::tooltip {
namespace {

using detail::ansiText;
using detail::record;

constexpr int kDefaultInitialMs = 500;
constexpr int kDefaultAutoPopMs = 5000;
constexpr int kPadding = 6;
constexpr int kStem = 12;     // height of a balloon's stem
constexpr int kRadius = 8;    // corner radius of a balloon
constexpr int kIconSize = 16;

QString qs(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QColor fromColorref(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

class TipWindow;

struct Tool {
  std::uint32_t flags = 0;
  Hwnd hwnd = 0;
  std::uint32_t id = 0;
  std::string text;  // UTF-8
  QPointer<QWidget> widget;
};

// One tooltip window: the tip widget, its tools and settings, and the mouse watch on the tools.
class TipWindow final : public QWidget {
 public:
  explicit TipWindow(std::uint32_t style)
      : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint),
        style_(style),
        showTimer_([this] { onShowTimer(); }),
        hideTimer_([this] { onHideTimer(); }) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (balloon()) setAttribute(Qt::WA_TranslucentBackground);
    setFont(QToolTip::font());
  }

  ~TipWindow() override {
    for (auto& t : tools_)
      if (t.widget) t.widget->removeEventFilter(this);
  }

  bool balloon() const { return (style_ & TTS_BALLOON) != 0; }

  std::intptr_t handle(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (msg) {
      case TTM_ADDTOOLA: return addTool(reinterpret_cast<const TOOLINFOA*>(lParam));
      case TTM_UPDATETIPTEXTA: return updateText(reinterpret_cast<const TOOLINFOA*>(lParam));
      case TTM_SETTITLEA: {
        icon_ = static_cast<std::uint32_t>(wParam);
        auto t = ansiText(reinterpret_cast<const char*>(lParam));
        title_ = t ? text::fromAnsi(*t) : std::string();
        relayout();
        return 1;
      }
      case TTM_SETTIPTEXTCOLOR:
        textColour_ = static_cast<std::uint32_t>(wParam);
        update();
        return 0;
      case TTM_SETTIPBKCOLOR:
        backColour_ = static_cast<std::uint32_t>(wParam);
        update();
        return 0;
      case TTM_SETDELAYTIME: {
        // The low word, as a signed number; a negative time restores the default.
        const int ms = static_cast<std::int16_t>(lParam & 0xFFFF);
        if (wParam == TTDT_INITIAL) initialMs_ = ms < 0 ? kDefaultInitialMs : ms;
        else if (wParam == TTDT_AUTOPOP) autoPopMs_ = ms < 0 ? kDefaultAutoPopMs : ms;
        else if (wParam == TTDT_AUTOMATIC) {
          initialMs_ = ms < 0 ? kDefaultInitialMs : ms;
          autoPopMs_ = ms < 0 ? kDefaultAutoPopMs : ms * 10;
        }
        return 0;
      }
      case TTM_POP: hideTip(); return 0;
      default: return 0;
    }
  }

  TipState state() const {
    TipState s;
    s.style = style_;
    s.balloon = balloon();
    s.visible = isVisible();
    s.shownText = shownText_;
    s.title = title_;
    s.icon = icon_;
    s.textColour = textColour_;
    s.backColour = backColour_;
    s.initialMs = initialMs_;
    s.autoPopMs = autoPopMs_;
    s.tools = tools_.size();
    return s;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const int index = toolOf(watched);
    if (index < 0) return false;
    switch (event->type()) {
      case QEvent::Enter:
        anchor_ = static_cast<QEnterEvent*>(event)->globalPosition().toPoint();
        armFor(index);
        break;
      case QEvent::MouseMove:
        anchor_ = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (!isVisible()) armFor(index);
        break;
      case QEvent::Leave:
      case QEvent::MouseButtonPress:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::Hide:
        hideTip();
        break;
      default: break;
    }
    return false;
  }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, balloon());
    const QColor back = backColour_ ? fromColorref(*backColour_) : palette().color(QPalette::ToolTipBase);
    const QColor fore = textColour_ ? fromColorref(*textColour_) : palette().color(QPalette::ToolTipText);
    const QRect body = bodyRect();
    if (balloon()) {
      QPainterPath path;
      path.addRoundedRect(QRectF(body).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
      QPolygonF stem;
      const qreal sx = stemX_;
      stem << QPointF(sx, 0.5) << QPointF(sx - 4, body.top() + 1.0) << QPointF(sx + kStem, body.top() + 1.0);
      QPainterPath stemPath;
      stemPath.addPolygon(stem);
      stemPath.closeSubpath();
      path = path.united(stemPath);
      p.fillPath(path, back);
      p.setPen(QPen(fore, 1));
      p.drawPath(path);
    } else {
      p.fillRect(rect(), back);
      p.setPen(fore);
      p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    p.setPen(fore);
    int y = body.top() + kPadding;
    const int x = body.left() + kPadding;
    if (!title_.empty() || iconPixmap().isNull() == false) {
      int tx = x;
      const QPixmap icon = iconPixmap();
      if (!icon.isNull()) {
        p.drawPixmap(x, y, icon);
        tx += kIconSize + 4;
      }
      QFont bold = font();
      bold.setBold(true);
      p.setFont(bold);
      const QFontMetrics fm(bold);
      p.drawText(QRect(tx, y, body.right() - tx, std::max(fm.height(), kIconSize)), Qt::AlignVCenter | Qt::AlignLeft,
                 qs(title_));
      y += std::max(fm.height(), kIconSize) + 4;
      p.setFont(font());
    }
    p.drawText(QRect(x, y, body.width() - 2 * kPadding, body.bottom() - y), Qt::AlignLeft | Qt::AlignTop,
               qs(shownText_));
  }

 private:
  std::intptr_t addTool(const TOOLINFOA* ti) {
    if (ti == nullptr || ti->cbSize < TTTOOLINFOA_V1_SIZE) return 0;
    Tool t;
    t.flags = ti->uFlags;
    t.hwnd = ti->hwnd;
    t.id = ti->uId;
    if (auto s = ansiText(ti->lpszText)) t.text = text::fromAnsi(*s);
    const Hwnd watched = (t.flags & TTF_IDISHWND) ? static_cast<Hwnd>(t.id) : 0;
    if (watched != 0 && (t.flags & TTF_SUBCLASS)) {
      // Window handles of the Qt interface name QWidgets.
      t.widget = static_cast<QWidget*>(ui::windowObject(watched));
      if (t.widget) t.widget->installEventFilter(this);
    }
    tools_.push_back(std::move(t));
    return 1;
  }

  std::intptr_t updateText(const TOOLINFOA* ti) {
    if (ti == nullptr || ti->cbSize < TTTOOLINFOA_V1_SIZE) return 0;
    for (std::size_t i = 0; i < tools_.size(); ++i) {
      Tool& t = tools_[i];
      if (t.hwnd != ti->hwnd || t.id != ti->uId) continue;
      auto s = ansiText(ti->lpszText);
      t.text = s ? text::fromAnsi(*s) : std::string();
      if (isVisible() && static_cast<int>(i) == current_) {
        shownText_ = t.text;
        relayout();
      }
    }
    return 0;
  }

  int toolOf(QObject* watched) const {
    for (std::size_t i = 0; i < tools_.size(); ++i)
      if (tools_[i].widget == watched) return static_cast<int>(i);
    return -1;
  }

  void armFor(int index) {
    current_ = index;
    showTimer_.setEnabled(false);
    showTimer_.setInterval(std::max(initialMs_, 1));
    showTimer_.setEnabled(true);
  }

  void onShowTimer() {
    showTimer_.setEnabled(false);
    if (current_ < 0 || current_ >= static_cast<int>(tools_.size())) return;
    const Tool& t = tools_[static_cast<std::size_t>(current_)];
    if (t.text.empty() || !t.widget) return;  // an empty tip is never shown
    shownText_ = t.text;
    relayout();
    place(t);
    show();
    raise();
    if (autoPopMs_ > 0) {
      hideTimer_.setInterval(autoPopMs_);
      hideTimer_.setEnabled(true);
    }
  }

  void onHideTimer() { hideTip(); }

  void hideTip() {
    showTimer_.setEnabled(false);
    hideTimer_.setEnabled(false);
    hide();
  }

  QPixmap iconPixmap() const {
    QStyle::StandardPixmap sp;
    switch (icon_) {
      case TTI_INFO: sp = QStyle::SP_MessageBoxInformation; break;
      case TTI_WARNING: sp = QStyle::SP_MessageBoxWarning; break;
      case TTI_ERROR: sp = QStyle::SP_MessageBoxCritical; break;
      default: return {};
    }
    return style()->standardIcon(sp).pixmap(kIconSize, kIconSize);
  }

  QRect bodyRect() const { return balloon() ? QRect(0, kStem, width(), height() - kStem) : rect(); }

  // Size from title, icon and text.
  void relayout() {
    const QFontMetrics fm(font());
    QRect textBox = fm.boundingRect(QRect(0, 0, 400, 10000), Qt::AlignLeft | Qt::TextWordWrap, qs(shownText_));
    int w = textBox.width();
    int h = textBox.height();
    if (!title_.empty() || !iconPixmap().isNull()) {
      QFont bold = font();
      bold.setBold(true);
      const QFontMetrics bfm(bold);
      const int titleWidth = bfm.horizontalAdvance(qs(title_)) + (iconPixmap().isNull() ? 0 : kIconSize + 4);
      w = std::max(w, titleWidth);
      h += std::max(bfm.height(), kIconSize) + 4;
    }
    w += 2 * kPadding + (balloon() ? 2 * kRadius / 2 : 0);
    h += 2 * kPadding;
    resize(w, h + (balloon() ? kStem : 0));
    update();
  }

  void place(const Tool& t) {
    QPoint at = anchor_;
    if ((t.flags & TTF_CENTERTIP) && t.widget) {
      const QPoint bottomCentre = t.widget->mapToGlobal(QPoint(t.widget->width() / 2, t.widget->height()));
      at = bottomCentre;
      move(at.x() - width() / 2, at.y() + (balloon() ? 0 : 2));
      stemX_ = width() / 2;
      return;
    }
    if (balloon()) {
      stemX_ = std::min(kRadius + 8, width() / 2);
      move(at.x() - stemX_, at.y());
    } else {
      move(at.x(), at.y() + 20);  // below the cursor
    }
  }

  std::uint32_t style_;
  std::vector<Tool> tools_;
  std::string title_;
  std::uint32_t icon_ = TTI_NONE;
  std::optional<std::uint32_t> textColour_, backColour_;
  int initialMs_ = kDefaultInitialMs;
  int autoPopMs_ = kDefaultAutoPopMs;
  ui::Timer showTimer_, hideTimer_;
  int current_ = -1;
  QPoint anchor_;
  int stemX_ = kRadius + 8;
  std::string shownText_;
};

std::map<Hwnd, std::unique_ptr<TipWindow>>& windows() {
  static std::map<Hwnd, std::unique_ptr<TipWindow>> byHandle;
  return byHandle;
}

TipWindow* find(Hwnd h) {
  auto it = windows().find(h);
  return it == windows().end() ? nullptr : it->second.get();
}

}  // namespace

void InitCommonControls() {
  LoggedCall c;
  c.call = "InitCommonControls";
  c.delivered = true;
  record(std::move(c));
}

Hwnd CreateWindowExA(std::uint32_t exStyle, const char* className, const char* /*windowName*/, std::uint32_t style,
                     std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent,
                     std::uint32_t menu, std::uint32_t instance, const void* /*param*/) {
  LoggedCall c = detail::creationCall(exStyle, className, style, x, y, width, height, parent, menu, instance);
  Hwnd h = 0;
  if (c.className == TOOLTIPS_CLASSA && qobject_cast<QApplication*>(QCoreApplication::instance())) {
    auto w = std::make_unique<TipWindow>(style);
    h = ui::registerWindow(static_cast<QWidget*>(w.get()));
    windows()[h] = std::move(w);
  }
  c.hwnd = h;
  c.delivered = h != 0;
  record(std::move(c));
  return h;
}

std::intptr_t SendMessageA(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  LoggedCall c = detail::sentCall(hwnd, msg, wParam, lParam);
  TipWindow* w = find(hwnd);
  c.delivered = w != nullptr;
  record(std::move(c));
  return w != nullptr ? w->handle(msg, wParam, lParam) : 0;
}

bool DestroyWindow(Hwnd hwnd) {
  LoggedCall c;
  c.call = "DestroyWindow";
  c.hwnd = hwnd;
  auto& m = windows();
  auto it = m.find(hwnd);
  c.delivered = it != m.end();
  record(std::move(c));
  if (it == m.end()) return false;
  ui::unregisterWindow(hwnd);
  m.erase(it);
  return true;
}

bool IsWindow(Hwnd hwnd) { return find(hwnd) != nullptr; }

std::optional<TipState> tipState(Hwnd tooltip) {
  if (TipWindow* w = find(tooltip)) return w->state();
  return std::nullopt;
}

bool grabTip(Hwnd tooltip, const std::string& pngPath) {
  TipWindow* w = find(tooltip);
  if (!w || !w->isVisible()) return false;
  return w->grab().save(QString::fromStdString(pngPath), "PNG");
}

}  // namespace veltrano::tooltip
