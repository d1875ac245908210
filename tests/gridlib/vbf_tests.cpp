// VBF: phone formatting and registration number checks, through the library's public class.
#include <gtest/gtest.h>

#include "lumagrid/vbf.h"

namespace {

using lumagrid::VARIANT_FALSE;
using lumagrid::VARIANT_TRUE;
using lumagrid::VBF;

std::string format(const std::string& number) {
  VBF vbf;
  std::string txt = number;
  std::string out = vbf.DF_FormatPhoneDetails(txt);
  EXPECT_EQ(txt, number) << "the caller's text is not changed";
  return out;
}

TEST(VbfPhone, TableOfNumbers) {
  // Seoul gets "02", a blank and the dash: the width of a three-digit prefix.
  EXPECT_EQ(format("0212345678"), "02 -1234-5678");
  EXPECT_EQ(format("021234567"), "02 -123-4567");
  EXPECT_EQ(format("031-123-4567"), "031-123-4567");
  EXPECT_EQ(format("010 1234 5678"), "010-1234-5678");
  EXPECT_EQ(format("1234567"), "123-4567");
  EXPECT_EQ(format("12345678"), "1234-5678");
  EXPECT_EQ(format("123456789"), "");  // the core answers "FALSE"
}

TEST(VbfPhone, LengthLimitsAndNonNumbers) {
  EXPECT_EQ(format("123456"), "");           // 6 digits
  EXPECT_EQ(format("01012345678"), "010-1234-5678");
  EXPECT_EQ(format("010123456789"), "");     // 12 digits
  EXPECT_EQ(format("12345678901"), "");      // 11 digits without a leading 0: subscriber part 11 long
  EXPECT_EQ(format("0311234"), "");          // prefix 031 leaves 4
  EXPECT_EQ(format("02-123-456"), "");       // Seoul with 6 subscriber digits
  EXPECT_EQ(format("abc"), "");
  EXPECT_EQ(format("031가1234567"), "");
  EXPECT_EQ(format(""), "");
}

TEST(VbfPhone, RuntimeNumericTestLetsSignsAndPointsThrough) {
  // The numeric test is the run-time's, which also passes a sign or a decimal point.
  EXPECT_EQ(format("+1234567"), "+123-4567");
  EXPECT_EQ(format("1234.567"), "1234-.567");
  EXPECT_EQ(format("1,234,567"), "");  // 9 characters: subscriber part too long
}

TEST(VbfPhone, RemarkAfterTildeIsKept) {
  EXPECT_EQ(format("0312345678~home"), "031-234-5678~home");
  EXPECT_EQ(format("0212345678~사무실~야간"), "02 -1234-5678~사무실");  // pieces after the second are dropped
  EXPECT_EQ(format("abc~home"), "");
  EXPECT_EQ(format("0312345678~"), "031-234-5678~");
  EXPECT_EQ(format("~home"), "");
}

TEST(VbfBusinessNumber, ValidAndInvalidWithTheCallerVariableTrimmed) {
  VBF vbf;
  std::string id = "  1234567891 ";
  EXPECT_EQ(vbf.ComNo_Check(id), VARIANT_TRUE);
  EXPECT_EQ(id, "1234567891");

  for (const char* good : {"2208123455", "1018103648"}) {
    std::string s = good;
    EXPECT_EQ(vbf.ComNo_Check(s), VARIANT_TRUE) << good;
  }
  for (const char* bad : {"1234567890", "2208123456", "123-45-67891", "123456789a", "123456789", "12345678911"}) {
    std::string s = bad;
    EXPECT_EQ(vbf.ComNo_Check(s), VARIANT_FALSE) << bad;
    EXPECT_EQ(s, bad);
  }
  std::string korean = "123456789가";  // ten characters, the last not a digit
  EXPECT_EQ(vbf.ComNo_Check(korean), VARIANT_FALSE);
  std::string blanks = "          ";
  EXPECT_EQ(vbf.ComNo_Check(blanks), VARIANT_FALSE);
  EXPECT_EQ(blanks, "");
}

TEST(VbfResidentNumber, WithOrWithoutDashAndTheCallerVariableReducedToDigits) {
  VBF vbf;
  std::string dashed = "900101-1234568";
  EXPECT_EQ(vbf.IDNo_Check(dashed), VARIANT_TRUE);
  EXPECT_EQ(dashed, "9001011234568");
  std::string plain = "9001011234568";
  EXPECT_EQ(vbf.IDNo_Check(plain), VARIANT_TRUE);
  std::string spaced = " 850615 - 2345674 ";
  EXPECT_EQ(vbf.IDNo_Check(spaced), VARIANT_TRUE);
  EXPECT_EQ(spaced, "8506152345674");
}

TEST(VbfResidentNumber, CheckDigitsTenAndElevenWrap) {
  VBF vbf;
  std::string ten = "9001011000080";  // 11 - sum mod 11 is 10: check digit 0
  EXPECT_EQ(vbf.IDNo_Check(ten), VARIANT_TRUE);
  std::string eleven = "9001011000171";  // 11: check digit 1
  EXPECT_EQ(vbf.IDNo_Check(eleven), VARIANT_TRUE);
}

TEST(VbfResidentNumber, WrongLengthOrCheckDigitIsFalse) {
  VBF vbf;
  for (const char* bad : {"900101123456", "90010112345681", "9001011234567", ""}) {
    std::string s = bad;
    EXPECT_EQ(vbf.IDNo_Check(s), VARIANT_FALSE) << bad;
  }
  std::string letters = "가나900101-1234568다";
  EXPECT_EQ(vbf.IDNo_Check(letters), VARIANT_TRUE);
  EXPECT_EQ(letters, "9001011234568");
}

}  // namespace
