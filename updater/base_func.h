#pragma once
// BASE_FUNC: office helpers shared with the product programs' code: fixed-width text layout for
// character printers, byte-wise (CP949) length and substring, an amount in Korean words, open
// and save file prompts; the spreadsheet writer of Lumagrid's cls_Excel and the number checks of
// its VBF, with the same behaviour (one implementation in common/). The one difference: Seoul
// numbers are written "02-", without the blank the library puts before the dash.
// The updater itself does not call this class.
//
// Byte counts are in CP949: a Hangul syllable counts two bytes, a Latin letter or digit one.
// LenByte, StringConv, PRINT_TXT and SetHangle raise veltrano::RuntimeError to the caller.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/xls_writer.h"
#include "platform/runtime/variant.h"
#include "updater/common_dialog.h"

namespace meridox {

// Values of the writer's enumerations (xls::xlsInteger, xls::xlsBold, ...).
namespace xls = veltrano::common::xls;

class BASE_FUNC {
 public:
  // Bytes of `Text` in CP949.
  std::int32_t LenByte(std::string_view Text);
  // `lenth` bytes of the CP949 form of `Text` from byte `startlen` (from 1), read back as text.
  // A cut through a two-byte character leaves U+FFFD for the half. Raises 5 for a start below 1
  // or a negative length.
  std::string StringConv(std::string_view Text, double startlen, double lenth);
  // `PrintString` laid out in a field of `SelLength` bytes: Align "left" (padded or cut), "mid"
  // (centred; raises 5 when the text is wider than the field), "right" (padded on the left,
  // never cut), any other Align gives "". Big_Flag marks double-width printing (two columns
  // per byte).
  std::string PRINT_TXT(double SelLength, std::string_view PrintString, std::string_view Align, bool Big_Flag);
  // The amount in Korean words followed by "원" (12345 gives 일만이천삼백사십오원, -500 gives
  // "- 오백원"). Raises 13 for a character other than a digit after the optional sign and 9 for
  // more than 12 digits.
  std::string SetHangle(std::string_view strNumber);

  // Open prompt for any file: true with the chosen path in gsOpenFileName; false when cancelled
  // or failed, gsOpenFileName and the dialog's Filename then emptied. gsFileName is not used.
  bool GetFilePathName_OPEN(CommonDialog& dlgcommon, std::string& gsOpenFileName, std::string& gsFileName);
  // Save prompt for an .rtf file: true with the chosen path in gsSaveFileName; false when
  // cancelled or failed, the dialog's Filename emptied and gsSaveFileName left as it was.
  bool GetFilePathName_SAVE(CommonDialog& dlgcommon, std::string& gsSaveFileName);

  // The spreadsheet writer (see common/xls_writer.h).
  std::int16_t CreateFile(std::string_view FileName) { return excel_.CreateFile(FileName); }
  std::int16_t CloseFile() { return excel_.CloseFile(); }
  std::int16_t WriteValue(std::int32_t ValueType, std::int32_t CellFontUsed, std::int32_t Alignment,
                          std::int32_t HiddenLocked, std::int32_t lrow, std::int32_t lcol, const veltrano::Variant& Value) {
    return excel_.WriteValue(ValueType, CellFontUsed, Alignment, HiddenLocked, lrow, lcol, Value);
  }
  std::int16_t SetMargin(std::int32_t Margin, double MarginValue) { return excel_.SetMargin(Margin, MarginValue); }
  veltrano::Variant SetColumnWidth(std::uint8_t FirstColumn, std::uint8_t LastColumn, std::int16_t WidthValue) {
    return excel_.SetColumnWidth(FirstColumn, LastColumn, WidthValue);
  }
  std::int16_t SetFont(std::string_view FontName, std::int16_t FontHeight, std::int32_t FontFormat) {
    return excel_.SetFont(FontName, FontHeight, FontFormat);
  }
  std::int16_t SetHeader(std::string_view HeaderText) { return excel_.SetHeader(HeaderText); }
  std::int16_t SetFooter(std::string_view FooterText) { return excel_.SetFooter(FooterText); }
  std::int16_t SetFilePassword(std::string_view PasswordText) { return excel_.SetFilePassword(PasswordText); }
  void PrintGridLines(bool value) { excel_.PrintGridLines(value); }
  void ProtectSpreadsheet(bool value) { excel_.ProtectSpreadsheet(value); }

  // The number checks (see common/number_checks.h); by-reference side effects as in VBF.
  std::string DF_FormatPhoneDetails(std::string& txt);
  bool ComNo_Check(std::string& IDno);
  bool IDNo_Check(std::string& IDno);
  // The formatting core: the formatted number or the literal "FALSE"; Seoul as "02-".
  std::string g_fn_FormatPhoneDetails(const std::string& number);

 private:
  veltrano::common::XlsWriter excel_;
};

}  // namespace meridox
