// The spreadsheet writer, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/xls_writer.h"
#include "platform/fs/fs.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "support/test_support.h"

namespace {

using veltrano::Variant;
using veltrano::common::XlsWriter;
namespace xls = veltrano::common::xls;
namespace err = veltrano::err;
using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& s) {
  Bytes out;
  std::istringstream in(s);
  std::string b;
  while (in >> b) out.push_back(static_cast<std::uint8_t>(std::stoul(b, nullptr, 16)));
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes fileBytes(const std::filesystem::path& p) {
  const std::string s = veltrano::test::readFile(p);
  return Bytes(s.begin(), s.end());
}

const Bytes kBegin = hex("09 00 04 00 02 00 10 00  42 00 02 00 B5 03");
const Bytes kEnd = hex("0A 00 00 00");

// A writer on a file in a fresh folder; bytes() closes it and reads the file.
struct WriterFile {
  veltrano::test::TempDir dir;
  std::string path = (dir / "out.xls").string();
  XlsWriter w;
  WriterFile() { EXPECT_EQ(w.CreateFile(path), 0); }
  Bytes bytes() {
    EXPECT_EQ(w.CloseFile(), 0);
    return fileBytes(path);
  }
  // The records written between the beginning and end records.
  Bytes body() {
    Bytes all = bytes();
    EXPECT_GE(all.size(), kBegin.size() + kEnd.size());
    EXPECT_TRUE(std::equal(kBegin.begin(), kBegin.end(), all.begin()));
    EXPECT_TRUE(std::equal(kEnd.begin(), kEnd.end(), all.end() - 4));
    return Bytes(all.begin() + static_cast<long>(kBegin.size()), all.end() - 4);
  }
};

TEST(XlsWriterRecords, EmptyFileIsBeginCodePageAndEnd) {
  WriterFile f;
  EXPECT_EQ(f.bytes(), hex("09 00 04 00 02 00 10 00 42 00 02 00 B5 03 0A 00 00 00"));
}

TEST(XlsWriterRecords, ExamplesOfEachRecord) {
  struct Case {
    const char* name;
    std::function<void(XlsWriter&)> write;
    const char* bytes;
  };
  const Case cases[] = {
      {"integer 5 at A1", [](XlsWriter& w) { EXPECT_EQ(w.WriteValue(xls::xlsInteger, xls::xlsFont0, xls::xlsGeneralAlign, xls::xlsNormal, 1, 1, 5), 0); },
       "02 00 09 00 00 00 00 00 00 00 00 05 00"},
      {"text abc, row 2 col 3, font 1, centred", [](XlsWriter& w) { EXPECT_EQ(w.WriteValue(xls::xlsText, xls::xlsFont1, xls::xlsCentreAlign, xls::xlsNormal, 2, 3, "abc"), 0); },
       "04 00 0B 00 01 00 02 00 00 40 02 03 61 62 63"},
      {"top margin 1.5", [](XlsWriter& w) { EXPECT_EQ(w.SetMargin(xls::xlsTopMargin, 1.5), 0); },
       "28 00 08 00 00 00 00 00 00 00 F8 3F"},
      {"font Arial 10 bold", [](XlsWriter& w) { EXPECT_EQ(w.SetFont("Arial", 10, xls::xlsBold), 0); },
       "31 00 0A 00 C8 00 01 00 05 41 72 69 61 6C"},
      {"column width 1..3 = 20", [](XlsWriter& w) { EXPECT_EQ(w.SetColumnWidth(1, 3, 20), Variant(std::int16_t{0})); },
       "24 00 04 00 00 02 00 14"},
      {"number 1.5 with all attributes", [](XlsWriter& w) {
         EXPECT_EQ(w.WriteValue(xls::xlsNumber, xls::xlsFont3, xls::xlsRightAlign + xls::xlsTopBorder + xls::xlsShaded,
                                xls::xlsLocked + xls::xlsHidden, 3, 2, 1.5), 0); },
       "03 00 0F 00 02 00 01 00 C0 C0 A3 00 00 00 00 00 00 F8 3F"},
      {"header", [](XlsWriter& w) { EXPECT_EQ(w.SetHeader("P1"), 0); }, "14 00 03 00 02 50 31"},
      {"footer", [](XlsWriter& w) { EXPECT_EQ(w.SetFooter(""), 0); }, "15 00 01 00 00"},
      {"grid lines on", [](XlsWriter& w) { w.PrintGridLines(true); }, "2B 00 02 00 01 00"},
      {"protection off", [](XlsWriter& w) { w.ProtectSpreadsheet(false); }, "12 00 02 00 00 00"},
      // The published check value of the sheet-password hash: "abcdefghij" gives FEF1.
      {"password", [](XlsWriter& w) { EXPECT_EQ(w.SetFilePassword("abcdefghij"), 0); }, "13 00 02 00 F1 FE"},
      {"empty password is no password", [](XlsWriter& w) { EXPECT_EQ(w.SetFilePassword(""), 0); }, "13 00 02 00 00 00"},
      {"integer half rounds to even", [](XlsWriter& w) { EXPECT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, 2.5), 0); },
       "02 00 09 00 00 00 00 00 00 00 00 02 00"},
      {"largest integer", [](XlsWriter& w) { EXPECT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, "32767"), 0); },
       "02 00 09 00 00 00 00 00 00 00 00 FF 7F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriterFile f;
    c.write(f.w);
    EXPECT_EQ(f.body(), hex(c.bytes));
  }
}

