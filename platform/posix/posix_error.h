// Turning errno into the platform's errors, for the posix backend.
#pragma once

#include <string>

#include "platform/posix/native_path.h"

namespace platform::posix {

// Raises the platform error that matches errno value code, naming path.
[[noreturn]] void RaiseErrno(int code, const std::string &path);

} // namespace platform::posix
