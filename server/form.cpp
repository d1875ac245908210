#include "server/form.h"

#include "platform/text/ascii.h"

namespace veltrano::server {

bool percentDecode(std::string_view in, std::string& out, bool plusIsBlank) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '+' && plusIsBlank) {
      out.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= in.size()) return false;
      const int hi = text::HexDigitValue(in[i + 1]), lo = text::HexDigitValue(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return true;
}

std::optional<std::vector<std::pair<std::string, std::string>>> parseForm(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view pair = body.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    std::string name, value;
    if (!percentDecode(pair.substr(0, eq), name, true)) return std::nullopt;
    if (eq != std::string_view::npos && !percentDecode(pair.substr(eq + 1), value, true))
      return std::nullopt;
    fields.emplace_back(std::move(name), std::move(value));
  }
  return fields;
}

}  // namespace veltrano::server
