#pragma once
// Sample files for the reader tests, written with cls_Excel.
#include <string>

namespace xls_samples {

// Integers (negative ones too), numbers, ASCII and Korean text, four fonts, margins, widths,
// header, footer, grid lines, a password and protection. Returns "" or what went wrong.
std::string writeFull(const std::string& path);
// The same file with the password carried by the "file is encrypted" record instead, as the
// records were first laid out; readers refuse such a file whole.
std::string writeWithEncryptedRecord(const std::string& path);

inline constexpr const char* kPassword = "secret";
inline constexpr const char* kKoreanText = "화물 운송 내역";
inline constexpr const char* kHeader = "Tarvic 운임 보고서";

}  // namespace xls_samples
