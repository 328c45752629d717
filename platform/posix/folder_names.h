// The names in one open folder, for the posix backend.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// Every entry of an open folder except "." and "..", in the order the OS
// gives them. The descriptor stays open and owned by the caller. Raises
// naming where when the folder cannot be read.
std::vector<std::string> ReadNames(int folder, const std::string &where);

} // namespace platform::posix
