#pragma once
// The VB Variant: a value that can be Empty, Null, a Boolean, a number, a date, text or bytes,
// with the run-time's conversions (CStr, CDbl, CInt, CLng, CBool) and their errors.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrano {

using Bytes = std::vector<std::uint8_t>;

// VarType numbers of the run-time.
enum class VarType : int {
  Empty = 0,
  Null = 1,
  Integer = 2,   // 16-bit
  Long = 3,      // 32-bit
  Single = 4,
  Double = 5,
  Currency = 6,  // 64-bit scaled by 10,000
  Date = 7,
  String = 8,
  Boolean = 11,
  Decimal = 14,
  Byte = 17,
  LongLong = 20,
  ByteArray = 8209,  // vbArray + vbByte
};

struct NullValue {
  bool operator==(const NullValue&) const = default;
};
inline constexpr NullValue Null{};

// A date as the run-time keeps it: days since 30 December 1899, the time as the fraction.
struct DateValue {
  double serial = 0;
  bool operator==(const DateValue&) const = default;
};

// Currency: a 64-bit integer counting ten-thousandths.
struct CurrencyValue {
  std::int64_t scaled = 0;
  bool operator==(const CurrencyValue&) const = default;
};

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(NullValue) : type_(VarType::Null), value_(NullValue{}) {}
  Variant(bool b) : type_(VarType::Boolean), value_(b) {}
  Variant(std::int16_t v) : type_(VarType::Integer), value_(std::int64_t{v}) {}
  Variant(std::int32_t v) : type_(VarType::Long), value_(std::int64_t{v}) {}
  Variant(std::int64_t v) : type_(VarType::LongLong), value_(v) {}
  Variant(std::uint8_t v) : type_(VarType::Byte), value_(std::int64_t{v}) {}
  Variant(float v) : type_(VarType::Single), value_(double{v}) {}
  Variant(double v) : type_(VarType::Double), value_(v) {}
  Variant(CurrencyValue c) : type_(VarType::Currency), value_(c) {}
  Variant(DateValue d) : type_(VarType::Date), value_(d) {}
  Variant(std::string s) : type_(VarType::String), value_(std::move(s)) {}
  Variant(std::string_view s) : Variant(std::string(s)) {}
  Variant(const char* s) : Variant(std::string(s)) {}
  Variant(Bytes b) : type_(VarType::ByteArray), value_(std::move(b)) {}

  // A decimal number (ADO's numeric and decimal types) kept as a double with its own tag.
  static Variant decimal(double v);

  VarType type() const noexcept { return type_; }
  bool isEmpty() const noexcept { return type_ == VarType::Empty; }
  bool isNull() const noexcept { return type_ == VarType::Null; }
  bool isString() const noexcept { return type_ == VarType::String; }
  bool isBytes() const noexcept { return type_ == VarType::ByteArray; }
  bool isNumeric() const noexcept;  // a number type, Boolean or Date

  // Direct access; the caller has checked the type.
  const std::string& str() const { return std::get<std::string>(value_); }
  const Bytes& bytes() const { return std::get<Bytes>(value_); }
  bool boolean() const { return std::get<bool>(value_); }

  // Conversions with the run-time's rules. Null raises 94 (invalid use of Null), text that is
  // not numeric raises 13 (type mismatch), a value out of range raises 6 (overflow).
  std::string toString() const;       // CStr; Empty gives ""
  double toDouble() const;            // CDbl; Empty gives 0
  std::int16_t toInt16() const;       // CInt, half to even
  std::int32_t toInt32() const;       // CLng, half to even
  std::int64_t toInt64() const;
  bool toBool() const;                // CBool
  CurrencyValue toCurrency() const;   // CCur
  DateValue toDate() const;           // CDate (from numbers and ISO-style text)
  Bytes toBytes() const;              // byte arrays as they are; text as its CP949 bytes

  // Text concatenation in VB: Null becomes "" (as the "&" operator treats it).
  std::string toText() const { return isNull() ? std::string() : toString(); }

  bool operator==(const Variant& other) const = default;

 private:
  VarType type_ = VarType::Empty;
  std::variant<std::monostate, NullValue, bool, std::int64_t, double, CurrencyValue, DateValue,
               std::string, Bytes>
      value_;
};

// Date helpers: serial numbers to and from calendar parts (proleptic Gregorian).
DateValue makeDate(int year, int month, int day, int hour = 0, int minute = 0, double second = 0);
struct DateParts {
  int year, month, day, hour, minute;
  double second;
};
DateParts splitDate(DateValue d);

}  // namespace veltrano
