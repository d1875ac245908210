#pragma once
// The spreadsheet file writer shared by Lumagrid's cls_Excel and the updater's BASE_FUNC: a
// one-sheet BIFF2 worksheet (.xls) written record by record, in the order the methods are
// called, without any spreadsheet application. Every record is handed to a buffered file the
// moment its method runs; the writer keeps no cell table and reorders nothing. Numbers in the
// file are little-endian.
//
// Status: every method but SetColumnWidth and the two boolean records returns 0 or the number of
// the run-time error that stopped it (6 overflow, 13 type mismatch, 52 bad file number when no
// file is open, 5 invalid procedure call, the file errors of platform/fs for paths and access).
// Nothing is raised to the caller and nothing is shown. A call that fails a check writes
// nothing: every record is assembled whole before it goes out.
//
// Lifecycle: created -> CreateFile -> open -> CloseFile -> closed. Destroying the writer while
// its file is open closes it as CloseFile does (the end-of-file record first). CreateFile while
// a file is open finishes that file the same way before it starts the new one.
//
// Where the files differ from the plain record list, for the sake of real spreadsheet readers:
//  - the code-page record (949) follows the beginning-of-file record, so readers decode the
//    CP949 text; the empty file is therefore 18 bytes;
//  - readers take the integer cell as unsigned, so a negative integer goes out as a number cell
//    with the same row, column and attributes;
//  - the password becomes the sheet-password record (0x0013) with the 16-bit password hash of
//    sheet protection, not the "file is encrypted" record that readers refuse;
//  - font names, header, footer and password go out as their CP949 bytes, so Korean text there
//    is written whole instead of failing half-way through a record (n counts bytes, at most 255).

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "common/byte_sink.h"
#include "platform/runtime/variant.h"

namespace veltrano::common {

// The values of the writer's enumerations, as the file receives them.
namespace xls {
// ValueTypes
inline constexpr std::int32_t xlsInteger = 0, xlsNumber = 1, xlsText = 2;
// CellAlignment (members may be added together)
inline constexpr std::int32_t xlsGeneralAlign = 0, xlsLeftAlign = 1, xlsCentreAlign = 2, xlsRightAlign = 3,
                              xlsFillCell = 4, xlsLeftBorder = 8, xlsRightBorder = 16, xlsTopBorder = 32,
                              xlsBottomBorder = 64, xlsShaded = 128;
// CellFont
inline constexpr std::int32_t xlsFont0 = 0, xlsFont1 = 64, xlsFont2 = 128, xlsFont3 = 192;
// CellHiddenLocked
inline constexpr std::int32_t xlsNormal = 0, xlsLocked = 64, xlsHidden = 128;
// MarginTypes (the record id of each margin)
inline constexpr std::int32_t xlsLeftMargin = 38, xlsRightMargin = 39, xlsTopMargin = 40, xlsBottomMargin = 41;
// FontFormatting (members may be added together)
inline constexpr std::int32_t xlsNoFormat = 0, xlsBold = 1, xlsItalic = 2, xlsUnderline = 4, xlsStrikeout = 8;

// Record ids.
inline constexpr std::uint16_t kBof = 0x0009, kEof = 0x000A, kInteger = 0x0002, kNumber = 0x0003,
                               kText = 0x0004, kColumnWidth = 0x0024, kFont = 0x0031, kHeader = 0x0014,
                               kFooter = 0x0015, kPassword = 0x0013, kPrintGridLines = 0x002B,
                               kProtect = 0x0012, kCodePage = 0x0042;
inline constexpr std::uint16_t kCodePage949 = 949;
}  // namespace xls

// The 16-bit hash that spreadsheet programs keep for a sheet-protection password (of its
// bytes in the ANSI code page). The empty password hashes to 0, "no password".
std::uint16_t sheetPasswordHash(std::span<const std::uint8_t> password);

class XlsWriter {
 public:
  XlsWriter() = default;
  ~XlsWriter();
  XlsWriter(const XlsWriter&) = delete;
  XlsWriter& operator=(const XlsWriter&) = delete;

  // Deletes an existing file of that name, opens a new one for binary writing and writes the
  // beginning-of-file and code-page records.
  std::int16_t CreateFile(std::string_view fileName);
  // The same on a sink of the caller's (tests, benchmarks); the writer owns it from then on.
  std::int16_t CreateOn(std::unique_ptr<ByteSink> sink);
  // Writes the end-of-file record and closes the file.
  std::int16_t CloseFile();

  // One cell. Row and column count from 1 and must lie in 1..32,767. xlsInteger rounds the
  // value half to even into -32,768..32,767 (else 6); 0..32,767 go out as an integer cell,
  // negative values as a number cell. xlsNumber takes the value as a double, xlsText as text
  // (CP949, at most 255 bytes, else 6). Another value type writes nothing and returns 0.
  // Attributes must lie in 0..255.
  std::int16_t WriteValue(std::int32_t valueType, std::int32_t cellFont, std::int32_t alignment,
                          std::int32_t hiddenLocked, std::int32_t lrow, std::int32_t lcol, const Variant& value);
  // A margin in inches; `margin` is one of the MarginTypes (else 5).
  std::int16_t SetMargin(std::int32_t margin, double marginValue);
  // Columns first..last (from 1) get the width in characters (-128..127). Returns the Integer 0,
  // or the error number as a Long.
  Variant SetColumnWidth(std::uint8_t firstColumn, std::uint8_t lastColumn, std::int16_t widthValue);
  // A font record; height in points (x 20 must fit 16 bits), format 0..255.
  std::int16_t SetFont(std::string_view fontName, std::int16_t fontHeight, std::int32_t fontFormat);
  std::int16_t SetHeader(std::string_view headerText);
  std::int16_t SetFooter(std::string_view footerText);
  // The sheet-password record with the hash of the password.
  std::int16_t SetFilePassword(std::string_view passwordText);
  // Write-only properties: each writes its record at once (1 for true, 0 for false); errors are
  // swallowed.
  void PrintGridLines(bool on);
  void ProtectSpreadsheet(bool on);

  bool isOpen() const { return sink_ != nullptr; }

 private:
  void put(std::span<const std::uint8_t> record);
  void start();
  void finish();
  std::int16_t writeCounted(std::uint16_t id, std::string_view text);
  void writeFlag(std::uint16_t id, bool on);

  std::unique_ptr<ByteSink> sink_;
  BufferedFileSink* file_ = nullptr;  // sink_ when it is a file (closed explicitly)
};

}  // namespace veltrano::common
