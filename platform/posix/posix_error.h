// Turning errno into the platform's errors, for the posix backend.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/native_path.h"

namespace platform::posix {

// The codes of the system errors that Windows gives where the install
// fails, for the texts it shows after a path.
enum class WinError : uint16_t {
  FileNotFound = 2,
  PathNotFound = 3,
  TooManyFiles = 4,
  AccessDenied = 5,
  NotSameDevice = 17,
  SharingViolation = 32,
  FileExists = 80,
  InvalidParameter = 87,
  DiskFull = 112,
  InvalidName = 123,
  DirNotEmpty = 145,
  AlreadyExists = 183,
  NameTooLong = 206,
  FileTooLarge = 223,
  Directory = 267, // a file where a folder is wanted
  IoDevice = 1117,
};

// From here on, failures are worded as the Windows program words them,
// with the system's text and code after the path ("(Путь не найден, код
// 3)"): `updpack run` stands in for it. Before, and for the tool's own
// failures, the text after a path is strerror's.
void WordErrorsAsWindows();

// Raises the platform error of Windows' code, naming path: with the
// system's text once errors are worded as Windows, else with natively
// after it (what the posix call's failure says, or nothing).
[[noreturn]] void RaiseAs(WinError code, const std::string &path,
                          std::string_view natively = {});

// Raises the platform error that matches errno value code, naming path.
[[noreturn]] void RaiseErrno(int code, const std::string &path);

// True when the folder that holds the name a native path ends in is there
// (separators after the name or not): a name not found in it is a file
// Windows does not find, one below a folder that is not there a path it
// does not find.
bool ParentExists(const std::string &native);

} // namespace platform::posix
