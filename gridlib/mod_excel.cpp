#include "mod_excel.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "lumagrid/cls_excel.h"
#include "platform/fs/fs.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"

namespace lumagrid {
namespace {

namespace ui = veltrano::ui;
using veltrano::RuntimeError;
using veltrano::grid::Grid;

constexpr const char* kSource = "Mod_Excel";
constexpr const char* kFilter = "Excel Files (*.xls)|*.xls";
constexpr int kFilterIndex = 2;
constexpr int kDialogFlags = 4;  // hide the read-only check box
constexpr double kMarginInches = 1.5;
constexpr std::size_t kMaxTextBytes = 255;
// The writer addresses spreadsheet rows 1 to 32,767 (a 16-bit signed row): the header row and
// grid rows 1 to 32,766. Rows beyond are left out and the user is told how many.
constexpr int kMaxGridRows = 32766;

std::string g_fileName;

// A writer status other than 0 stops the export with that error.
void check(std::int16_t status) {
  if (status != 0) throw RuntimeError(status, kSource);
}

// The longest head of `text` that takes at most 255 bytes in CP949, cut between characters.
std::string fitted(const std::string& text) {
  if (veltrano::text::ansiByteLength(text) <= kMaxTextBytes) return text;
  std::string out;
  std::size_t bytes = 0;
  for (char32_t ch : veltrano::text::toU32(text)) {
    std::string one;
    veltrano::text::appendUtf8(one, ch);
    bytes += veltrano::text::ansiByteLength(one);
    if (bytes > kMaxTextBytes) break;
    out += one;
  }
  return out;
}

// The notice for a grid longer than the file can hold.
std::string rowsLeftOutNotice(int total, int written) {
  auto rows = [](int n) { return veltrano::text::FormatNumber(n, "###,##0") + "행"; };
  return "엑셀 파일에는 " + rows(kMaxGridRows) + "까지만 저장할 수 있습니다.\r\n\r\n전체 " + rows(total) + " 중 " +
         rows(written) + "을 저장했고, 나머지 " + rows(total - written) + "(" + rows(written + 1) +
         "부터)은 저장하지 못했습니다.";
}

// Writes the sheet and returns the number of grid rows written. `created` is set once the file
// is ours to remove on a later failure.
int writeSheet(cls_Excel& xls, Grid& g, int cutting, bool& created) {
  check(xls.CreateFile(g_fileName));
  created = true;
  xls.PrintGridLines(false);
  check(xls.SetMargin(xlsTopMargin, kMarginInches));
  check(xls.SetMargin(xlsLeftMargin, kMarginInches));
  check(xls.SetMargin(xlsRightMargin, kMarginInches));
  check(xls.SetMargin(xlsBottomMargin, kMarginInches));
  check(xls.SetFont("Arial", 10, xlsNoFormat));
  check(xls.SetFont("Arial", 10, xlsBold));
  check(xls.SetFont("Arial", 9, xlsNoFormat));
  check(xls.SetFont("Courier", 12, xlsItalic));

  // The columns written, in order: hidden ones close up.
  std::vector<int> cols;
  for (int j = 1; j <= g.MaxCols() - cutting; ++j) {
    g.Col(j);
    if (!g.ColHidden()) cols.push_back(j);
  }
  g.Row(0);
  for (std::size_t k = 0; k < cols.size(); ++k) {
    g.Col(cols[k]);
    check(xls.WriteValue(xlsText, xlsFont1, xlsCentreAlign, xlsNormal, 1, static_cast<std::int32_t>(k + 1),
                         veltrano::Variant(fitted(g.Text()))));
  }
  const int rows = std::min(g.MaxRows(), kMaxGridRows);
  for (int r = 1; r <= rows; ++r) {
    for (std::size_t k = 0; k < cols.size(); ++k) {
      const int c = cols[k];
      const std::string text = g.textAt(r, c);
      const auto col = static_cast<std::int32_t>(k + 1);
      if (veltrano::grid::celltype::isNumber(g.cellTypeAt(r, c))) {
        // The displayed text read back with the cell's own separators; no number, no cell.
        const std::optional<double> v = veltrano::grid::parseNumber(text, g.numberFormatAt(r, c));
        if (v) check(xls.WriteValue(xlsNumber, xlsFont2, xlsLeftAlign, xlsNormal, r + 1, col, veltrano::Variant(*v)));
      } else {
        check(xls.WriteValue(xlsText, xlsFont2, xlsLeftAlign, xlsNormal, r + 1, col, veltrano::Variant(fitted(text))));
      }
    }
  }
  check(xls.CloseFile());
  return rows;
}

}  // namespace

const std::string& ExcelFileName() { return g_fileName; }

bool ExportSpreadToExcel(Grid& SPREAD, int cutting) {
  ui::FileDialogSpec dlg;
  dlg.filter = kFilter;
  dlg.filterIndex = kFilterIndex;
  dlg.flags = kDialogFlags;
  dlg.defaultExt = "xls";  // a name typed without extension is saved as NAME.xls
  dlg.fileName.clear();
  std::optional<std::string> chosen;
  try {
    chosen = ui::current().saveFileDialog(dlg);
  } catch (const std::exception&) {
    chosen.reset();
  }
  if (!chosen || chosen->empty()) {
    g_fileName.clear();
    return false;
  }
  g_fileName = *chosen;

  std::string error;
  bool created = false;
  {
    auto xls = std::make_unique<cls_Excel>();
    try {
      const int written = writeSheet(*xls, SPREAD, cutting, created);
      if (written < SPREAD.MaxRows())
        ui::MsgBox(rowsLeftOutNotice(SPREAD.MaxRows(), written), ui::vbExclamation, "출력");
      return true;
    } catch (const RuntimeError& e) {
      error = e.description();
    } catch (const std::exception& e) {
      error = e.what();
    }
  }  // the writer closes what it has written
  try {
    if (created && veltrano::fs::fileExists(g_fileName)) veltrano::fs::deleteFile(g_fileName);
  } catch (const std::exception&) {
  }
  ui::MsgBox(error, ui::vbCritical, "오류");
  return false;
}

}  // namespace lumagrid
