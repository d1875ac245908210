#include "server/byte_range.h"

#include <cstdint>
#include <limits>

#include "platform/text/ascii.h"

namespace veltrano::server {

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Decimal digits only, at least one; saturates at kLargest.
std::optional<std::int64_t> number(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const int d = c - '0';
    value = value > (kLargest - d) / 10 ? kLargest : value * 10 + d;
  }
  return value;
}

}  // namespace

std::optional<RequestedRanges> parseRangeHeader(std::string_view value) {
  value = trimBlanks(value);
  constexpr std::string_view unit = "bytes=";
  if (value.size() < unit.size() || !text::EqualsNoCaseAscii(value.substr(0, unit.size()), unit))
    return std::nullopt;
  value.remove_prefix(unit.size());

  RequestedRanges ranges;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view item = trimBlanks(value.substr(start, end - start));
    start = end + 1;
    if (item.empty()) continue;  // "a, , b" and a trailing comma are allowed
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::string_view firstText = item.substr(0, dash);
    const std::string_view lastText = item.substr(dash + 1);
    if (firstText.empty()) {
      const auto suffix = number(lastText);
      if (!suffix) return std::nullopt;
      ranges.emplace_back(-1, *suffix);
      continue;
    }
    const auto first = number(firstText);
    if (!first) return std::nullopt;
    if (lastText.empty()) {
      ranges.emplace_back(*first, -1);
      continue;
    }
    const auto last = number(lastText);
    if (!last || *last < *first) return std::nullopt;
    ranges.emplace_back(*first, *last);
  }
  if (ranges.empty()) return std::nullopt;
  return ranges;
}

}  // namespace veltrano::server
