// The error a call raises, for tests of calls that must fail.
#pragma once

#include <functional>
#include <string>

#include "platform/error.h"

namespace testsupport {

// The platform::Error that call raises; fails the test when it raises none
// and then returns an error numbered 0.
platform::Error Caught(const std::function<void()> &call);

// The text of the tools::ToolError that call raises; empty when it raises
// none.
std::string ToolErrorText(const std::function<void()> &call);

} // namespace testsupport
