// The run-time errors of the program's language runtime, modelled as one exception type, and
// the signed 16-bit arithmetic its counters and indexes use.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

enum class ErrorKind {
  kInvalidArgument,  // invalid procedure call or argument
  kOverflow,         // a value left the range of its type
  kOutOfMemory,
  kSubscriptOutOfRange,  // an index outside an array, or an array never given an element
  kTypeMismatch,         // a text that cannot be converted to a number
  kFileNotFound,
  kPathFileAccess,      // a file or folder that cannot be made, written or removed
  kLibraryNotFound,     // a library file that cannot be loaded
  kEntryPointNotFound,  // a function missing from a loaded library
};

// Raised for every run-time error; Description() is the text the general error handler shows.
class RuntimeError : public std::exception {
 public:
  RuntimeError(ErrorKind kind, std::wstring detail = {});
  ErrorKind Kind() const { return kind_; }
  const std::wstring& Description() const { return description_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  ErrorKind kind_;
  std::wstring description_;
  std::string what_;
};

[[noreturn]] void Raise(ErrorKind kind, std::wstring detail = {});

// Ends the process with an exit status once the stack has unwound to the program's entry. It is
// not a RuntimeError, so no error handler on the way takes it for one.
struct ProcessEnd {
  int status;
};

// Signed 16-bit arithmetic with the runtime's overflow error.
int16_t ToInt16(int64_t value);

}  // namespace platform
