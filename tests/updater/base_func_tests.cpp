// BASE_FUNC: text layout, byte lengths, amounts in words, file prompts, and the writer and checks
// it shares with Lumagrid.
#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"
#include "updater/base_func.h"

namespace {

using meridox::BASE_FUNC;
using meridox::CommonDialog;
using veltrano::RuntimeError;
namespace err = veltrano::err;
namespace ui = veltrano::ui;

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(BaseFuncBytes, LenByteCountsHangulTwice) {
  BASE_FUNC b;
  EXPECT_EQ(b.LenByte("가나12"), 6);
  EXPECT_EQ(b.LenByte(""), 0);
  EXPECT_EQ(b.LenByte("운송 abc"), 8);
}

TEST(BaseFuncBytes, StringConvCutsBytes) {
  BASE_FUNC b;
  EXPECT_EQ(b.StringConv("가나다", 3, 2), "나");
  EXPECT_EQ(b.StringConv("ab가", 2, 10), "b가");
  EXPECT_EQ(b.StringConv("abc", 5, 2), "");
  EXPECT_EQ(b.StringConv("abc", 2.5, 1), "b");  // 2.5 rounds to the even 2
  // Half of a two-byte character cannot stand alone: it becomes the replacement character.
  EXPECT_EQ(b.StringConv("가나", 1, 3), "가\xEF\xBF\xBD");
  EXPECT_EQ(errorOf([&] { b.StringConv("abc", 0, 1); }), err::kInvalidProcedureCall);
  EXPECT_EQ(errorOf([&] { b.StringConv("abc", 1, -1); }), err::kInvalidProcedureCall);
}

TEST(BaseFuncPrint, AlignmentsInATenByteField) {
  BASE_FUNC b;
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "left", false), "abc       ");
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "right", false), "       abc");
  // pad = round(5 - round(1.5)) = 3
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "mid", false), "   abc    ");
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "MID", false), "   abc    ");  // compared in lower case
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "centre", false), "");
}

TEST(BaseFuncPrint, DoubleWidthHalvesTheField) {
  BASE_FUNC b;
  // pad = round(2.5 - round(0.75)) = round(1.5) = 2; the result is 10 / 2 = 5 bytes long.
  EXPECT_EQ(b.PRINT_TXT(10, "abc", "mid", true), "  abc");
  EXPECT_EQ(b.PRINT_TXT(10, "abcd", "right", true), "        abcd");  // w = round(4 / 2) = 2
  EXPECT_EQ(b.PRINT_TXT(10, "ab", "left", true), "ab        ");
}

TEST(BaseFuncPrint, LongTextsAndKorean) {
  BASE_FUNC b;
  EXPECT_EQ(b.PRINT_TXT(3, "abcdef", "right", false), "abcdef");  // never cut
  EXPECT_EQ(b.PRINT_TXT(3, "abcdef", "left", false), "abc");
  EXPECT_EQ(b.PRINT_TXT(6, "화물운송", "left", false), "화물운");
  EXPECT_EQ(b.PRINT_TXT(10, "화물", "right", false), "      화물");
  EXPECT_EQ(b.PRINT_TXT(8, "화물", "mid", false), "  화물  ");
  // Text wider than the field in "mid" makes the padding negative.
  EXPECT_EQ(errorOf([&] { b.PRINT_TXT(4, "abcdefgh", "mid", false); }), err::kInvalidProcedureCall);
}

TEST(BaseFuncHangle, Examples) {
  BASE_FUNC b;
  EXPECT_EQ(b.SetHangle("12345"), "일만이천삼백사십오원");
  EXPECT_EQ(b.SetHangle("100000000"), "일억원");
  EXPECT_EQ(b.SetHangle("0"), "0원");
  EXPECT_EQ(b.SetHangle("-500"), "- 오백원");
  EXPECT_EQ(b.SetHangle("10000"), "일만원");
  EXPECT_EQ(b.SetHangle("100010000"), "일억일만원");
  EXPECT_EQ(b.SetHangle(" 1111 "), "일천일백일십일원");
  EXPECT_EQ(b.SetHangle("999999999999"), "구천구백구십구억구천구백구십구만구천구백구십구원");
  EXPECT_EQ(b.SetHangle("100000000000"), "일천억원");
  EXPECT_EQ(b.SetHangle(""), "0원");
}

TEST(BaseFuncHangle, Failures) {
  BASE_FUNC b;
  EXPECT_EQ(errorOf([&] { b.SetHangle("1000000000000"); }), err::kSubscriptOutOfRange);  // 13 digits
  EXPECT_EQ(errorOf([&] { b.SetHangle("1,000"); }), err::kTypeMismatch);
  EXPECT_EQ(errorOf([&] { b.SetHangle("12.5"); }), err::kTypeMismatch);
  EXPECT_EQ(errorOf([&] { b.SetHangle("12a"); }), err::kTypeMismatch);
  EXPECT_EQ(errorOf([&] { b.SetHangle("+5"); }), err::kTypeMismatch);
}

// A scripted interface that also keeps the file prompts it was given.
class PromptUi : public ui::ScriptedUi {
 public:
  std::vector<ui::FileDialogSpec> specs;
  std::optional<std::string> openFileDialog(const ui::FileDialogSpec& d) override {
    specs.push_back(d);
    return ScriptedUi::openFileDialog(d);
  }
  std::optional<std::string> saveFileDialog(const ui::FileDialogSpec& d) override {
    specs.push_back(d);
    return ScriptedUi::saveFileDialog(d);
  }
};

