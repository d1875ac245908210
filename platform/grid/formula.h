#pragma once
// Cell formulas of the grid: "SUM(A1:A10)"-style sums over A1 ranges, numbers, cell
// references and the four arithmetic operators. Pure: a formula is parsed once and evaluated
// against a reader of cell values, so the engine knows nothing of the grid's storage.
//
// References name a column by letters (A..Z, AA..ZZ, AAA..) and a row by its number; row 0 is
// the column-header row. A range whose end lies before its start (for example A1:A0, the sum
// over no data rows) is empty and sums to 0. Inside SUM a range counts only the cells that hold
// a number; text and empty cells add nothing.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::grid {

// 1 -> "A", 26 -> "Z", 27 -> "AA", 53 -> "BA". Columns below 1 give "".
std::string columnName(int col);
// "A" -> 1, "aa" -> 27; 0 when the text is not one to three letters.
int columnNumber(std::string_view letters);

enum class FormulaError : std::uint8_t {
  None = 0,
  DivisionByZero,  // shown as "#DIV/0!"
  Cycle,           // the formula depends on itself; shown as "#CIRC!"
};

// The text a cell shows for an error.
std::string formulaErrorText(FormulaError e);

struct FormulaValue {
  double number = 0;
  FormulaError error = FormulaError::None;
  bool ok() const { return error == FormulaError::None; }
};

// The value of one cell as a formula sees it: a number, an error (of a formula cell), or
// nothing (empty or text that is not a number).
struct CellNumber {
  std::optional<double> number;
  FormulaError error = FormulaError::None;
};

// Reads cell (row, col). Called for every cell a formula touches, in row-major order per range.
using CellReader = std::function<CellNumber(int row, int col)>;

class Formula {
 public:
  struct ParseResult;
  // Parses formula text (an optional leading "="). On failure the result carries the
  // 0-based position and a description.
  static ParseResult parse(std::string_view text);

  FormulaValue evaluate(const CellReader& read) const;
  // The formula as written, without a leading "=".
  const std::string& source() const { return source_; }

  enum class Op : std::uint8_t { Number, Ref, RangeSum, Neg, Add, Sub, Mul, Div, Sum };
  struct Step {
    Op op;
    double number = 0;     // Number
    int row = 0, col = 0;  // Ref and the first corner of RangeSum
    int row2 = 0, col2 = 0;
    int argc = 0;          // Sum
  };

 private:
  std::string source_;
  std::vector<Step> program_;  // postfix
  friend class FormulaParser;
};

struct Formula::ParseResult {
  std::optional<Formula> formula;
  std::size_t position = 0;
  std::string description;
  explicit operator bool() const { return formula.has_value(); }
};

}  // namespace veltrano::grid
