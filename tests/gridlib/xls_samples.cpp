#include "xls_samples.h"

#include <fstream>
#include <iterator>

#include "lumagrid/cls_excel.h"

namespace xls_samples {
namespace {
using namespace lumagrid;
}

std::string writeFull(const std::string& path) {
  std::string problems;
  auto check = [&](std::int16_t status, const char* what) {
    if (status != 0) problems += std::string(what) + " returned " + std::to_string(status) + "; ";
  };
  cls_Excel x;
  check(x.CreateFile(path), "CreateFile");
  check(x.SetFont("Arial", 10, xlsBold), "SetFont 0");
  check(x.SetFont("굴림", 12, xlsItalic), "SetFont 1");
  check(x.SetFont("Courier New", 9, xlsUnderline), "SetFont 2");
  check(x.SetFont("바탕", 11, xlsBold + xlsStrikeout), "SetFont 3");
  check(x.SetMargin(xlsLeftMargin, 0.5), "SetMargin");
  check(x.SetMargin(xlsTopMargin, 1.5), "SetMargin");
  if (x.SetColumnWidth(1, 1, 20) != veltrano::Variant(std::int16_t{0})) problems += "SetColumnWidth 1; ";
  if (x.SetColumnWidth(2, 3, 12) != veltrano::Variant(std::int16_t{0})) problems += "SetColumnWidth 2; ";
  check(x.SetHeader(kHeader), "SetHeader");
  check(x.SetFooter("Page &P"), "SetFooter");
  x.PrintGridLines(true);
  check(x.SetFilePassword(kPassword), "SetFilePassword");
  x.ProtectSpreadsheet(true);

  // Row 1: integers.
  check(x.WriteValue(xlsInteger, xlsFont0, xlsGeneralAlign, xlsNormal, 1, 1, 0), "A1");
  check(x.WriteValue(xlsInteger, xlsFont0, xlsGeneralAlign, xlsNormal, 1, 2, 5), "B1");
  check(x.WriteValue(xlsInteger, xlsFont0, xlsGeneralAlign, xlsNormal, 1, 3, 32767), "C1");
  check(x.WriteValue(xlsInteger, xlsFont1, xlsCentreAlign + xlsShaded, xlsLocked, 1, 4, -5), "D1");
  check(x.WriteValue(xlsInteger, xlsFont0, xlsGeneralAlign, xlsNormal, 1, 5, -32768), "E1");
  // Row 2: numbers.
  check(x.WriteValue(xlsNumber, xlsFont0, xlsGeneralAlign, xlsNormal, 2, 1, 1.5), "A2");
  check(x.WriteValue(xlsNumber, xlsFont0, xlsGeneralAlign, xlsNormal, 2, 2, -0.25), "B2");
  check(x.WriteValue(xlsNumber, xlsFont2, xlsRightAlign, xlsNormal, 2, 3, 1234567.891), "C2");
  check(x.WriteValue(xlsInteger, xlsFont0, xlsGeneralAlign, xlsNormal, 2, 4, 2.5), "D2");
  // Row 3: text.
  check(x.WriteValue(xlsText, xlsFont0, xlsLeftAlign, xlsNormal, 3, 1, "Tarvic freight"), "A3");
  check(x.WriteValue(xlsText, xlsFont1,
                     xlsRightAlign + xlsLeftBorder + xlsRightBorder + xlsTopBorder + xlsBottomBorder, xlsNormal, 3, 2,
                     kKoreanText), "B3");
  check(x.WriteValue(xlsText, xlsFont3, xlsGeneralAlign, xlsLocked + xlsHidden, 3, 3, "숨김"), "C3");
  // A far cell.
  check(x.WriteValue(xlsText, xlsFont0, xlsGeneralAlign, xlsNormal, 100, 20, std::string(255, 'x')), "T100");
  check(x.CloseFile(), "CloseFile");
  return problems;
}

std::string writeWithEncryptedRecord(const std::string& path) {
  std::string problems = writeFull(path);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  // After the beginning-of-file and code-page records (14 bytes): id 0x002F, the password's
  // characters as the body.
  const std::string pw = kPassword;
  std::string record = std::string("\x2F\x00", 2) + static_cast<char>(pw.size()) + '\0' + pw;
  bytes.insert(14, record);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return problems;
}

}  // namespace xls_samples
