#include "mod_excel.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "lumagrid/cls_excel.h"
#include "platform/fs/fs.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
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

// `created` is set once the file is ours to remove on a later failure.
void writeSheet(cls_Excel& xls, Grid& g, int cutting, bool& created) {
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
  for (int r = 1; r <= g.MaxRows(); ++r) {
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
      writeSheet(*xls, SPREAD, cutting, created);
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
