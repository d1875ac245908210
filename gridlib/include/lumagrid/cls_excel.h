#pragma once
// cls_Excel: writes a one-sheet .xls file (BIFF2) record by record. CreateFile first, then any
// mix of page settings, fonts and cells in the order wanted, CloseFile last. Each record goes
// to the (buffered) file when its method is called, in call order.
//
// Every method returns 0 or the number of the run-time error that stopped it (6 overflow,
// 13 type mismatch, 52 bad file number, 5 invalid procedure call, the file errors for paths
// and access); none raises and none shows a message. A call that fails a check writes nothing.
// Releasing the object while its file is open writes the end-of-file record and closes it.
//
// What readers need beyond the bare records: the code-page record (949) after the
// beginning-of-file record; negative integers written as number cells (readers take the
// integer cell as unsigned); the password as the sheet-password hash record, which readers
// honour, instead of the "encrypted file" record, which they refuse. Font names, header, footer
// and password are written as their CP949 bytes (at most 255), so Korean text there works.
//
// Text goes into the file in CP949, the code page of the files' readers. A character that
// CP949 lacks (most Hanja beyond KS X 1001, emoji, many symbols) is written as "?" and the
// method still returns 0. Where such characters matter, check the text beforehand: it survives
// when veltrano::text::fromAnsi(veltrano::text::toAnsi(t)) == t (platform/text/ansi.h).

#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>

#include "lumagrid/export.h"
#include "platform/runtime/variant.h"

namespace veltrano::common {
class XlsWriter;
}

namespace lumagrid {

enum ValueTypes : std::int32_t { xlsInteger = 0, xlsNumber = 1, xlsText = 2 };
enum CellAlignment : std::int32_t {
  xlsGeneralAlign = 0,
  xlsLeftAlign = 1,
  xlsCentreAlign = 2,
  xlsRightAlign = 3,
  xlsFillCell = 4,
  xlsLeftBorder = 8,
  xlsRightBorder = 16,
  xlsTopBorder = 32,
  xlsBottomBorder = 64,
  xlsShaded = 128,
};
enum CellFont : std::int32_t { xlsFont0 = 0, xlsFont1 = 64, xlsFont2 = 128, xlsFont3 = 192 };
enum CellHiddenLocked : std::int32_t { xlsNormal = 0, xlsLocked = 64, xlsHidden = 128 };
enum MarginTypes : std::int32_t { xlsLeftMargin = 38, xlsRightMargin = 39, xlsTopMargin = 40, xlsBottomMargin = 41 };
enum FontFormatting : std::int32_t { xlsNoFormat = 0, xlsBold = 1, xlsItalic = 2, xlsUnderline = 4, xlsStrikeout = 8 };

// Members of one enumeration may be added together (alignment plus borders plus shading, font
// bits, locked plus hidden); the sum keeps the enumeration's type.
template <typename E>
concept XlsSummable = std::is_same_v<E, CellAlignment> || std::is_same_v<E, FontFormatting> ||
                      std::is_same_v<E, CellHiddenLocked>;
template <XlsSummable E>
constexpr E operator+(E a, E b) {
  return static_cast<E>(static_cast<std::int32_t>(a) + static_cast<std::int32_t>(b));
}
template <XlsSummable E>
constexpr E operator|(E a, E b) {
  return static_cast<E>(static_cast<std::int32_t>(a) | static_cast<std::int32_t>(b));
}

class LUMAGRID_API cls_Excel {
 public:
  cls_Excel();
  ~cls_Excel();
  cls_Excel(const cls_Excel&) = delete;
  cls_Excel& operator=(const cls_Excel&) = delete;

  // Replaces an existing file of that name; writes the beginning-of-file records.
#pragma push_macro("CreateFile")
#undef CreateFile
  std::int16_t CreateFile(std::string_view FileName);
#if defined(_WIN32)
  // windows.h makes CreateFile a macro naming CreateFileA or CreateFileW: a program that has
  // included it reaches CreateFile through these.
  std::int16_t CreateFileA(std::string_view FileName) { return CreateFile(FileName); }
  std::int16_t CreateFileW(std::string_view FileName) { return CreateFile(FileName); }
#endif
#pragma pop_macro("CreateFile")
  std::int16_t CloseFile();
  // Row and column count from 1 (1..32,767). xlsInteger rounds half to even (16-bit, else 6),
  // xlsNumber takes a double, xlsText text of at most 255 CP949 bytes (else 6). Another
  // ValueType writes nothing and returns 0.
  std::int16_t WriteValue(ValueTypes ValueType, CellFont CellFontUsed, CellAlignment Alignment,
                          CellHiddenLocked HiddenLocked, std::int32_t lrow, std::int32_t lcol,
                          const veltrano::Variant& Value);
  std::int16_t SetMargin(MarginTypes Margin, double MarginValue);
  // The Integer 0 on success, the error number as a Long on failure.
  veltrano::Variant SetColumnWidth(std::uint8_t FirstColumn, std::uint8_t LastColumn, std::int16_t WidthValue);
  // FontHeight in points; the first SetFont is xlsFont0, the next xlsFont1, ...
  std::int16_t SetFont(std::string_view FontName, std::int16_t FontHeight, FontFormatting FontFormat);
  std::int16_t SetHeader(std::string_view HeaderText);
  std::int16_t SetFooter(std::string_view FooterText);
  std::int16_t SetFilePassword(std::string_view PasswordText);
  // Write-only properties: setting one writes its record at once; errors are swallowed.
  void PrintGridLines(bool value);
  void ProtectSpreadsheet(bool value);

 private:
  std::unique_ptr<veltrano::common::XlsWriter> writer_;
};

}  // namespace lumagrid
