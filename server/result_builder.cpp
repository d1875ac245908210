#include "server/result_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/text/ansi.h"

namespace veltrano::server {

namespace {

enum : unsigned { kInt = 1, kBigInt = 2, kReal = 4, kText = 8, kBlob = 16 };

std::size_t utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string numberText(const Variant& v) {
  if (v.type() == VarType::LongLong) return std::to_string(v.toInt64());
  char buf[40];
  const double d = v.toDouble();
  std::snprintf(buf, sizeof buf, "%.15g", d);
  if (std::strtod(buf, nullptr) != d) std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

}  // namespace

std::string wellFormedUtf8(std::string_view bytes) {
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c < 0x80) len = 1;
    else if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c == 0xE0) len = 3, lo = 0xA0;
    else if (c >= 0xE1 && c <= 0xEC) len = 3;
    else if (c == 0xED) len = 3, hi = 0x9F;
    else if (c >= 0xEE && c <= 0xEF) len = 3;
    else if (c == 0xF0) len = 4, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) len = 4;
    else if (c == 0xF4) len = 4, hi = 0x8F;
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      const unsigned char b = p[i + k];
      ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
    }
    if (ok) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

ResultBuilder::ResultBuilder(std::vector<Column> columns, const DatabaseCatalog::Limits& limits)
    : columns_(std::move(columns)), limits_(limits), seen_(columns_.size(), 0) {
  for (const Column& c : columns_) result_.columns.push_back({c.name, ColumnKind::Text, 1});
}

void ResultBuilder::beginRow() {
  if (result_.rows.size() >= limits_.maxRows)
    throw StatementError(StatementError::Kind::Statement, error_number::kTooBig,
                         "the result has more than " + std::to_string(limits_.maxRows) +
                             " rows (the server's row limit)");
  result_.rows.emplace_back();
  result_.rows.back().reserve(columns_.size());
}

void ResultBuilder::tooManyBytes() const {
  throw StatementError(StatementError::Kind::Statement, error_number::kTooBig,
                       "the result is larger than " + std::to_string(limits_.maxBytes) +
                           " bytes (the server's reply limit)");
}

void ResultBuilder::checkRoom(std::size_t size) const {
  if (size > limits_.maxBytes || bytes_ + size > limits_.maxBytes) tooManyBytes();
}

void ResultBuilder::count(std::size_t n) {
  bytes_ += n;
  if (bytes_ > limits_.maxBytes) tooManyBytes();
}

void ResultBuilder::addNull() {
  count(1);
  result_.rows.back().emplace_back(Null);
}

void ResultBuilder::addInteger(std::int64_t v) {
  seen_[column()] |= (v < INT32_MIN || v > INT32_MAX) ? kBigInt : kInt;
  count(8);
  result_.rows.back().emplace_back(v);
}

void ResultBuilder::addDouble(double v) {
  seen_[column()] |= kReal;
  count(8);
  result_.rows.back().emplace_back(v);
}

void ResultBuilder::addText(std::string_view bytes) {
  seen_[column()] |= kText;
  count(bytes.size());
  result_.rows.back().emplace_back(wellFormedUtf8(bytes));
}

void ResultBuilder::addBlob(const std::uint8_t* data, std::size_t size) {
  seen_[column()] |= kBlob;
  count(size);
  result_.rows.back().emplace_back(data ? Bytes(data, data + size) : Bytes());
}

ResultSet ResultBuilder::finish() && {
  ResultSet& rs = result_;
  for (std::size_t col = 0; col < rs.columns.size(); ++col) {
    ResultColumn& c = rs.columns[col];
    const unsigned s = seen_[col];
    if (s == 0) c.kind = columns_[col].declaredKind;
    else if (s & kBlob) c.kind = ColumnKind::Blob;
    else if (s & kText) c.kind = ColumnKind::Text;
    else if (s & kReal) c.kind = ColumnKind::Double;
    else if (s & kBigInt) c.kind = ColumnKind::BigInt;
    else c.kind = ColumnKind::Integer;

    std::size_t longest = 0;
    for (auto& row : rs.rows) {
      Variant& v = row[col];
      if (v.isNull()) continue;
      if (c.kind == ColumnKind::Text && !v.isString()) {
        const Variant asText(numberText(v));
        v = asText;
      } else if (c.kind == ColumnKind::Double) {
        const Variant asDouble(v.toDouble());
        v = asDouble;
      } else if (c.kind == ColumnKind::Blob && !v.isBytes()) {
        const std::string t = v.isString() ? v.str() : numberText(v);
        const Variant asBytes(Bytes(t.begin(), t.end()));
        v = asBytes;
      }
      if (v.isString()) longest = std::max(longest, utf8Length(v.str()));
      if (v.isBytes()) longest = std::max(longest, v.bytes().size());
    }
    if (c.kind == ColumnKind::Text) longest = std::max(longest, columns_[col].declaredSize);
    c.definedSize = std::max<std::size_t>(longest, 1);
  }
  return std::move(rs);
}

ResultSet ResultBuilder::rowsAffected(std::int64_t count) {
  ResultSet rs;
  rs.columns.push_back({"RowsAffected", ColumnKind::BigInt, 8});
  rs.rows.push_back({Variant(count)});
  return rs;
}

}  // namespace veltrano::server
