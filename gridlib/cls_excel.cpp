#include "lumagrid/cls_excel.h"

#include "common/xls_writer.h"

namespace lumagrid {

cls_Excel::cls_Excel() : writer_(std::make_unique<veltrano::common::XlsWriter>()) {}
cls_Excel::~cls_Excel() = default;

std::int16_t cls_Excel::CreateFile(std::string_view FileName) { return writer_->CreateFile(FileName); }
std::int16_t cls_Excel::CloseFile() { return writer_->CloseFile(); }

std::int16_t cls_Excel::WriteValue(ValueTypes ValueType, CellFont CellFontUsed, CellAlignment Alignment,
                                   CellHiddenLocked HiddenLocked, std::int32_t lrow, std::int32_t lcol,
                                   const veltrano::Variant& Value) {
  return writer_->WriteValue(ValueType, CellFontUsed, Alignment, HiddenLocked, lrow, lcol, Value);
}

std::int16_t cls_Excel::SetMargin(MarginTypes Margin, double MarginValue) {
  return writer_->SetMargin(Margin, MarginValue);
}

veltrano::Variant cls_Excel::SetColumnWidth(std::uint8_t FirstColumn, std::uint8_t LastColumn, std::int16_t WidthValue) {
  return writer_->SetColumnWidth(FirstColumn, LastColumn, WidthValue);
}

std::int16_t cls_Excel::SetFont(std::string_view FontName, std::int16_t FontHeight, FontFormatting FontFormat) {
  return writer_->SetFont(FontName, FontHeight, FontFormat);
}

std::int16_t cls_Excel::SetHeader(std::string_view HeaderText) { return writer_->SetHeader(HeaderText); }
std::int16_t cls_Excel::SetFooter(std::string_view FooterText) { return writer_->SetFooter(FooterText); }
std::int16_t cls_Excel::SetFilePassword(std::string_view PasswordText) { return writer_->SetFilePassword(PasswordText); }
void cls_Excel::PrintGridLines(bool value) { writer_->PrintGridLines(value); }
void cls_Excel::ProtectSpreadsheet(bool value) { writer_->ProtectSpreadsheet(value); }

}  // namespace lumagrid
