#include "platform/ado/data_type.h"

#include <cfloat>
#include <cmath>

#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"

namespace veltrano::ado {

bool isKnownType(int type) {
  switch (type) {
    case adSmallInt: case adInteger: case adSingle: case adDouble: case adCurrency: case adDate:
    case adBSTR: case adBoolean: case adVariant: case adDecimal: case adTinyInt:
    case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adBigInt:
    case adUnsignedBigInt: case adFileTime: case adGUID: case adBinary: case adChar: case adWChar:
    case adNumeric: case adDBDate: case adDBTime: case adDBTimeStamp: case adVarNumeric:
    case adVarChar: case adLongVarChar: case adVarWChar: case adLongVarWChar: case adVarBinary:
    case adLongVarBinary:
      return true;
    default:
      return false;
  }
}

std::int64_t naturalSize(DataTypeEnum type) {
  switch (type) {
    case adTinyInt: case adUnsignedTinyInt: return 1;
    case adSmallInt: case adUnsignedSmallInt: case adBoolean: return 2;
    case adInteger: case adUnsignedInt: case adSingle: return 4;
    case adDouble: case adCurrency: case adBigInt: case adUnsignedBigInt: return 8;
    case adDate: case adDecimal: case adFileTime: case adGUID: case adDBTimeStamp: return 16;
    case adDBDate: case adDBTime: return 6;
    case adNumeric: return 19;
    case adVarNumeric: return 38;
    case adBSTR: return 4294967295LL;
    default: return 0;
  }
}

bool isFixedLengthType(DataTypeEnum type) {
  switch (type) {
    case adVariant: case adBSTR: case adVarChar: case adLongVarChar: case adVarWChar:
    case adLongVarWChar: case adVarBinary: case adLongVarBinary: case adVarNumeric:
      return false;
    default:
      return isKnownType(type);
  }
}

bool isLongType(DataTypeEnum type) {
  return type == adBSTR || type == adLongVarChar || type == adLongVarWChar || type == adLongVarBinary;
}

bool isTextType(DataTypeEnum type) {
  switch (type) {
    case adBSTR: case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar:
    case adLongVarWChar:
      return true;
    default:
      return false;
  }
}

bool isAnsiTextType(DataTypeEnum type) {
  return type == adChar || type == adVarChar || type == adLongVarChar;
}

bool isBinaryType(DataTypeEnum type) {
  return type == adBinary || type == adVarBinary || type == adLongVarBinary;
}

int appendedAttributes(DataTypeEnum type, int requested) {
  int attributes = requested == adFldUnspecified ? 0 : requested;
  attributes |= adFldUpdatable;
  if (isFixedLengthType(type)) attributes |= adFldFixed;
  if (isLongType(type)) attributes |= adFldLong;
  return attributes;
}

namespace {

Variant integral(const Variant& v, std::int64_t low, std::int64_t high) {
  const std::int64_t n = v.toInt64();
  if (n < low || n > high) throw RuntimeError(err::kOverflow, "ADODB.Field");
  return Variant(n);
}

std::string padded(std::string s, std::int64_t width) {
  const auto length = static_cast<std::int64_t>(text::Len(s));
  if (width > 0 && width < 1 << 20 && length < width) s.append(static_cast<std::size_t>(width - length), ' ');
  return s;
}

}  // namespace

Variant coerce(DataTypeEnum type, std::int64_t definedSize, const Variant& value) {
  if (value.isNull() || value.isEmpty()) return Variant(Null);
  switch (type) {
    case adTinyInt: return Variant(static_cast<std::int16_t>(integral(value, -128, 127).toInt64()));
    case adSmallInt: return Variant(static_cast<std::int16_t>(integral(value, INT16_MIN, INT16_MAX).toInt64()));
    case adUnsignedTinyInt: return Variant(static_cast<std::uint8_t>(integral(value, 0, 255).toInt64()));
    case adInteger: return Variant(static_cast<std::int32_t>(integral(value, INT32_MIN, INT32_MAX).toInt64()));
    case adUnsignedSmallInt: return Variant(static_cast<std::int32_t>(integral(value, 0, 65535).toInt64()));
    case adUnsignedInt: return integral(value, 0, 4294967295LL);
    case adBigInt: return Variant(value.toInt64());
    case adUnsignedBigInt: return integral(value, 0, INT64_MAX);
    case adSingle: {
      const double d = value.toDouble();
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) throw RuntimeError(err::kOverflow, "ADODB.Field");
      return Variant(static_cast<float>(d));
    }
    case adDouble: return Variant(value.toDouble());
    case adCurrency: return Variant(value.toCurrency());
    case adDecimal: case adNumeric: case adVarNumeric: return Variant::decimal(value.toDouble());
    case adDate: case adDBTimeStamp: case adFileTime: return Variant(value.toDate());
    case adDBDate: return Variant(DateValue{std::trunc(value.toDate().serial)});
    case adDBTime: {
      const double s = value.toDate().serial;
      return Variant(DateValue{std::fabs(s - std::trunc(s))});
    }
    case adBoolean: return Variant(value.toBool());
    case adChar: case adWChar: return Variant(padded(value.toString(), definedSize));
    case adBSTR: case adVarChar: case adLongVarChar: case adVarWChar: case adLongVarWChar: case adGUID:
      return value.isString() ? value : Variant(value.toString());
    case adBinary: case adVarBinary: case adLongVarBinary:
      return value.isBytes() ? value : Variant(value.toBytes());
    default:
      return value;
  }
}

std::string_view typeName(DataTypeEnum type) {
  switch (type) {
    case adEmpty: return "adEmpty";
    case adSmallInt: return "adSmallInt";
    case adInteger: return "adInteger";
    case adSingle: return "adSingle";
    case adDouble: return "adDouble";
    case adCurrency: return "adCurrency";
    case adDate: return "adDate";
    case adBSTR: return "adBSTR";
    case adError: return "adError";
    case adBoolean: return "adBoolean";
    case adVariant: return "adVariant";
    case adDecimal: return "adDecimal";
    case adTinyInt: return "adTinyInt";
    case adUnsignedTinyInt: return "adUnsignedTinyInt";
    case adUnsignedSmallInt: return "adUnsignedSmallInt";
    case adUnsignedInt: return "adUnsignedInt";
    case adBigInt: return "adBigInt";
    case adUnsignedBigInt: return "adUnsignedBigInt";
    case adFileTime: return "adFileTime";
    case adGUID: return "adGUID";
    case adBinary: return "adBinary";
    case adChar: return "adChar";
    case adWChar: return "adWChar";
    case adNumeric: return "adNumeric";
    case adDBDate: return "adDBDate";
    case adDBTime: return "adDBTime";
    case adDBTimeStamp: return "adDBTimeStamp";
    case adVarNumeric: return "adVarNumeric";
    case adVarChar: return "adVarChar";
    case adLongVarChar: return "adLongVarChar";
    case adVarWChar: return "adVarWChar";
    case adLongVarWChar: return "adLongVarWChar";
    case adVarBinary: return "adVarBinary";
    case adLongVarBinary: return "adLongVarBinary";
  }
  return "unknown type";
}

}  // namespace veltrano::ado
