#include "updater/base_func.h"

#include <cmath>

#include "common/number_checks.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace meridox {
namespace {

namespace text = veltrano::text;
using veltrano::RuntimeError;
namespace err = veltrano::err;
using veltrano::common::SeoulPrefix;

constexpr const char* kSource = "BASE_FUNC";

// VB's Space with a Double argument: rounded half to even; a negative count raises 5.
std::string spaces(double n) {
  const std::int32_t count = text::CLng(n);
  if (count < 0) throw RuntimeError(err::kInvalidProcedureCall, kSource);
  return std::string(static_cast<std::size_t>(count), ' ');
}

constexpr const char* kDigitWords[10] = {"", "일", "이", "삼", "사", "오", "육", "칠", "팔", "구"};
constexpr const char* kPlaceWords[4] = {"천", "백", "십", ""};  // within a group of four, left to right
constexpr const char* kGroupWords[3] = {"", "만", "억"};        // units, 만 group, 억 group

}  // namespace

std::int32_t BASE_FUNC::LenByte(std::string_view Text) {
  return static_cast<std::int32_t>(text::ansiByteLength(Text));
}

std::string BASE_FUNC::StringConv(std::string_view Text, double startlen, double lenth) {
  const std::int32_t start = text::CLng(startlen);
  const std::int32_t length = text::CLng(lenth);
  if (start < 1 || length < 0) throw RuntimeError(err::kInvalidProcedureCall, kSource);
  const std::string bytes = text::toAnsiString(Text);
  const auto from = static_cast<std::size_t>(start - 1);
  if (from >= bytes.size()) return "";
  return text::fromAnsi(std::string_view(bytes).substr(from, static_cast<std::size_t>(length)));
}

std::string BASE_FUNC::PRINT_TXT(double SelLength, std::string_view PrintString, std::string_view Align, bool Big_Flag) {
  const double n = LenByte(PrintString);
  const std::string align = text::LCase(Align);
  const std::string tail = std::string(PrintString) + std::string(255, ' ');
  if (align == "left") return StringConv(tail, 1, SelLength);
  if (align == "mid") {
    if (!Big_Flag) {
      const double pad = text::RoundHalfEven(SelLength / 2 - text::RoundHalfEven(n / 2));
      return StringConv(spaces(pad) + tail, 1, SelLength);
    }
    const double pad = text::RoundHalfEven(SelLength / 4 - text::RoundHalfEven(n / 4));
    return StringConv(spaces(pad) + tail, 1, SelLength / 2);
  }
  if (align == "right") {
    const double w = Big_Flag ? text::RoundHalfEven(n / 2) : n;
    if (w > SelLength) return std::string(PrintString);
    return spaces(SelLength - w) + std::string(PrintString);
  }
  return "";
}

std::string BASE_FUNC::SetHangle(std::string_view strNumber) {
  std::string digits = text::Trim(strNumber);
  const bool negative = text::IsNumeric(digits) && text::ParseNumber(digits) < 0;
  if (negative) digits.erase(0, 1);
  for (char c : digits)
    if (c < '0' || c > '9') throw RuntimeError(err::kTypeMismatch, kSource);

  // Groups of four digits from the right; the highest one padded with "0" on the left.
  std::vector<std::string> groups;  // units group first
  std::string rest = digits;
  while (rest.size() > 4) {
    groups.push_back(rest.substr(rest.size() - 4));
    rest.erase(rest.size() - 4);
  }
  groups.push_back(std::string(4 - rest.size(), '0') + rest);
  if (groups.size() > 3) throw RuntimeError(err::kSubscriptOutOfRange, kSource);

  std::string words;
  for (std::size_t g = groups.size(); g-- > 0;) {
    const std::string& group = groups[g];
    for (std::size_t i = 0; i < 4; ++i) {
      const int d = group[i] - '0';
      if (d == 0) continue;
      words += kDigitWords[d];
      words += kPlaceWords[i];
    }
    words += kGroupWords[g];
    // An all-zero 만 group left "억만": drop the 만.
    if (text::Len(words) > 2 && text::Mid(words, static_cast<long long>(text::Len(words)) - 1, 1) == "억")
      words = text::Replace(words, "만", "");
  }
  if (text::Trim(words).empty()) words = "0";
  return negative ? "- " + words + "원" : words + "원";
}

bool BASE_FUNC::GetFilePathName_OPEN(CommonDialog& dlgcommon, std::string& gsOpenFileName, std::string& /*gsFileName*/) {
  try {
    dlgcommon.CancelError(true);
    dlgcommon.Filter("모든형식의 파일 (*.*)|*.*");
    dlgcommon.Filename("");
    dlgcommon.FilterIndex(2);
    dlgcommon.ShowOpen();
    gsOpenFileName = dlgcommon.Filename();
    return true;
  } catch (const std::exception&) {
    gsOpenFileName.clear();
    dlgcommon.Filename("");
    return false;
  }
}

bool BASE_FUNC::GetFilePathName_SAVE(CommonDialog& dlgcommon, std::string& gsSaveFileName) {
  try {
    dlgcommon.CancelError(true);
    dlgcommon.Filter("서식있는 텍스트 (*.rtf)|*.rtf");
    dlgcommon.Filename("");
    dlgcommon.FilterIndex(2);
    dlgcommon.ShowSave();
    gsSaveFileName = dlgcommon.Filename();
    return true;
  } catch (const std::exception&) {
    dlgcommon.Filename("");
    return false;
  }
}

std::string BASE_FUNC::DF_FormatPhoneDetails(std::string& txt) {
  return veltrano::common::formatPhoneDetails(txt, SeoulPrefix::Plain);
}

bool BASE_FUNC::ComNo_Check(std::string& IDno) { return veltrano::common::checkBusinessNumber(IDno); }
bool BASE_FUNC::IDNo_Check(std::string& IDno) { return veltrano::common::checkResidentNumber(IDno); }

std::string BASE_FUNC::g_fn_FormatPhoneDetails(const std::string& number) {
  return veltrano::common::formatPhoneNumber(number, SeoulPrefix::Plain);
}

}  // namespace meridox
