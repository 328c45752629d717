// Turning GetLastError() codes into the platform's errors, for the win32
// backend.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/windows_support.h"

namespace platform::win32 {

// The platform error number (platform/error.h) of a Win32 error code.
int32_t ErrorNumber(DWORD code);

// The system's description of a Win32 error code, in the user's language,
// without the trailing line break and full stop.
std::string SystemMessage(DWORD code);

// "detail (description, код N)": the text that follows a standard error text.
std::string Describe(DWORD code, const std::string &detail);

// Raises the platform error of code; the text keeps detail (the path), the
// system's description and the code itself.
[[noreturn]] void RaiseWin32(DWORD code, const std::string &detail);
// The same with ::GetLastError().
[[noreturn]] void RaiseLastError(const std::string &detail);

} // namespace platform::win32
