#include "server/form.h"

namespace veltrano::server {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool decodeComponent(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= in.size()) return false;
      const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return true;
}

}  // namespace

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
    if (!decodeComponent(pair.substr(0, eq), name)) return std::nullopt;
    if (eq != std::string_view::npos && !decodeComponent(pair.substr(eq + 1), value))
      return std::nullopt;
    fields.emplace_back(std::move(name), std::move(value));
  }
  return fields;
}

}  // namespace veltrano::server
