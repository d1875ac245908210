#pragma once
// An .xls file as a spreadsheet reader reads it, one fact a line in the form xls_dump.py prints
// (tab-separated: biff, encoding, cell, font, width; or a single "error" line).
//
// On Linux the reader is python3-xlrd, one nobody here wrote. A Windows test program cannot start
// the system's Python, so there the facts come from biff2Dump, our reader of the BIFF2 records
// the writer makes; on Linux every file read through xlsDump is read by both and must give the
// same lines, so the Windows tests rest on what xlrd accepted.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace printjob_test {

// Our reader: what xls_dump.py prints for the file, read from its BIFF2 records.
std::string biff2Dump(const std::filesystem::path& file);
// The reader's facts: xlrd's on Linux (a test failure is added when biff2Dump differs),
// biff2Dump's on Windows.
std::string xlsDump(const std::filesystem::path& file);
// The same facts, each line split at its tabs (empty lines left out).
std::vector<std::vector<std::string>> xlsDumpFields(const std::filesystem::path& file);

// The file's cells by 0-based row and column, and its fonts in the reader's order ("name height
// bold italic underline struck").
struct XlsCell {
  std::string type;   // "text" or "number"
  std::string value;  // numbers as Python's repr ("3000.0")
  int font = -1, align = -1;
};
struct XlsRead {
  std::string error;
  std::map<std::pair<int, int>, XlsCell> cells;
  std::vector<std::string> fonts;
  int rows() const;  // 1 + the last row holding a cell (0 when none)
  int cols() const;
  std::string text(int row, int col) const;  // "" for no cell
};
XlsRead readXls(const std::filesystem::path& file);

}  // namespace printjob_test
