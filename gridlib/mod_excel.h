#pragma once
// Mod_Excel: the grid export. Asks for a file name (the common dialog of platform/ui, filter
// "Excel Files (*.xls)|*.xls") and writes the grid with cls_Excel: the header row as spreadsheet
// row 1 in bold, then grid row r as spreadsheet row r + 1; grid columns 1 to MaxCols - cutting,
// hidden ones left out without a gap. Number cells (cell types 12 and 13) go out as numbers,
// every other cell as text; a number cell whose text is no number (an empty one) is left out.
// A text longer than the format's 255 bytes is cut at the last whole character that fits. The
// file holds grid rows 1 to 32,766 (spreadsheet rows up to 32,767); of a longer grid those rows
// are written and a box titled "출력" tells the user how many rows were written and how many
// left out.

#include <string>

#include "platform/grid/grid.h"

namespace lumagrid {

// True when the file was written. False when the user cancelled the prompt (nothing shown), or
// when the file could not be written: then the error is shown in a message box titled "오류"
// and the partly written file is removed. Raises nothing.
bool ExportSpreadToExcel(veltrano::grid::Grid& SPREAD, int cutting);

// The file name chosen for the last export ("" after a cancelled prompt).
const std::string& ExcelFileName();

}  // namespace lumagrid
