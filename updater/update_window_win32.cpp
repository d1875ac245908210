#include <windows.h>

#include "updater/update_window_win32.h"

#include <cmath>
#include <map>
#include <vector>

#include "platform/gdi/win32_bridge.h"
#include "platform/runtime/error.h"
#include "platform/text/wide.h"
#include "platform/ui/user_interface.h"

namespace meridox {

namespace {

namespace gdi = veltrano::gdi;
namespace ui = veltrano::ui;

constexpr COLORREF kNavy = RGB(22, 52, 96);
constexpr COLORREF kTeal = RGB(24, 120, 140);
constexpr COLORREF kWindowBack = RGB(244, 246, 249);
constexpr wchar_t kWindowClass[] = L"MeridoxUpdateWindow";
constexpr wchar_t kBarClass[] = L"MeridoxProgressBar";
constexpr int kFirstId = 100;

std::wstring wide(const std::string& s) { return veltrano::text::widen(s); }

// The edit box wants CR LF between lines; the form's texts may hold either.
std::wstring editText(const std::string& s) {
  std::wstring out;
  for (wchar_t c : wide(s)) {
    if (c == L'\r') continue;
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

std::wstring windowText(HWND h) {
  std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  s.resize(static_cast<std::size_t>(GetWindowTextW(h, s.data(), static_cast<int>(s.size()))));
  return s;
}

// A GDI object selected for one drawing, then put back and deleted.
struct Use {
  Use(HDC dc, HGDIOBJ object) : dc(dc), object(object), old(SelectObject(dc, object)) {}
  ~Use() {
    SelectObject(dc, old);
    DeleteObject(object);
  }
  HDC dc;
  HGDIOBJ object;
  HGDIOBJ old;
};

void gradient(HDC dc, int left, int top, int right, int bottom, COLORREF from, COLORREF to, ULONG mode) {
  TRIVERTEX v[2] = {{left, top, static_cast<COLOR16>(GetRValue(from) << 8), static_cast<COLOR16>(GetGValue(from) << 8),
                     static_cast<COLOR16>(GetBValue(from) << 8), 0},
                    {right, bottom, static_cast<COLOR16>(GetRValue(to) << 8), static_cast<COLOR16>(GetGValue(to) << 8),
                     static_cast<COLOR16>(GetBValue(to) << 8), 0}};
  GRADIENT_RECT r{0, 1};
  GradientFill(dc, v, 2, &r, 1, mode);
}

// The heading band behind a control placed at (left, top) of the form.
void band(HDC dc, int left, int top) {
  gradient(dc, -left, -top, UpdateForm::kWidth - left, 80 - top, kNavy, kTeal, GRADIENT_FILL_RECT_H);
}

void fill(HDC dc, const RECT& r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void polygon(HDC dc, const std::vector<POINT>& points, COLORREF c) {
  Use brush(dc, CreateSolidBrush(c));
  Use pen(dc, CreatePen(PS_SOLID, 1, c));
  Polygon(dc, points.data(), static_cast<int>(points.size()));
}

void arrowAndTray(HDC dc, const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top, cx = r.left + w / 2;
  polygon(dc,
          {{cx - w * 12 / 100, r.top + h * 12 / 100}, {cx + w * 12 / 100, r.top + h * 12 / 100},
           {cx + w * 12 / 100, r.top + h * 45 / 100}, {cx + w * 28 / 100, r.top + h * 45 / 100},
           {cx, r.top + h * 72 / 100}, {cx - w * 28 / 100, r.top + h * 45 / 100}, {cx - w * 12 / 100, r.top + h * 45 / 100}},
          kTeal);
  Use pen(dc, CreatePen(PS_SOLID, std::max(2, w / 12), kNavy));
  const POINT tray[] = {{r.left + w * 16 / 100, r.top + h * 66 / 100},
                        {r.left + w * 16 / 100, r.top + h * 86 / 100},
                        {r.right - w * 16 / 100, r.top + h * 86 / 100},
                        {r.right - w * 16 / 100, r.top + h * 66 / 100}};
  Polyline(dc, tray, 4);
}

void lamp(HDC dc, const RECT& r, COLORREF c) {
  const COLORREF dark = RGB(GetRValue(c) * 2 / 3, GetGValue(c) * 2 / 3, GetBValue(c) * 2 / 3);
  {
    Use brush(dc, CreateSolidBrush(c));
    Use pen(dc, CreatePen(PS_SOLID, 1, dark));
    Ellipse(dc, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  Use brush(dc, CreateSolidBrush(RGB(255, 255, 255)));
  Use pen(dc, CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
  Ellipse(dc, r.left + w * 30 / 100, r.top + h * 18 / 100, r.left + w * 55 / 100, r.top + h * 34 / 100);
}

}  // namespace

struct UpdateWindowWin32::Impl {
  Impl(UpdateForm& f, ProgressBar& b, UpdateWindowHandlers h) : form(f), bar(b), handlers(std::move(h)) {}

  UpdateForm& form;
  ProgressBar& bar;
  UpdateWindowHandlers handlers;
  HWND window = nullptr;
  HWND barWindow = nullptr;
  std::map<const FormControl*, HWND> children;
  std::vector<const FormControl*> byId;  // control id - kFirstId
  std::map<std::string, HFONT> fonts;    // by the font's text form
  HBRUSH backBrush = CreateSolidBrush(kWindowBack);
  std::optional<int> pendingEnd;

  bool onBand(const FormControl& c) const { return c.container() == nullptr && c.Top() < form.SSPanel1.Height(); }

  HFONT font(const veltrano::Font& f) {
    HFONT& h = fonts[veltrano::fontToText(f)];
    if (h == nullptr)
      h = CreateFontW(-gdi::fontPixelSize(f), 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, f.italic, f.underline,
                      f.strikethrough, static_cast<DWORD>(f.charset & 0xFF), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, wide(f.name).c_str());
    return h;
  }

  // How far what lies below the option frame moves up while the frame is hidden.
  int collapsed() const { return form.FRM_FLAME.Visible() ? 0 : form.Frame2.Top() - form.FRM_FLAME.Top(); }

  void create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    static const bool registered = [instance] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = &Impl::windowProc;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.lpszClassName = kWindowClass;
      RegisterClassExW(&wc);
      wc.lpfnWndProc = &Impl::barProc;
      wc.lpszClassName = kBarClass;
      RegisterClassExW(&wc);
      return true;
    }();
    (void)registered;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r{0, 0, UpdateForm::kWidth, UpdateForm::kHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    window = CreateWindowExW(0, kWindowClass, wide(form.Caption()).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
    if (window == nullptr) throw veltrano::RuntimeError(veltrano::err::kOutOfMemory, "Meridox", "CreateWindowExW failed");

    for (const FormControl* c : form.controls()) {
      const int id = kFirstId + static_cast<int>(byId.size());
      byId.push_back(c);
      const wchar_t* cls = L"STATIC";
      DWORD kind = SS_OWNERDRAW, ex = 0;
      switch (c->kind()) {
        case ControlKind::Label:
          if (!onBand(*c)) kind = SS_LEFT | SS_NOPREFIX;
          break;
        case ControlKind::TextBox:
          cls = L"EDIT";
          kind = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
          ex = WS_EX_CLIENTEDGE;
          break;
        case ControlKind::Frame: cls = L"BUTTON"; kind = BS_GROUPBOX; break;
        case ControlKind::CheckBox: cls = L"BUTTON"; kind = BS_AUTOCHECKBOX | WS_TABSTOP; break;
        case ControlKind::Button:
          cls = L"BUTTON";
          kind = (c == &form.Com_Yes ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
          break;
        default: break;  // the panel and the pictures are drawn by the window
      }
      HWND h = CreateWindowExW(ex, cls, L"", WS_CHILD | kind, 0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
      SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font(c->font())), FALSE);
      children[c] = h;
      if (c == &form.LB_INFO) {
        barWindow = CreateWindowExW(0, kBarClass, L"SP_PB", WS_CHILD, 0, 0, 0, 0, window, nullptr, instance, this);
      }
    }
    bar.setOnRedrawn([this] { barRedrawn(); });
    form.setOnChanged([this](const FormControl* changed) { sync(changed); });
    sync(nullptr);
  }

  void barRedrawn() {
    if (barWindow == nullptr) return;
    SetWindowRgn(barWindow, gdi::nativeRegion(bar.windowRegion()), TRUE);  // the window takes the region over
    InvalidateRect(barWindow, nullptr, FALSE);
  }

  void syncControl(const FormControl& c) {
    HWND h = children[&c];
    const Rect& r = c.rect();
    const FormControl& options = form.FRM_FLAME;
    const int up = r.top >= options.Top() + options.Height() ? collapsed() : 0;
    MoveWindow(h, r.left, r.top - up, r.width, r.height, TRUE);
    const std::wstring caption = c.kind() == ControlKind::TextBox ? editText(c.Caption()) : wide(c.Caption());
    if (windowText(h) != caption) SetWindowTextW(h, caption.c_str());
    if (c.kind() == ControlKind::CheckBox)
      SendMessageW(h, BM_SETCHECK, c.Value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    InvalidateRect(h, nullptr, TRUE);
    ShowWindow(h, c.shown() ? SW_SHOWNA : SW_HIDE);
  }

  void sync(const FormControl* changed) {
    // A frame's visibility decides its contents', and the form's its own; anything else
    // touches one control.
    if (changed && changed->kind() != ControlKind::Frame) {
      syncControl(*changed);
      return;
    }
    for (const FormControl* c : form.controls()) syncControl(*c);
    RECT client{0, 0, UpdateForm::kWidth, UpdateForm::kHeight - collapsed()};
    AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const Rect& r = UpdateForm::kProgressBarRect;
    MoveWindow(barWindow, r.left, r.top - collapsed(), r.width, r.height, TRUE);
    ShowWindow(barWindow, form.Frame2.shown() ? SW_SHOWNA : SW_HIDE);
    if (!changed) ShowWindow(window, form.Visible() ? SW_SHOW : SW_HIDE);
  }

  template <class Handler>
  void runHandler(const Handler& handler) {
    if (!handler) return;
    try {
      handler();
    } catch (const veltrano::ProgramEnd& end) {
      pendingEnd = end.exitCode();
      PostQuitMessage(end.exitCode());
    } catch (const veltrano::RuntimeError& e) {
      // An error no handler of the form catches ends the program, as the run-time does.
      ui::MsgBox("런타임 오류 '" + std::to_string(e.number()) + "':\r\n\r\n" + e.description(), ui::vbCritical,
                 "Meridox");
      pendingEnd = 1;
      PostQuitMessage(1);
    }
  }

  void drawItem(const DRAWITEMSTRUCT& d) {
    const std::size_t index = static_cast<std::size_t>(d.CtlID) - kFirstId;
    if (index >= byId.size()) return;
    const FormControl& c = *byId[index];
    HDC dc = d.hDC;
    const RECT& r = d.rcItem;
    if (onBand(c)) band(dc, c.Left(), c.Top());
    else fill(dc, r, kWindowBack);
    const std::string& name = c.Name();
    if (c.kind() == ControlKind::Label) {
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      HGDIOBJ old = SelectObject(dc, font(c.font()));
      RECT text = r;
      const std::wstring caption = wide(c.Caption());
      DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, old);
    } else if (name == "Image1") {
      {
        Use brush(dc, CreateSolidBrush(RGB(255, 255, 255)));
        Use pen(dc, CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
        RoundRect(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, 20, 20);
      }
      arrowAndTray(dc, r);
    } else if (name == "Image2") {
      {
        Use pen(dc, CreatePen(PS_SOLID, 1, RGB(200, 215, 225)));
        HGDIOBJ hollow = SelectObject(dc, GetStockObject(NULL_BRUSH));
        RoundRect(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, 16, 16);
        SelectObject(dc, hollow);
      }
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      veltrano::Font mark{"Verdana", 10.0, true, true};
      HGDIOBJ old = SelectObject(dc, font(mark));
      RECT text = r;
      DrawTextW(dc, L"Tarvic", 6, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old);
    } else if (name == "ICO(0)") {  // looking up what is installed
      Use brush(dc, CreateSolidBrush(RGB(210, 232, 250)));
      Use pen(dc, CreatePen(PS_SOLID, 3, kNavy));
      const int w = r.right - r.left;
      Ellipse(dc, r.left + w * 14 / 100, r.top + w * 12 / 100, r.left + w * 64 / 100, r.top + w * 62 / 100);
      MoveToEx(dc, r.left + w * 58 / 100, r.top + w * 56 / 100, nullptr);
      LineTo(dc, r.right - w * 12 / 100, r.bottom - w * 12 / 100);
    } else if (name == "ICO(1)") {  // downloading
      arrowAndTray(dc, r);
    } else if (name == "ICO(2)") {  // changing the system
      const int w = r.right - r.left, cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
      std::vector<POINT> gear;
      for (int i = 0; i < 16; ++i) {
        const double a0 = i * 3.14159265358979 / 8, a1 = (i + 1) * 3.14159265358979 / 8;
        const double rad = (i % 2 == 0 ? 0.44 : 0.32) * w;
        gear.push_back({cx + static_cast<LONG>(rad * std::cos(a0)), cy + static_cast<LONG>(rad * std::sin(a0))});
        gear.push_back({cx + static_cast<LONG>(rad * std::cos(a1)), cy + static_cast<LONG>(rad * std::sin(a1))});
      }
      polygon(dc, gear, RGB(90, 100, 115));
      Use brush(dc, CreateSolidBrush(kWindowBack));
      Use pen(dc, CreatePen(PS_SOLID, 1, kWindowBack));
      Ellipse(dc, cx - w * 13 / 100, cy - w * 13 / 100, cx + w * 13 / 100, cy + w * 13 / 100);
    } else if (name.rfind("STAT(", 0) == 0) {
      static const COLORREF lamps[] = {RGB(160, 166, 174), RGB(240, 160, 30), RGB(46, 170, 80), RGB(40, 120, 220),
                                       RGB(210, 50, 50)};
      const int i = name[5] - '0';
      lamp(dc, r, lamps[i >= 0 && i < 5 ? i : 0]);
    }
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_COMMAND: {
        const std::size_t index = static_cast<std::size_t>(LOWORD(wParam)) - kFirstId;
        if (HIWORD(wParam) != BN_CLICKED || index >= byId.size()) break;
        const FormControl* c = byId[index];
        if (c == &form.Com_Yes) runHandler(handlers.yesClicked);
        else if (c == &form.Com_Cancel) runHandler(handlers.cancelClicked);
        else if (c == &form.CHK_DNALL)
          form.CHK_DNALL.Value(SendMessageW(children[c], BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
      }
      case WM_DRAWITEM: drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        if (control == children[&form.LB_SETUPLIST]) break;  // the read-only list keeps its own look
        SetBkColor(dc, kWindowBack);
        if (control == children[&form.LB_SETUP_VER]) SetTextColor(dc, kTeal);
        return reinterpret_cast<LRESULT>(backBrush);
      }
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, backBrush);
        return TRUE;
      }
      case WM_CLOSE:
        // The close box and the system menu are refused; an end of the program closes the
        // window without asking.
        if (!pendingEnd && handlers.queryUnload && handlers.queryUnload(0)) return 0;
        DestroyWindow(window);
        return 0;
      default: break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
  }

  static Impl* from(HWND h, UINT msg, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
      auto* self = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      return self;
    }
    return reinterpret_cast<Impl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  }

  static LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Impl* self = from(h, msg, lParam);
    if (self == nullptr || self->window != h) return DefWindowProcW(h, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) self->window = nullptr;
    return self->handle(msg, wParam, lParam);
  }

  static LRESULT CALLBACK barProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Impl* self = from(h, msg, lParam);
    if (self != nullptr) {
      if (msg == WM_SIZE) {
        self->bar.Resize(LOWORD(lParam), HIWORD(lParam));
        return 0;
      }
      if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        const gdi::Surface& s = self->bar.surface();
        BitBlt(dc, 0, 0, s.width(), s.height(), gdi::nativeDc(s), 0, 0, SRCCOPY);
        EndPaint(h, &ps);
        return 0;
      }
      if (msg == WM_ERASEBKGND) return TRUE;  // the surface covers the whole window
    }
    return DefWindowProcW(h, msg, wParam, lParam);
  }
};

UpdateWindowWin32::UpdateWindowWin32(UpdateForm& form, ProgressBar& bar, UpdateWindowHandlers handlers)
    : impl_(std::make_unique<Impl>(form, bar, std::move(handlers))) {
  impl_->create();
}

UpdateWindowWin32::~UpdateWindowWin32() {
  impl_->form.setOnChanged({});
  impl_->bar.setOnRedrawn({});
  if (impl_->window != nullptr) DestroyWindow(impl_->window);
  for (auto& [key, font] : impl_->fonts) DeleteObject(font);
  DeleteObject(impl_->backBrush);
}

std::uintptr_t UpdateWindowWin32::handle() const { return reinterpret_cast<std::uintptr_t>(impl_->window); }

std::uintptr_t UpdateWindowWin32::controlHandle(const std::string& name) const {
  if (name == "SP_PB") return reinterpret_cast<std::uintptr_t>(impl_->barWindow);
  for (const auto& [control, h] : impl_->children)
    if (control->Name() == name) return reinterpret_cast<std::uintptr_t>(h);
  return 0;
}

std::optional<int> UpdateWindowWin32::pendingEnd() const { return impl_->pendingEnd; }

void UpdateWindowWin32::throwPendingEnd() const {
  if (impl_->pendingEnd) throw veltrano::ProgramEnd(*impl_->pendingEnd);
}

bool UpdateWindowWin32::saveScreenshot(const std::string& pngPath) const {
  HWND w = impl_->window;
  RECT r;
  if (w == nullptr || !IsWindowVisible(w) || !GetClientRect(w, &r)) return false;
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  // Read through the window's own device context: its children draw on the same surface, and
  // it holds what was just painted even before the display has it.
  gdi::Surface picture(r.right, r.bottom);
  HDC client = GetDC(w);
  const bool copied = BitBlt(gdi::nativeDc(picture), 0, 0, r.right, r.bottom, client, 0, 0, SRCCOPY) != FALSE;
  ReleaseDC(w, client);
  return copied && picture.savePng(pngPath);
}

}  // namespace meridox
