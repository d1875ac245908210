#pragma once
// Run-time errors and the end of the program, as the system's code raises and handles them.

#include <stdexcept>
#include <string>

namespace veltrano {

// Numbers of the run-time errors the system raises and tests for.
namespace err {
inline constexpr int kReturnWithoutGoSub = 3;
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIOError = 57;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kBadFileName = 64;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccessError = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidUseOfNull = 94;
inline constexpr int kObjectRequired = 424;
inline constexpr int kObjectDoesNotSupport = 438;
inline constexpr int kAutomationError = 440;
// ADO: operation not allowed when the object is closed / either BOF or EOF is true.
inline constexpr int kAdoObjectClosed = 3704;
inline constexpr int kAdoBofOrEof = 3021;
inline constexpr int kAdoItemNotFound = 3265;
inline constexpr int kAdoInvalidArgument = 3001;
inline constexpr int kAdoOperationNotAllowed = 3219;
inline constexpr int kAdoObjectOpen = 3705;
}  // namespace err

// The standard description of a run-time error number ("Overflow", "Type mismatch", ...).
std::string describeError(int number);

// A run-time error: number, source and description, as the run-time carries them.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, std::string source, std::string description);
  // Raises `number` with its standard description.
  explicit RuntimeError(int number, std::string source = "");

  int number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int number_;
  std::string source_;
  std::string description_;
};

// The end of the program (VB's End). Thrown from deep inside the run, caught by main, which
// exits with `exitCode`; tests catch it and assert on it. Nothing else in the code calls exit.
class ProgramEnd {
 public:
  explicit ProgramEnd(int exitCode = 0) : exitCode_(exitCode) {}
  int exitCode() const noexcept { return exitCode_; }

 private:
  int exitCode_;
};

}  // namespace veltrano