TEST(XlsWriterRecords, NegativeIntegerBecomesNumberCellWithSameAddressAndAttributes) {
  WriterFile f;
  EXPECT_EQ(f.w.WriteValue(xls::xlsInteger, xls::xlsFont2, xls::xlsLeftAlign, xls::xlsLocked, 4, 7, -5), 0);
  EXPECT_EQ(f.w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, -32768), 0);
  EXPECT_EQ(f.w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, -0.4), 0);  // rounds to 0: integer cell
  EXPECT_EQ(f.body(), hex("03 00 0F 00 03 00 06 00 40 80 01 00 00 00 00 00 00 14 C0 "
                          "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E0 C0 "
                          "02 00 09 00 00 00 00 00 00 00 00 00 00"));
}

TEST(XlsWriterRecords, KoreanTextCountsCp949Bytes) {
  WriterFile f;
  EXPECT_EQ(f.w.WriteValue(xls::xlsText, 0, 0, 0, 1, 1, "가나a"), 0);
  EXPECT_EQ(f.body(), hex("04 00 0D 00 00 00 00 00 00 00 00 05 B0 A1 B3 AA 61"));
}

TEST(XlsWriterRecords, KoreanFontNameHeaderAndPasswordGoOutAsCp949Bytes) {
  WriterFile f;
  EXPECT_EQ(f.w.SetFont("굴림", 9, xls::xlsNoFormat), 0);
  EXPECT_EQ(f.w.SetHeader("가"), 0);
  const auto pw = veltrano::text::toAnsi("가");
  const std::uint16_t h = veltrano::common::sheetPasswordHash(pw);
  EXPECT_EQ(f.w.SetFilePassword("가"), 0);
  const Bytes expectHash = {static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(h >> 8)};
  EXPECT_EQ(f.body(), hex("31 00 09 00 B4 00 00 00 04 B1 BC B8 B2") + hex("14 00 03 00 02 B0 A1") +
                          hex("13 00 02 00") + expectHash);
}

TEST(XlsWriterLimits, TextOf255BytesIsWrittenWhole256FailsWithNothingWritten) {
  WriterFile f;
  const std::string t255(255, 'x');
  EXPECT_EQ(f.w.WriteValue(xls::xlsText, 0, 0, 0, 1, 1, std::string(256, 'y')), err::kOverflow);
  EXPECT_EQ(f.w.WriteValue(xls::xlsText, 0, 0, 0, 1, 1, "가" + std::string(254, 'y')), err::kOverflow);  // 256 bytes
  EXPECT_EQ(f.w.WriteValue(xls::xlsText, 0, 0, 0, 1, 1, t255), 0);
  EXPECT_EQ(f.body(), hex("04 00 07 01 00 00 00 00 00 00 00 FF") + Bytes(255, 'x'));
}

TEST(XlsWriterLimits, CountedTextsOver255BytesFailWithNothingWritten) {
  WriterFile f;
  EXPECT_EQ(f.w.SetFont(std::string(256, 'a'), 10, 0), err::kOverflow);
  EXPECT_EQ(f.w.SetHeader(std::string(248, 'a') + "가가가가"), err::kOverflow);  // 252 characters, 256 bytes
  EXPECT_EQ(f.w.SetFooter(std::string(256, 'a')), err::kOverflow);
  EXPECT_EQ(f.w.SetFilePassword(std::string(256, 'a')), err::kOverflow);
  EXPECT_EQ(f.w.SetHeader(std::string(255, 'h')), 0);
  EXPECT_EQ(f.body(), hex("14 00 00 01 FF") + Bytes(255, 'h'));
}

