#include "common/xls_writer.h"

#include <array>
#include <cstring>

#include "platform/fs/fs.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"

namespace veltrano::common {
namespace {

constexpr const char* kSource = "cls_Excel";

[[noreturn]] void raise(int number) { throw RuntimeError(number, kSource); }

// One record assembled in place: id, body length (filled in by bytes()), body.
class Record {
 public:
  explicit Record(std::uint16_t id) {
    u16(id);
    u16(0);
  }
  void u8(std::uint8_t v) { data_[size_++] = v; }
  void u16(std::uint16_t v) {
    data_[size_++] = static_cast<std::uint8_t>(v & 0xFF);
    data_[size_++] = static_cast<std::uint8_t>(v >> 8);
  }
  void f64(double v) {
    static_assert(sizeof(double) == 8);
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) data_[size_++] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  void text(std::string_view bytes) {
    std::memcpy(data_.data() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }
  std::span<const std::uint8_t> bytes() {
    const auto body = static_cast<std::uint16_t>(size_ - 4);
    data_[2] = static_cast<std::uint8_t>(body & 0xFF);
    data_[3] = static_cast<std::uint8_t>(body >> 8);
    return {data_.data(), size_};
  }

 private:
  // The longest record: a text cell, 4 + 8 + 255 bytes. Only the bytes written are read, so
  // the array is left uninitialised (it is filled for every cell).
  std::array<std::uint8_t, 272> data_;
  std::size_t size_ = 0;
};

// Row or column from 1: the 16-bit value less one.
std::uint16_t cellIndex(std::int32_t v) {
  if (v < 1 || v > 32767) raise(err::kOverflow);
  return static_cast<std::uint16_t>(v - 1);
}

std::uint8_t attributeByte(std::int32_t v) {
  if (v < 0 || v > 255) raise(err::kOverflow);
  return static_cast<std::uint8_t>(v);
}

// Text of a counted field: CP949 bytes, at most 255 of them.
std::string countedBytes(std::string_view utf8) {
  std::string bytes = text::toAnsiString(utf8);
  if (bytes.size() > 255) raise(err::kOverflow);
  return bytes;
}

std::int16_t statusOf(const RuntimeError& e) { return static_cast<std::int16_t>(e.number()); }

}  // namespace

std::uint16_t sheetPasswordHash(std::span<const std::uint8_t> password) {
  if (password.empty()) return 0;
  std::uint16_t hash = 0;
  // Each byte, rotated left within 15 bits by its position (from 1), goes into the hash.
  for (std::size_t i = 0; i < password.size(); ++i) {
    const unsigned shift = static_cast<unsigned>((i + 1) % 15);
    std::uint32_t v = static_cast<std::uint32_t>(password[i]) << shift;
    v = (v & 0x7FFF) | (v >> 15);
    hash ^= static_cast<std::uint16_t>(v);
  }
  hash ^= static_cast<std::uint16_t>(password.size());
  hash ^= 0xCE4B;
  return hash;
}

XlsWriter::~XlsWriter() {
  if (!sink_) return;
  try {
    finish();
  } catch (const RuntimeError&) {
    // Release reports nothing.
  }
}

void XlsWriter::put(std::span<const std::uint8_t> record) {
  if (!sink_) raise(err::kBadFileNameOrNumber);
  sink_->write(record);
}

void XlsWriter::start() {
  Record bof(xls::kBof);
  bof.u16(2);       // version
  bof.u16(0x0010);  // worksheet
  put(bof.bytes());
  Record codePage(xls::kCodePage);
  codePage.u16(xls::kCodePage949);
  put(codePage.bytes());
}

void XlsWriter::finish() {
  Record eof(xls::kEof);
  put(eof.bytes());
  std::unique_ptr<ByteSink> sink = std::move(sink_);
  BufferedFileSink* file = file_;
  file_ = nullptr;
  if (file) file->close();
  else sink->flush();
}

std::int16_t XlsWriter::CreateFile(std::string_view fileName) {
  try {
    if (sink_) finish();
  } catch (const RuntimeError&) {
    // The old file is closed in any case; its error belonged to the old file.
  }
  try {
    if (fs::fileExists(fileName)) fs::deleteFile(fileName);
    auto file = std::make_unique<BufferedFileSink>(fileName);
    file_ = file.get();
    sink_ = std::move(file);
    start();
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::CreateOn(std::unique_ptr<ByteSink> sink) {
  try {
    if (sink_) finish();
  } catch (const RuntimeError&) {
  }
  try {
    sink_ = std::move(sink);
    file_ = nullptr;
    start();
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::CloseFile() {
  try {
    finish();
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::WriteValue(std::int32_t valueType, std::int32_t cellFont, std::int32_t alignment,
                                   std::int32_t hiddenLocked, std::int32_t lrow, std::int32_t lcol,
                                   const Variant& value) {
  try {
    if (valueType != xls::xlsInteger && valueType != xls::xlsNumber && valueType != xls::xlsText) return 0;
    const std::uint16_t row = cellIndex(lrow);
    const std::uint16_t col = cellIndex(lcol);
    const std::uint8_t attrs[3] = {attributeByte(hiddenLocked), attributeByte(cellFont), attributeByte(alignment)};
    auto cell = [&](std::uint16_t id) {
      Record r(id);
      r.u16(row);
      r.u16(col);
      r.u8(attrs[0]);
      r.u8(attrs[1]);
      r.u8(attrs[2]);
      return r;
    };
    if (valueType == xls::xlsInteger) {
      const std::int16_t v = value.toInt16();
      if (v >= 0) {
        Record r = cell(xls::kInteger);
        r.u16(static_cast<std::uint16_t>(v));
        put(r.bytes());
      } else {  // readers take the integer cell as unsigned
        Record r = cell(xls::kNumber);
        r.f64(v);
        put(r.bytes());
      }
    } else if (valueType == xls::xlsNumber) {
      const double v = value.toDouble();
      Record r = cell(xls::kNumber);
      r.f64(v);
      put(r.bytes());
    } else {
      const std::string bytes = text::toAnsiString(value.isString() ? value.str() : value.toString());
      if (bytes.size() > 255) raise(err::kOverflow);
      Record r = cell(xls::kText);
      r.u8(static_cast<std::uint8_t>(bytes.size()));
      r.text(bytes);
      put(r.bytes());
    }
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::SetMargin(std::int32_t margin, double marginValue) {
  try {
    if (margin < xls::xlsLeftMargin || margin > xls::xlsBottomMargin) raise(err::kInvalidProcedureCall);
    Record r(static_cast<std::uint16_t>(margin));
    r.f64(marginValue);
    put(r.bytes());
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

Variant XlsWriter::SetColumnWidth(std::uint8_t firstColumn, std::uint8_t lastColumn, std::int16_t widthValue) {
  try {
    if (firstColumn < 1 || lastColumn < 1) raise(err::kOverflow);
    if (widthValue < -128 || widthValue > 127) raise(err::kOverflow);
    Record r(xls::kColumnWidth);
    r.u8(static_cast<std::uint8_t>(firstColumn - 1));
    r.u8(static_cast<std::uint8_t>(lastColumn - 1));
    r.u16(static_cast<std::uint16_t>(widthValue * 256));
    put(r.bytes());
    return Variant(std::int16_t{0});
  } catch (const RuntimeError& e) {
    return Variant(static_cast<std::int32_t>(e.number()));
  }
}

std::int16_t XlsWriter::SetFont(std::string_view fontName, std::int16_t fontHeight, std::int32_t fontFormat) {
  try {
    const std::string name = countedBytes(fontName);
    const std::int32_t twips = std::int32_t{fontHeight} * 20;
    if (twips < -32768 || twips > 32767) raise(err::kOverflow);
    const std::uint8_t format = attributeByte(fontFormat);
    Record r(xls::kFont);
    r.u16(static_cast<std::uint16_t>(twips));
    r.u8(format);
    r.u8(0);
    r.u8(static_cast<std::uint8_t>(name.size()));
    r.text(name);
    put(r.bytes());
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::writeCounted(std::uint16_t id, std::string_view text) {
  try {
    const std::string bytes = countedBytes(text);
    Record r(id);
    r.u8(static_cast<std::uint8_t>(bytes.size()));
    r.text(bytes);
    put(r.bytes());
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

std::int16_t XlsWriter::SetHeader(std::string_view headerText) { return writeCounted(xls::kHeader, headerText); }
std::int16_t XlsWriter::SetFooter(std::string_view footerText) { return writeCounted(xls::kFooter, footerText); }

std::int16_t XlsWriter::SetFilePassword(std::string_view passwordText) {
  try {
    const text::Bytes bytes = text::toAnsi(passwordText);
    if (bytes.size() > 255) raise(err::kOverflow);
    Record r(xls::kPassword);
    r.u16(sheetPasswordHash(bytes));
    put(r.bytes());
    return 0;
  } catch (const RuntimeError& e) {
    return statusOf(e);
  }
}

void XlsWriter::writeFlag(std::uint16_t id, bool on) {
  try {
    Record r(id);
    r.u16(on ? 1 : 0);
    put(r.bytes());
  } catch (const RuntimeError&) {
    // These properties report nothing.
  }
}

void XlsWriter::PrintGridLines(bool on) { writeFlag(xls::kPrintGridLines, on); }
void XlsWriter::ProtectSpreadsheet(bool on) { writeFlag(xls::kProtect, on); }

}  // namespace veltrano::common
