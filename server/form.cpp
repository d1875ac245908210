#include "server/form.h"

#include "platform/text/ascii.h"

namespace veltrano::server {

bool percentDecode(std::string_view in, std::string& out, bool plusIsBlank) {
  out.clear();
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    // Plain bytes are copied a run at a time.
    std::size_t end = i;
    while (end < in.size() && in[end] != '%' && !(in[end] == '+' && plusIsBlank)) ++end;
    out.append(in.data() + i, end - i);
    if (end == in.size()) break;
    if (in[end] == '+') {
      out.push_back(' ');
      i = end + 1;
      continue;
    }
    if (end + 2 >= in.size()) return false;
    const int hi = text::HexDigitValue(in[end + 1]), lo = text::HexDigitValue(in[end + 2]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i = end + 3;
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