TEST(XlsWriterLimits, StatusNumbersOfBadArguments) {
  WriterFile f;
  const auto write = [&](std::int32_t type, std::int32_t font, std::int32_t align, std::int32_t hl, std::int32_t r,
                         std::int32_t c, const Variant& v) { return f.w.WriteValue(type, font, align, hl, r, c, v); };
  EXPECT_EQ(write(xls::xlsInteger, 0, 0, 0, 1, 1, 32768), err::kOverflow);
  EXPECT_EQ(write(xls::xlsInteger, 0, 0, 0, 1, 1, -32769), err::kOverflow);
  EXPECT_EQ(write(xls::xlsInteger, 0, 0, 0, 1, 1, "abc"), err::kTypeMismatch);
  EXPECT_EQ(write(xls::xlsNumber, 0, 0, 0, 1, 1, "1.2.3"), err::kTypeMismatch);
  EXPECT_EQ(write(xls::xlsText, 0, 0, 0, 1, 1, veltrano::Null), err::kInvalidUseOfNull);
  EXPECT_EQ(write(xls::xlsNumber, 256, 0, 0, 1, 1, 1.0), err::kOverflow);
  EXPECT_EQ(write(xls::xlsNumber, 0, 256, 0, 1, 1, 1.0), err::kOverflow);
  EXPECT_EQ(write(xls::xlsNumber, 0, 0, -1, 1, 1, 1.0), err::kOverflow);
  EXPECT_EQ(write(xls::xlsNumber, 0, 0, 0, 32768, 1, 1.0), err::kOverflow);
  EXPECT_EQ(write(xls::xlsNumber, 0, 0, 0, 1, 0, 1.0), err::kOverflow);  // columns count from 1
  EXPECT_EQ(write(xls::xlsNumber, 0, 0, 0, 0, 1, 1.0), err::kOverflow);
  EXPECT_EQ(write(3, 0, 0, 0, 1, 1, 1.0), 0);  // an unknown value type writes nothing
  EXPECT_EQ(f.w.SetColumnWidth(0, 3, 10), Variant(std::int32_t{err::kOverflow}));
  EXPECT_EQ(f.w.SetColumnWidth(1, 3, 128), Variant(std::int32_t{err::kOverflow}));
  EXPECT_EQ(f.w.SetColumnWidth(1, 3, -129), Variant(std::int32_t{err::kOverflow}));
  EXPECT_EQ(f.w.SetFont("Arial", 1639, 0), err::kOverflow);  // x 20 is over 32,767
  EXPECT_EQ(f.w.SetFont("Arial", 10, 256), err::kOverflow);
  EXPECT_EQ(f.w.SetMargin(10, 1.0), err::kInvalidProcedureCall);  // would forge an end-of-file record
  EXPECT_EQ(f.body(), Bytes{});
  EXPECT_EQ(f.w.WriteValue(xls::xlsNumber, 0, 0, 0, 32767, 32767, 1.0), err::kBadFileNameOrNumber);
}

TEST(XlsWriterLifecycle, MethodsWithoutAnOpenFileReturnBadFileNumber) {
  XlsWriter w;
  EXPECT_EQ(w.CloseFile(), err::kBadFileNameOrNumber);
  EXPECT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, 1), err::kBadFileNameOrNumber);
  EXPECT_EQ(w.SetHeader("x"), err::kBadFileNameOrNumber);
  EXPECT_EQ(w.SetColumnWidth(1, 1, 1), Variant(std::int32_t{err::kBadFileNameOrNumber}));
  w.PrintGridLines(true);  // swallowed
  w.ProtectSpreadsheet(true);
  EXPECT_FALSE(w.isOpen());
}

TEST(XlsWriterLifecycle, CreateFileReplacesAnExistingFileWhole) {
  veltrano::test::TempDir dir;
  const auto path = dir / "old.xls";
  veltrano::test::writeFile(path, std::string(5000, 'Z'));
  XlsWriter w;
  EXPECT_EQ(w.CreateFile(path.string()), 0);
  EXPECT_EQ(w.CloseFile(), 0);
  EXPECT_EQ(fileBytes(path), kBegin + kEnd);
}

TEST(XlsWriterLifecycle, CreateFileFindsAnExistingNameWithoutRegardToCase) {
  veltrano::test::TempDir dir;
  veltrano::test::writeFile(dir / "Report.XLS", "old content");
  XlsWriter w;
  EXPECT_EQ(w.CreateFile((dir / "report.xls").string()), 0);
  EXPECT_EQ(w.CloseFile(), 0);
  // The old file is deleted whatever its case; the new one takes the name as given.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"report.xls"});
  EXPECT_EQ(fileBytes(dir / "report.xls"), kBegin + kEnd);
}

TEST(XlsWriterLifecycle, ReleaseWhileOpenWritesTheEndRecord) {
  veltrano::test::TempDir dir;
  const auto path = dir / "left-open.xls";
  {
    XlsWriter w;
    ASSERT_EQ(w.CreateFile(path.string()), 0);
    ASSERT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, 5), 0);
  }
  EXPECT_EQ(fileBytes(path), kBegin + hex("02 00 09 00 00 00 00 00 00 00 00 05 00") + kEnd);
}

