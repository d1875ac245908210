#include "common/number_checks.h"

#include "platform/text/vbstring.h"

namespace veltrano::common {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string formatPhoneNumber(std::string_view number, SeoulPrefix seoul) {
  static const std::string kFalse = "FALSE";
  std::string digits;
  digits.reserve(number.size());
  for (char c : number)
    if (c != ' ' && c != '-') digits.push_back(c);
  if (!text::IsNumeric(digits)) return kFalse;
  const std::size_t length = text::Len(digits);
  if (length < 7 || length > 11) return kFalse;

  std::string prefix;
  std::string rest = digits;
  if (digits[0] == '0') {
    if (digits[1] == '2') {
      prefix = seoul == SeoulPrefix::Padded ? "02 -" : "02-";
      rest = text::Mid(digits, 3);
    } else {
      prefix = text::Left(digits, 3) + "-";
      rest = text::Mid(digits, 4);
    }
  }
  const std::size_t subscriber = text::Len(rest);
  if (subscriber != 7 && subscriber != 8) return kFalse;
  return prefix + text::Left(rest, subscriber - 4) + "-" + text::Right(rest, 4);
}

std::string formatPhoneDetails(std::string_view txt, SeoulPrefix seoul) {
  const std::vector<std::string> pieces = text::Split(txt, "~");
  const bool withRemark = pieces.size() >= 2;
  const std::string formatted = formatPhoneNumber(withRemark ? std::string_view(pieces[0]) : txt, seoul);
  if (formatted == "FALSE") return "";
  return withRemark ? formatted + "~" + pieces[1] : formatted;
}

bool checkBusinessNumber(std::string& idNo) {
  idNo = text::Trim(idNo);
  if (text::Len(idNo) != 10) return false;
  int d[11] = {};
  for (int i = 0; i < 10; ++i) {
    // Ten characters of one byte each here, since the length in characters is 10 and every one
    // must be a digit; a longer character fails the digit test.
    if (idNo.size() != 10 || !isDigit(idNo[static_cast<std::size_t>(i)])) return false;
    d[i + 1] = idNo[static_cast<std::size_t>(i)] - '0';
  }
  const int sum = (d[1] + d[4] + d[7]) * 1 + (d[2] + d[5] + d[8]) * 3 + (d[3] + d[6]) * 7 + (d[9] * 5) / 10 +
                  (d[9] * 5) % 10;
  return d[10] == (10 - sum % 10) % 10;
}

bool checkResidentNumber(std::string& idNo) {
  // Each character that passes the numeric test on its own is a digit.
  std::string digits;
  for (char c : idNo)
    if (isDigit(c)) digits.push_back(c);
  idNo = digits;
  if (digits.size() != 13) return false;
  static constexpr int kWeights[12] = {2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5};
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += (digits[static_cast<std::size_t>(i)] - '0') * kWeights[i];
  int check = 11 - sum % 11;
  if (check == 10) check = 0;
  else if (check == 11) check = 1;
  return digits[12] - '0' == check;
}

}  // namespace veltrano::common
