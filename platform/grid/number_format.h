#pragma once
// The number cell types of the grid (12 and 13) and their display: decimals, the decimal and
// thousands-separator characters, and the accepted range.

#include <optional>
#include <string>
#include <string_view>

namespace veltrano::grid {

// Cell types of the grid. Only the two number types format their content; the others show
// their text as it is.
namespace celltype {
inline constexpr int Date = 0, Edit = 1, Float = 2, Integer = 3, Pic = 4, StaticText = 5, Time = 6,
                     Button = 7, ComboBox = 8, Picture = 9, CheckBox = 10, OwnerDrawn = 11,
                     Currency = 12, Number = 13, Percent = 14, Scientific = 15;
inline constexpr int kLast = Scientific;
inline bool isNumber(int type) { return type == Currency || type == Number; }
}  // namespace celltype

// The largest number of decimals a number cell shows.
inline constexpr int kMaxDecPlaces = 15;

struct NumberFormat {
  double min = -999999999999999.0;
  double max = 999999999999999.0;
  int decPlaces = 2;
  std::string decimal = ".";
  bool showSep = false;
  std::string separator = ",";
};

// The text a number cell shows: rounded half to even to `decPlaces`, separators as set.
std::string formatNumber(double v, const NumberFormat& f);
// Reads text typed or written into a number cell: blanks around it, the format's separators
// anywhere in the integer part, its decimal character; a leading sign. Nothing when the text is
// not such a number.
std::optional<double> parseNumber(std::string_view text, const NumberFormat& f);
// A number in the invariant form the cell's Value gives ("1234.5", "-0.25", "1E+20").
std::string invariantNumber(double v);

}  // namespace veltrano::grid
