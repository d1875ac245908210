#include "platform/runtime/error.h"

namespace veltrano {

std::string describeError(int number) {
  switch (number) {
    case err::kReturnWithoutGoSub: return "Return without GoSub";
    case err::kInvalidProcedureCall: return "Invalid procedure call or argument";
    case err::kOverflow: return "Overflow";
    case err::kOutOfMemory: return "Out of memory";
    case err::kSubscriptOutOfRange: return "Subscript out of range";
    case err::kDivisionByZero: return "Division by zero";
    case err::kTypeMismatch: return "Type mismatch";
    case err::kBadFileNameOrNumber: return "Bad file name or number";
    case err::kFileNotFound: return "File not found";
    case err::kBadFileMode: return "Bad file mode";
    case err::kFileAlreadyOpen: return "File already open";
    case err::kDeviceIOError: return "Device I/O error";
    case err::kFileAlreadyExists: return "File already exists";
    case err::kDiskFull: return "Disk full";
    case err::kBadFileName: return "Bad file name";
    case err::kPermissionDenied: return "Permission denied";
    case err::kPathFileAccessError: return "Path/File access error";
    case err::kPathNotFound: return "Path not found";
    case err::kObjectNotSet: return "Object variable or With block variable not set";
    case err::kInvalidUseOfNull: return "Invalid use of Null";
    case err::kObjectRequired: return "Object required";
    case err::kObjectDoesNotSupport: return "Object doesn't support this property or method";
    case err::kAutomationError: return "Automation error";
    case err::kAdoObjectClosed: return "Operation is not allowed when the object is closed.";
    case err::kAdoBofOrEof:
      return "Either BOF or EOF is True, or the current record has been deleted. "
             "Requested operation requires a current record.";
    case err::kAdoItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case err::kAdoInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case err::kAdoOperationNotAllowed: return "Operation is not allowed in this context.";
    case err::kAdoObjectOpen: return "Operation is not allowed when the object is open.";
    default: return "Application-defined or object-defined error";
  }
}

RuntimeError::RuntimeError(int number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

RuntimeError::RuntimeError(int number, std::string source)
    : RuntimeError(number, std::move(source), describeError(number)) {}

}  // namespace veltrano
