#include "platform/runtime/property_bag.h"

#include <charconv>
#include <cstdio>

#include "platform/text/vbstring.h"

namespace veltrano {

std::string fontToText(const Font& f) {
  std::string flags;
  if (f.bold) flags += 'B';
  if (f.italic) flags += 'I';
  if (f.underline) flags += 'U';
  if (f.strikethrough) flags += 'S';
  return f.name + "," + text::NumberToText(f.size) + "," + flags + "," + std::to_string(f.charset);
}

Font fontFromText(const std::string& t, const Font& fallback) {
  auto parts = text::Split(t, ",");
  if (parts.size() < 2 || parts[0].empty() || !text::IsNumeric(parts[1])) return fallback;
  Font f;
  f.name = parts[0];
  f.size = text::ParseNumber(parts[1]);
  if (parts.size() > 2) {
    f.bold = parts[2].find('B') != std::string::npos;
    f.italic = parts[2].find('I') != std::string::npos;
    f.underline = parts[2].find('U') != std::string::npos;
    f.strikethrough = parts[2].find('S') != std::string::npos;
  }
  if (parts.size() > 3 && text::IsNumeric(parts[3])) f.charset = static_cast<int>(text::Val(parts[3]));
  return f;
}

Variant PropertyBag::ReadProperty(std::string_view name, const Variant& defaultValue) {
  log_.push_back({Access::Read, std::string(name)});
  auto it = values_.find(name);
  return it == values_.end() ? defaultValue : it->second;
}

void PropertyBag::WriteProperty(std::string_view name, const Variant& value, const Variant& defaultValue) {
  log_.push_back({Access::Write, std::string(name)});
  if (value == defaultValue)
    values_.erase(std::string(name));
  else
    values_[std::string(name)] = value;
}

namespace {
std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out.push_back(c);
  }
  return out;
}
std::string unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out.push_back(n == 'n' ? '\n' : n == 'r' ? '\r' : n);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}
}  // namespace

std::string PropertyBag::toText() const {
  std::string out;
  for (const auto& [name, v] : values_) {
    std::string tag;
    switch (v.type()) {
      case VarType::Boolean: tag = "bool"; break;
      case VarType::Integer: case VarType::Long: case VarType::LongLong: case VarType::Byte: tag = "long"; break;
      case VarType::Single: case VarType::Double: case VarType::Decimal: case VarType::Currency: tag = "double"; break;
      default: tag = "string"; break;
    }
    out += name + "=" + tag + ":" + escape(v.toText()) + "\n";
  }
  return out;
}

PropertyBag PropertyBag::fromText(std::string_view t) {
  PropertyBag bag;
  for (const std::string& line : text::Split(t, "\n")) {
    std::size_t eq = line.find('=');
    std::size_t colon = line.find(':', eq == std::string::npos ? 0 : eq);
    if (eq == std::string::npos || colon == std::string::npos || eq == 0) continue;
    std::string name = line.substr(0, eq);
    std::string tag = line.substr(eq + 1, colon - eq - 1);
    std::string value = unescape(std::string_view(line).substr(colon + 1));
    if (tag == "bool") bag.values_[name] = Variant(value == "True");
    else if (tag == "long" && text::IsNumeric(value)) bag.values_[name] = Variant(static_cast<std::int32_t>(text::Val(value)));
    else if (tag == "double" && text::IsNumeric(value)) bag.values_[name] = Variant(text::ParseNumber(value));
    else if (tag == "string") bag.values_[name] = Variant(value);
  }
  return bag;
}

}  // namespace veltrano
