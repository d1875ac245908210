#include "platform/runtime/variant.h"

#include <cmath>
#include <cstdio>

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano {

Variant Variant::decimal(double v) {
  Variant out(v);
  out.type_ = VarType::Decimal;
  return out;
}

bool Variant::isNumeric() const noexcept {
  switch (type_) {
    case VarType::Integer: case VarType::Long: case VarType::Single: case VarType::Double:
    case VarType::Currency: case VarType::Date: case VarType::Boolean: case VarType::Decimal:
    case VarType::Byte: case VarType::LongLong:
      return true;
    default:
      return false;
  }
}

std::string Variant::toString() const {
  switch (type_) {
    case VarType::Empty: return {};
    case VarType::Null: throw RuntimeError(err::kInvalidUseOfNull, "");
    case VarType::Boolean: return boolean() ? "True" : "False";
    case VarType::Integer: case VarType::Long: case VarType::Byte: case VarType::LongLong:
      return std::to_string(std::get<std::int64_t>(value_));
    case VarType::Single: return text::NumberToText(static_cast<double>(static_cast<float>(std::get<double>(value_))));
    case VarType::Double: case VarType::Decimal: return text::NumberToText(std::get<double>(value_));
    case VarType::Currency: return text::NumberToText(static_cast<double>(std::get<CurrencyValue>(value_).scaled) / 10000.0);
    case VarType::Date: {
      DateParts p = splitDate(std::get<DateValue>(value_));
      char buf[64];
      const int sec = static_cast<int>(std::lround(p.second));
      if (p.hour == 0 && p.minute == 0 && sec == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
      else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                      p.minute, sec);
      return buf;
    }
    case VarType::String: return str();
    case VarType::ByteArray: {
      const Bytes& b = bytes();
      return text::fromAnsi(std::span<const std::uint8_t>(b.data(), b.size()));
    }
  }
  return {};
}

double Variant::toDouble() const {
  switch (type_) {
    case VarType::Empty: return 0;
    case VarType::Null: throw RuntimeError(err::kInvalidUseOfNull, "");
    case VarType::Boolean: return boolean() ? -1 : 0;
    case VarType::Integer: case VarType::Long: case VarType::Byte: case VarType::LongLong:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case VarType::Single: case VarType::Double: case VarType::Decimal: return std::get<double>(value_);
    case VarType::Currency: return static_cast<double>(std::get<CurrencyValue>(value_).scaled) / 10000.0;
    case VarType::Date: return std::get<DateValue>(value_).serial;
    case VarType::String: return text::ParseNumber(str());
    case VarType::ByteArray: throw RuntimeError(err::kTypeMismatch, "");
  }
  return 0;
}

std::int16_t Variant::toInt16() const { return text::CInt(toDouble()); }
std::int32_t Variant::toInt32() const { return text::CLng(toDouble()); }

std::int64_t Variant::toInt64() const {
  if (type_ == VarType::LongLong || type_ == VarType::Long || type_ == VarType::Integer || type_ == VarType::Byte)
    return std::get<std::int64_t>(value_);
  double r = text::RoundHalfEven(toDouble());
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) throw RuntimeError(err::kOverflow, "");
  return static_cast<std::int64_t>(r);
}

bool Variant::toBool() const {
  if (type_ == VarType::Boolean) return boolean();
  if (type_ == VarType::String) {
    std::string u = text::UCase(text::Trim(str()));
    if (u == "TRUE") return true;
    if (u == "FALSE") return false;
  }
  return toDouble() != 0;
}

CurrencyValue Variant::toCurrency() const {
  if (type_ == VarType::Currency) return std::get<CurrencyValue>(value_);
  double v = toDouble() * 10000.0;
  double r = text::RoundHalfEven(v);
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) throw RuntimeError(err::kOverflow, "");
  return CurrencyValue{static_cast<std::int64_t>(r)};
}

DateValue Variant::toDate() const {
  if (type_ == VarType::Date) return std::get<DateValue>(value_);
  if (type_ == VarType::String) {
    int y, mo, d, h = 0, mi = 0;
    double s = 0;
    const std::string t = text::Trim(str());
    int n = std::sscanf(t.c_str(), "%d-%d-%d%*[ T]%d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
    if (n >= 3 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31) return makeDate(y, mo, d, h, mi, s);
    throw RuntimeError(err::kTypeMismatch, "");
  }
  return DateValue{toDouble()};
}

Bytes Variant::toBytes() const {
  if (type_ == VarType::ByteArray) return bytes();
  if (type_ == VarType::Empty) return {};
  return text::toAnsi(toString());
}

namespace {
// Days from 1970-01-01 for a civil date (Howard Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}
void civilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}
constexpr long long kEpochOffset = 25569;  // 1970-01-01 is serial 25569
}  // namespace

DateValue makeDate(int year, int month, int day, int hour, int minute, double second) {
  long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kEpochOffset;
  double frac = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Serials before 1899-12-30 carry the time as a positive fraction after a negative day.
  return DateValue{days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac};
}

DateParts splitDate(DateValue d) {
  double whole = std::trunc(d.serial);
  double frac = std::fabs(d.serial - whole);
  DateParts p{};
  civilFromDays(static_cast<long long>(whole) - kEpochOffset, p.year, p.month, p.day);
  double secs = std::round(frac * 86400.0 * 1000.0) / 1000.0;
  if (secs >= 86400.0) secs = 86399.999;
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>((secs - p.hour * 3600) / 60);
  p.second = secs - p.hour * 3600 - p.minute * 60;
  return p;
}

}  // namespace veltrano
