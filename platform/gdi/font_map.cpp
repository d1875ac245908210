#include "platform/gdi/font_map.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace veltrano::gdi {

namespace {

struct Mapping {
  std::string_view windows;
  std::string_view installed;
};

// Proportional Gulim/Dotum-like faces map to NanumGothic, the fixed-pitch "-Che" faces to
// NanumGothicCoding, the Myeongjo-style faces to NanumMyeongjo; Latin faces to DejaVu.
constexpr std::array kMappings{
    Mapping{"굴림", "NanumGothic"},           Mapping{"gulim", "NanumGothic"},
    Mapping{"새굴림", "NanumGothic"},         Mapping{"new gulim", "NanumGothic"},
    Mapping{"돋움", "NanumGothic"},           Mapping{"dotum", "NanumGothic"},
    Mapping{"맑은 고딕", "NanumGothic"},      Mapping{"malgun gothic", "NanumGothic"},
    Mapping{"굴림체", "NanumGothicCoding"},   Mapping{"gulimche", "NanumGothicCoding"},
    Mapping{"돋움체", "NanumGothicCoding"},   Mapping{"dotumche", "NanumGothicCoding"},
    Mapping{"바탕", "NanumMyeongjo"},         Mapping{"batang", "NanumMyeongjo"},
    Mapping{"바탕체", "NanumMyeongjo"},       Mapping{"batangche", "NanumMyeongjo"},
    Mapping{"궁서", "NanumMyeongjo"},         Mapping{"gungsuh", "NanumMyeongjo"},
    Mapping{"궁서체", "NanumMyeongjo"},       Mapping{"gungsuhche", "NanumMyeongjo"},
    Mapping{"verdana", "DejaVu Sans"},        Mapping{"arial", "DejaVu Sans"},
    Mapping{"tahoma", "DejaVu Sans"},         Mapping{"ms sans serif", "DejaVu Sans"},
    Mapping{"microsoft sans serif", "DejaVu Sans"}, Mapping{"segoe ui", "DejaVu Sans"},
    Mapping{"ms shell dlg", "DejaVu Sans"},   Mapping{"ms shell dlg 2", "DejaVu Sans"},
    Mapping{"system", "DejaVu Sans"},         Mapping{"courier new", "DejaVu Sans Mono"},
    Mapping{"courier", "DejaVu Sans Mono"},   Mapping{"lucida console", "DejaVu Sans Mono"},
    Mapping{"consolas", "DejaVu Sans Mono"},  Mapping{"fixedsys", "DejaVu Sans Mono"},
    Mapping{"times new roman", "DejaVu Serif"}, Mapping{"georgia", "DejaVu Serif"},
    Mapping{"ms serif", "DejaVu Serif"},
};

std::string trimmedLower(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  std::string out(s);
  // ASCII letters only; Hangul names have no case.
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool isHangulFamily(std::string_view family) { return family.substr(0, 5) == "Nanum"; }

}  // namespace

std::string installedFontFamily(std::string_view windowsName) {
  const std::string key = trimmedLower(windowsName);
  for (const Mapping& m : kMappings)
    if (m.windows == key) return std::string(m.installed);
  // Not in the table: the name as given, without the surrounding blanks.
  std::string_view s = windowsName;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s.empty() ? std::string(kHangulFallbackFamily) : std::string(s);
}

std::vector<std::string> installedFontFamilies(std::string_view windowsName) {
  std::vector<std::string> families{installedFontFamily(windowsName)};
  if (!isHangulFamily(families.front())) families.emplace_back(kHangulFallbackFamily);
  return families;
}

int fontPixelSize(const Font& font) {
  const double px = font.size * 96.0 / 72.0;
  const int rounded = static_cast<int>(px < 0 ? std::ceil(px - 0.5) : std::floor(px + 0.5));
  return std::max(1, rounded);
}

}  // namespace veltrano::gdi
