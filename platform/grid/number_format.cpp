#include "platform/grid/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/text/vbstring.h"

namespace veltrano::grid {

std::string formatNumber(double v, const NumberFormat& f) {
  std::string pattern = f.showSep ? "#,##0" : "0";
  if (f.decPlaces > 0) pattern += "." + std::string(static_cast<std::size_t>(f.decPlaces), '0');
  // FormatNumber writes "," and "."; put the cell's own characters in their place.
  std::string plain = text::FormatNumber(v, pattern);
  std::string out;
  out.reserve(plain.size() + 4);
  for (char c : plain) {
    if (c == ',') out += f.separator;
    else if (c == '.') out += f.decimal;
    else out.push_back(c);
  }
  return out;
}

std::optional<double> parseNumber(std::string_view text, const NumberFormat& f) {
  std::string t = text::Trim(text);
  std::string digits;
  bool seenDecimal = false, seenDigit = false;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) digits.push_back(t[i++]);
  while (i < t.size()) {
    std::string_view rest(t.data() + i, t.size() - i);
    if (!seenDecimal && !f.decimal.empty() && rest.starts_with(f.decimal)) {
      digits.push_back('.');
      seenDecimal = true;
      i += f.decimal.size();
    } else if (!seenDecimal && !f.separator.empty() && rest.starts_with(f.separator)) {
      i += f.separator.size();
    } else if (t[i] >= '0' && t[i] <= '9') {
      digits.push_back(t[i++]);
      seenDigit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!seenDigit) return std::nullopt;
  return std::strtod(digits.c_str(), nullptr);
}

std::string invariantNumber(double v) { return text::NumberToText(v); }

}  // namespace veltrano::grid
