#pragma once
// ADO's enumerations as numbers (DataTypeEnum, FieldAttributeEnum, the cursor and lock
// settings, states) and the facts the recordset needs about each data type: its natural size,
// whether it is fixed-length or long, the Variant subtype a value of it reads as, and how a
// value assigned to a field of that type is converted.

#include <cstdint>
#include <string_view>

#include "platform/runtime/variant.h"

namespace veltrano::ado {

// DataTypeEnum.
enum DataTypeEnum : int {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adCurrency = 6,
  adDate = 7,
  adBSTR = 8,
  adError = 10,
  adBoolean = 11,
  adVariant = 12,
  adDecimal = 14,
  adTinyInt = 16,
  adUnsignedTinyInt = 17,
  adUnsignedSmallInt = 18,
  adUnsignedInt = 19,
  adBigInt = 20,
  adUnsignedBigInt = 21,
  adFileTime = 64,
  adGUID = 72,
  adBinary = 128,
  adChar = 129,
  adWChar = 130,
  adNumeric = 131,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adVarNumeric = 139,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adVarBinary = 204,
  adLongVarBinary = 205,
};

// FieldAttributeEnum (bits of Field.Attributes).
enum FieldAttributeEnum : int {
  adFldUnspecified = -1,
  adFldMayDefer = 0x2,
  adFldUpdatable = 0x4,
  adFldUnknownUpdatable = 0x8,
  adFldFixed = 0x10,
  adFldIsNullable = 0x20,
  adFldMayBeNull = 0x40,
  adFldLong = 0x80,
  adFldRowID = 0x100,
  adFldRowVersion = 0x200,
  adFldCacheDeferred = 0x1000,
  adFldKeyColumn = 0x8000,
};

enum CursorLocationEnum : int { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum : int {
  adOpenUnspecified = -1,
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3,
};
enum LockTypeEnum : int {
  adLockUnspecified = -1,
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4,
};
enum ObjectStateEnum : int { adStateClosed = 0, adStateOpen = 1 };
enum EditModeEnum : int { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };
// RecordStatusEnum, the values a record of this recordset can have.
enum RecordStatusEnum : int { adRecOK = 0, adRecNew = 1, adRecModified = 2, adRecDeleted = 4, adRecUnmodified = 8 };
// AbsolutePosition outside the rows.
enum PositionEnum : int { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
// PersistFormatEnum.
enum PersistFormatEnum : int { adPersistADTG = 0, adPersistXML = 1 };

// Whether ADO knows the type (a recordset holds only these).
bool isKnownType(int type);
// The size ADO gives a field of a fixed-size type when Fields.Append names none (adInteger 4,
// adDate 16, adNumeric 19, adBSTR 4294967295 ...); 0 for types whose size the caller gives.
std::int64_t naturalSize(DataTypeEnum type);
// Types whose values always have the same length (numbers, dates, adChar, adWChar, adBinary).
bool isFixedLengthType(DataTypeEnum type);
// Types ADO marks long (adFldLong): adBSTR and the adLongVar* types.
bool isLongType(DataTypeEnum type);
bool isTextType(DataTypeEnum type);    // adBSTR, adChar, adWChar, adVar(W)Char, adLongVar(W)Char
bool isAnsiTextType(DataTypeEnum type);  // adChar, adVarChar, adLongVarChar
bool isBinaryType(DataTypeEnum type);  // adBinary, adVarBinary, adLongVarBinary

// The attribute bits ADO gives a field made by Fields.Append with `requested` attributes
// (adFldUnspecified or a combination of bits): updatable, plus fixed or long by type.
int appendedAttributes(DataTypeEnum type, int requested);

// Converts a value assigned to a field of `type` to what the field stores, with the
// run-time's conversions: numbers to the field's number type (overflow raises 6, text that is
// not a number raises 13), dates to dates, anything to text for the text types, text to its
// CP949 bytes for the binary types. Null and Empty give Null. An adVariant field keeps the
// value as it is. Fixed-length text types are padded with blanks to `definedSize`
// characters.
Variant coerce(DataTypeEnum type, std::int64_t definedSize, const Variant& value);

// A short name for messages ("adVarChar").
std::string_view typeName(DataTypeEnum type);

}  // namespace veltrano::ado
