// Errors of the system: a signed 32-bit number and a text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace platform {

// The one error type. Raised where a failure happens, caught only where the
// design handles failures (Extract's error path, Main's handler, the clean-up
// procedures that ignore them).
class Error : public std::exception {
public:
  Error(int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  int32_t Number() const noexcept { return number_; }
  const std::string &Description() const noexcept { return description_; }
  const char *what() const noexcept override { return description_.c_str(); }

private:
  int32_t number_;
  std::string description_;
};

// Numbers of the platform's own errors; they keep the numbers of the runtime
// the product was first written for, so support staff recognise them.
namespace err {
constexpr int32_t kInvalidCall = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kSubscript = 9;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kBadFileNumber = 52;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kBadFileMode = 54;
constexpr int32_t kFileAlreadyOpen = 55;
constexpr int32_t kDeviceIo = 57;
constexpr int32_t kFileExists = 58;
constexpr int32_t kDiskFull = 61;
constexpr int32_t kPastEnd = 62;
constexpr int32_t kBadRecordNumber = 63;
constexpr int32_t kBadFileName = 64;
constexpr int32_t kTooManyFiles = 67;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kPathFileAccess = 75;
constexpr int32_t kPathNotFound = 76;
} // namespace err

// The text of a platform error number in effect (platform/messages.h; as
// shipped, Russian: "Файл не найден").
std::string StandardText(int32_t number);

// Raises Error(number, StandardText(number) + ": " + detail), or the bare
// standard text when detail is empty. Keep the path and the OS code in detail.
[[noreturn]] void Raise(int32_t number, std::string_view detail = {});
// The same for a detail held in a string or given as a literal: passed by
// its address, where a view is built on the caller's stack.
[[noreturn]] void Raise(int32_t number, const std::string &detail);
[[noreturn]] void Raise(int32_t number, const char *detail);

// Raises kOverflow for a file of 2 GiB or more, naming it and the limit:
// every position in a file is a 32-bit signed number.
[[noreturn]] void RaiseTooLarge(const std::string &path);

} // namespace platform
