// Turning errno into the platform's errors, for the posix backend.
#pragma once

#include <string>

#include "platform/posix/native_path.h"

namespace platform::posix {

// Raises the platform error that matches errno value code, naming path.
[[noreturn]] void RaiseErrno(int code, const std::string &path);

// True when the folder that holds the name a native path ends in is there
// (separators after the name or not): a name not found in it is a file
// Windows does not find, one below a folder that is not there a path it
// does not find.
bool ParentExists(const std::string &native);

} // namespace platform::posix