TEST(BaseFuncPrompts, OpenSetsTheDialogAndCopiesTheChosenFile) {
  PromptUi fake;
  ui::ScopedUi scope(fake);
  fake.queue("File:/data/운송.xls");
  BASE_FUNC b;
  CommonDialog dlg;
  dlg.Filename("previous.txt");
  std::string chosen, unused = "untouched";
  EXPECT_TRUE(b.GetFilePathName_OPEN(dlg, chosen, unused));
  EXPECT_EQ(chosen, "/data/운송.xls");
  EXPECT_EQ(dlg.Filename(), "/data/운송.xls");
  EXPECT_EQ(unused, "untouched");
  ASSERT_EQ(fake.specs.size(), 1u);
  EXPECT_EQ(fake.specs[0].filter, "모든형식의 파일 (*.*)|*.*");
  EXPECT_EQ(fake.specs[0].filterIndex, 2);
  EXPECT_EQ(fake.specs[0].fileName, "");
  EXPECT_TRUE(dlg.CancelError());
  EXPECT_EQ(fake.shown().at(0).kind, "Open");
}

TEST(BaseFuncPrompts, CancelledOpenEmptiesTheCallersName) {
  PromptUi fake;
  ui::ScopedUi scope(fake);
  fake.queue("Cancel");
  BASE_FUNC b;
  CommonDialog dlg;
  std::string chosen = "C:\\old.xls", unused;
  EXPECT_FALSE(b.GetFilePathName_OPEN(dlg, chosen, unused));
  EXPECT_EQ(chosen, "");
  EXPECT_EQ(dlg.Filename(), "");
}

TEST(BaseFuncPrompts, SaveAsksForRtfAndCancelKeepsTheCallersName) {
  PromptUi fake;
  ui::ScopedUi scope(fake);
  fake.queue("File:/tmp/report.rtf");
  fake.queue("Cancel");
  BASE_FUNC b;
  CommonDialog dlg;
  std::string saveName = "first";
  EXPECT_TRUE(b.GetFilePathName_SAVE(dlg, saveName));
  EXPECT_EQ(saveName, "/tmp/report.rtf");
  EXPECT_EQ(fake.specs.at(0).filter, "서식있는 텍스트 (*.rtf)|*.rtf");
  EXPECT_EQ(fake.shown().at(0).kind, "Save");

  EXPECT_FALSE(b.GetFilePathName_SAVE(dlg, saveName));
  EXPECT_EQ(saveName, "/tmp/report.rtf");  // left as it was
  EXPECT_EQ(dlg.Filename(), "");
}

TEST(CommonDialogControl, CancelRaisesOnlyWithCancelError) {
  ui::ScriptedUi fake;
  ui::ScopedUi scope(fake);
  CommonDialog dlg;
  dlg.Filename("keep.txt");
  dlg.ShowOpen();  // cancelled (no answer queued), CancelError off: silent
  EXPECT_EQ(dlg.Filename(), "keep.txt");
  dlg.CancelError(true);
  EXPECT_EQ(errorOf([&] { dlg.ShowSave(); }), meridox::cdlCancel);
  EXPECT_EQ(dlg.Filename(), "keep.txt");
}

TEST(BaseFuncChecks, SeoulPrefixHasNoBlankInTheUpdatersCopy) {
  BASE_FUNC b;
  EXPECT_EQ(b.g_fn_FormatPhoneDetails("0212345678"), "02-1234-5678");
  EXPECT_EQ(b.g_fn_FormatPhoneDetails("021234567"), "02-123-4567");
  EXPECT_EQ(b.g_fn_FormatPhoneDetails("031-123-4567"), "031-123-4567");
  EXPECT_EQ(b.g_fn_FormatPhoneDetails("123456789"), "FALSE");
  std::string txt = "02 1234 5678~집";
  EXPECT_EQ(b.DF_FormatPhoneDetails(txt), "02-1234-5678~집");
  EXPECT_EQ(txt, "02 1234 5678~집");
}

TEST(BaseFuncChecks, RegistrationNumbersChangeTheCallersVariable) {
  BASE_FUNC b;
  std::string biz = " 1234567891  ";
  EXPECT_TRUE(b.ComNo_Check(biz));
  EXPECT_EQ(biz, "1234567891");
  std::string rrn = "900101-1234568";
  EXPECT_TRUE(b.IDNo_Check(rrn));
  EXPECT_EQ(rrn, "9001011234568");
  std::string bad = "123-45-67891";
  EXPECT_FALSE(b.ComNo_Check(bad));
}

TEST(BaseFuncWriter, WritesTheSameFileAsTheLibraryWriter) {
  veltrano::test::TempDir dir;
  const std::string path = (dir / "base.xls").string();
  BASE_FUNC b;
  ASSERT_EQ(b.CreateFile(path), 0);
  EXPECT_EQ(b.SetFont("Arial", 10, meridox::xls::xlsBold), 0);
  EXPECT_EQ(b.WriteValue(meridox::xls::xlsInteger, meridox::xls::xlsFont0, meridox::xls::xlsGeneralAlign,
                         meridox::xls::xlsNormal, 1, 1, -5), 0);
  EXPECT_EQ(b.WriteValue(9, 0, 0, 0, 1, 1, 1), 0);
  EXPECT_EQ(b.SetColumnWidth(0, 1, 1), veltrano::Variant(std::int32_t{err::kOverflow}));
  ASSERT_EQ(b.CloseFile(), 0);
  const std::string bytes = veltrano::test::readFile(path);
  const std::string expected = std::string("\x09\x00\x04\x00\x02\x00\x10\x00\x42\x00\x02\x00\xB5\x03", 14) +
                               std::string("\x31\x00\x0A\x00\xC8\x00\x01\x00\x05" "Arial", 14) +
                               std::string("\x03\x00\x0F\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x14\xC0", 19) +
                               std::string("\x0A\x00\x00\x00", 4);
  EXPECT_EQ(bytes, expected);
}

}  // namespace
