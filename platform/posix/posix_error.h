// Turning errno into the platform's errors, for the posix backend.
#pragma once

#include <string>

namespace platform::posix {

// The native form of a path: "\" becomes "/", and the dots and spaces that
// end a component are dropped, as Windows drops them.
std::string NativePath(const std::string &path);

// Raises the platform error that matches errno value code, naming path.
[[noreturn]] void RaiseErrno(int code, const std::string &path);

} // namespace platform::posix