TEST(XlsWriterLifecycle, ReleaseAfterCloseWritesNothingMoreAndCloseTwiceFails) {
  veltrano::test::TempDir dir;
  const auto path = dir / "closed.xls";
  {
    XlsWriter w;
    ASSERT_EQ(w.CreateFile(path.string()), 0);
    ASSERT_EQ(w.CloseFile(), 0);
    EXPECT_EQ(w.CloseFile(), err::kBadFileNameOrNumber);
  }
  EXPECT_EQ(fileBytes(path), kBegin + kEnd);
}

TEST(XlsWriterLifecycle, SecondCreateFileFinishesTheFirstFile) {
  veltrano::test::TempDir dir;
  XlsWriter w;
  ASSERT_EQ(w.CreateFile((dir / "a.xls").string()), 0);
  ASSERT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, 7), 0);
  ASSERT_EQ(w.CreateFile((dir / "b.xls").string()), 0);
  ASSERT_EQ(w.CloseFile(), 0);
  EXPECT_EQ(fileBytes(dir / "a.xls"), kBegin + hex("02 00 09 00 00 00 00 00 00 00 00 07 00") + kEnd);
  EXPECT_EQ(fileBytes(dir / "b.xls"), kBegin + kEnd);
}

TEST(XlsWriterFailures, CreateFileInAMissingFolderReturnsPathNotFound) {
  veltrano::test::TempDir dir;
  XlsWriter w;
  EXPECT_EQ(w.CreateFile((dir / "no-such-folder" / "x.xls").string()), err::kPathNotFound);
  EXPECT_FALSE(w.isOpen());
}

TEST(XlsWriterFailures, ExistingFileThatCannotBeDeletedReturnsTheDeleteError) {
  veltrano::test::TempDir dir;
  const auto path = dir / "locked.xls";
  veltrano::test::writeFile(path, "keep me");
  veltrano::fs::injectFault("delete", "locked.xls", err::kPermissionDenied);
  XlsWriter w;
  EXPECT_EQ(w.CreateFile(path.string()), err::kPermissionDenied);
  veltrano::fs::clearFaults();
  EXPECT_EQ(veltrano::test::readFile(path), "keep me");
}

TEST(XlsWriterFailures, WriteErrorOfTheBufferedFileShowsAtClose) {
  veltrano::test::TempDir dir;
  const auto path = dir / "full.xls";
  XlsWriter w;
  ASSERT_EQ(w.CreateFile(path.string()), 0);
  ASSERT_EQ(w.WriteValue(xls::xlsInteger, 0, 0, 0, 1, 1, 1), 0);
  veltrano::fs::injectFault("write", "full.xls", err::kDiskFull);
  EXPECT_EQ(w.CloseFile(), err::kDiskFull);
  veltrano::fs::clearFaults();
  EXPECT_FALSE(w.isOpen());
}

TEST(XlsWriterBuffering, ManyRecordsReachTheFileInCallOrder) {
  // More than the buffer holds, so the file is written in several blocks.
  WriterFile f;
  Bytes expected;
  for (int i = 1; i <= 20000; ++i) {
    ASSERT_EQ(f.w.WriteValue(xls::xlsInteger, 0, 0, 0, i % 16384 + 1, 1, i % 30000), 0);
    const auto row = static_cast<std::uint16_t>(i % 16384);
    const auto v = static_cast<std::uint16_t>(i % 30000);
    expected = expected + Bytes{0x02, 0x00, 0x09, 0x00, static_cast<std::uint8_t>(row & 0xFF),
                                static_cast<std::uint8_t>(row >> 8), 0, 0, 0, 0, 0,
                                static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
  }
  EXPECT_EQ(f.body(), expected);
}

TEST(XlsWriterSink, WritesIntoACallerSink) {
  auto sink = std::make_unique<veltrano::common::MemorySink>();
  auto* mem = sink.get();
  {
    XlsWriter w;
    ASSERT_EQ(w.CreateOn(std::move(sink)), 0);
    ASSERT_EQ(w.SetColumnWidth(2, 2, 8), Variant(std::int16_t{0}));
    EXPECT_EQ(mem->bytes(), kBegin + hex("24 00 04 00 01 01 00 08"));
    ASSERT_EQ(w.CloseFile(), 0);
  }
}

TEST(XlsPasswordHash, KnownValues) {
  const auto h = [](const std::string& s) { return veltrano::common::sheetPasswordHash(veltrano::text::toAnsi(s)); };
  EXPECT_EQ(h("abcdefghij"), 0xFEF1);
  EXPECT_EQ(h(""), 0);
  // Positions past 15 wrap around in the 15-bit rotation; the hash stays 16 bits with the top
  // bit from the constant.
  EXPECT_NE(h(std::string(16, 'a')), h(std::string(15, 'a')));
  EXPECT_EQ(h("a") & 0x8000, 0x8000);
}

}  // namespace
