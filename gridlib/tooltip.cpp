#include "lumagrid/tooltip.h"

#include "platform/text/ansi.h"
#include "platform/tooltip/tooltip.h"

namespace lumagrid {
namespace tt = veltrano::tooltip;

namespace {
// The library's module instance as the platform sees it (the load address of a library of
// this kind); the tooltip control only keeps it.
constexpr std::uint32_t kModuleInstance = 0x10000000u;

tt::TOOLINFOA toPlatform(const auto& r) {
  tt::TOOLINFOA ti;
  ti.cbSize = r.cbSize;
  ti.uFlags = r.uFlags;
  ti.hwnd = r.hwnd;
  ti.uId = r.uId;
  ti.rect = {r.left, r.top, r.right, r.bottom};
  ti.hinst = r.hinst;
  ti.lpszText = r.lpszText;
  ti.lParam = r.lParam;
  return ti;
}

std::intptr_t pointerArg(const void* p) { return reinterpret_cast<std::intptr_t>(p); }
}  // namespace

TOOLTIP::TOOLTIP() {
  tt::InitCommonControls();
  delayTime_ = 200;
  visibleTime_ = 5000;
}

TOOLTIP::~TOOLTIP() { Destroy(); }

void TOOLTIP::sendTitle() {
  titleAnsi_ = veltrano::text::toAnsiString(title_);
  tt::SendMessageA(tooltipWindow_, tt::TTM_SETTITLEA, static_cast<std::uintptr_t>(icon_), pointerArg(titleAnsi_.c_str()));
}

void TOOLTIP::Icon(ttIconType value) {
  icon_ = value;
  if (tooltipWindow_ != 0 && !title_.empty() && icon_ != TTNoIcon) sendTitle();
}

void TOOLTIP::Title(const std::string& value) {
  title_ = value;
  if (tooltipWindow_ != 0 && !title_.empty() && icon_ != TTNoIcon) sendTitle();
}

void TOOLTIP::ForeColor(std::int32_t value) {
  foreColor_ = value;
  if (tooltipWindow_ != 0) {
    const std::int32_t zero = 0;
    tt::SendMessageA(tooltipWindow_, tt::TTM_SETTIPTEXTCOLOR, static_cast<std::uint32_t>(foreColor_), pointerArg(&zero));
  }
}

void TOOLTIP::BackColor(std::int32_t value) {
  backColor_ = value;
  if (tooltipWindow_ != 0) {
    const std::int32_t zero = 0;
    tt::SendMessageA(tooltipWindow_, tt::TTM_SETTIPBKCOLOR, static_cast<std::uint32_t>(backColor_), pointerArg(&zero));
  }
}

void TOOLTIP::TipText(const std::string& value) {
  tipText_ = value;
  tipTextAnsi_ = veltrano::text::toAnsiString(tipText_);
  tool_.lpszText = tipTextAnsi_.c_str();
  if (tooltipWindow_ != 0) {
    const tt::TOOLINFOA ti = toPlatform(tool_);
    tt::SendMessageA(tooltipWindow_, tt::TTM_UPDATETIPTEXTA, 0, pointerArg(&ti));
  }
}

VARIANT_BOOL TOOLTIP::Create(std::int32_t ParentHwnd) {
  if (tooltipWindow_ != 0) tt::DestroyWindow(tooltipWindow_);
  std::uint32_t style = tt::TTS_ALWAYSTIP | tt::TTS_NOPREFIX;
  if (style_ == TTBalloon) style |= tt::TTS_BALLOON;
  parentWindow_ = static_cast<std::uint32_t>(ParentHwnd);
  const std::int32_t creationData = 0;
  tooltipWindow_ = tt::CreateWindowExA(0, tt::TOOLTIPS_CLASSA, nullptr, style, tt::CW_USEDEFAULT, tt::CW_USEDEFAULT,
                                       tt::CW_USEDEFAULT, tt::CW_USEDEFAULT, 0, 0, kModuleInstance, &creationData);

  tool_.uFlags = tt::TTF_IDISHWND | tt::TTF_SUBCLASS;
  if (centered_) tool_.uFlags |= tt::TTF_CENTERTIP;
  tool_.hwnd = parentWindow_;
  tool_.uId = parentWindow_;
  tool_.hinst = kModuleInstance;
  tool_.cbSize = tt::TTTOOLINFOA_V1_SIZE;
  tipTextAnsi_ = veltrano::text::toAnsiString(tipText_);
  tool_.lpszText = tipTextAnsi_.c_str();
  const tt::TOOLINFOA ti = toPlatform(tool_);
  tt::SendMessageA(tooltipWindow_, tt::TTM_ADDTOOLA, 0, pointerArg(&ti));

  if (!title_.empty() || icon_ != TTNoIcon) sendTitle();
  const std::int32_t zero = 0;
  if (foreColor_ != 0)
    tt::SendMessageA(tooltipWindow_, tt::TTM_SETTIPTEXTCOLOR, static_cast<std::uint32_t>(foreColor_), pointerArg(&zero));
  if (backColor_ != 0)
    tt::SendMessageA(tooltipWindow_, tt::TTM_SETTIPBKCOLOR, static_cast<std::uint32_t>(backColor_), pointerArg(&zero));
  tt::SendMessageA(tooltipWindow_, tt::TTM_SETDELAYTIME, tt::TTDT_AUTOPOP, visibleTime_);
  tt::SendMessageA(tooltipWindow_, tt::TTM_SETDELAYTIME, tt::TTDT_INITIAL, delayTime_);
  return VARIANT_FALSE;
}

void TOOLTIP::Destroy() {
  if (tooltipWindow_ != 0) tt::DestroyWindow(tooltipWindow_);
}

}  // namespace lumagrid
