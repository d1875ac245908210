#pragma once
// TOOLTIP: a standard or balloon tooltip on one window of a product program. Set text, title,
// icon, colours and times, then Create(handle of the window). After Create the colours, the
// tip text and (with a title and an icon) the title change the live tip; Style, Centered,
// VisibleTime and DelayTime take effect at the next Create. Create may be called again; the old
// tooltip window is destroyed first. Text goes to the platform as CP949.
//
// Create returns false (VARIANT_FALSE) also when the window was made: the product programs
// were written against that. Destroy keeps the handle, so later property changes address the
// destroyed window and go nowhere; releasing the object destroys it again without harm.

#include <cstdint>
#include <string>

#include "lumagrid/export.h"

#ifndef LUMAGRID_VARIANT_BOOL_DEFINED
#define LUMAGRID_VARIANT_BOOL_DEFINED
namespace lumagrid {
// The COM boolean: true is -1.
using VARIANT_BOOL = std::int16_t;
// windows.h makes VARIANT_TRUE and VARIANT_FALSE macros (of the same values): the constants
// are defined with those set aside.
#pragma push_macro("VARIANT_TRUE")
#pragma push_macro("VARIANT_FALSE")
#undef VARIANT_TRUE
#undef VARIANT_FALSE
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
#pragma pop_macro("VARIANT_TRUE")
#pragma pop_macro("VARIANT_FALSE")
}  // namespace lumagrid
#endif

namespace lumagrid {

enum ttStyleEnum : std::int32_t { TTStandard = 0, TTBalloon = 1 };
enum ttIconType : std::int32_t { TTNoIcon = 0, TTIconInfo = 1, TTIconWarning = 2, TTIconError = 3 };

class LUMAGRID_API TOOLTIP {
 public:
  TOOLTIP();
  ~TOOLTIP();
  TOOLTIP(const TOOLTIP&) = delete;
  TOOLTIP& operator=(const TOOLTIP&) = delete;

  ttStyleEnum Style() const { return style_; }
  void Style(ttStyleEnum value) { style_ = value; }
  VARIANT_BOOL Centered() const { return centered_ ? VARIANT_TRUE : VARIANT_FALSE; }
  void Centered(bool value) { centered_ = value; }
  ttIconType Icon() const { return icon_; }
  void Icon(ttIconType value);
  const std::string& Title() const { return title_; }
  void Title(const std::string& value);
  // Windows colours (red + 256 x green + 65536 x blue).
  std::int32_t ForeColor() const { return foreColor_; }
  void ForeColor(std::int32_t value);
  std::int32_t BackColor() const { return backColor_; }
  void BackColor(std::int32_t value);
  const std::string& TipText() const { return tipText_; }
  void TipText(const std::string& value);
  // Milliseconds the tip stays up, and before it shows.
  std::int32_t VisibleTime() const { return visibleTime_; }
  void VisibleTime(std::int32_t value) { visibleTime_ = value; }
  std::int32_t DelayTime() const { return delayTime_; }
  void DelayTime(std::int32_t value) { delayTime_ = value; }

  VARIANT_BOOL Create(std::int32_t ParentHwnd);
  void Destroy();

 private:
  // The platform's tool-information record in its 32-bit layout (44 bytes).
  struct ToolRecord {
    std::uint32_t cbSize = 0, uFlags = 0, hwnd = 0, uId = 0;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint32_t hinst = 0;
    const char* lpszText = nullptr;
    std::int32_t lParam = 0;
  };
  void sendTitle();

  std::int32_t backColor_ = 0;
  std::string title_;
  std::int32_t foreColor_ = 0;
  ttIconType icon_ = TTNoIcon;
  bool centered_ = false;
  ttStyleEnum style_ = TTStandard;
  std::string tipText_;
  std::int32_t visibleTime_ = 5000;
  std::int32_t delayTime_ = 200;
  std::uint32_t tooltipWindow_ = 0;
  std::uint32_t parentWindow_ = 0;
  ToolRecord tool_;
  std::string tipTextAnsi_;  // the tool record's text points here
  std::string titleAnsi_;
};

}  // namespace lumagrid
