// The error a call raises, for tests of calls that must fail.
#pragma once

#include <functional>

#include "platform/error.h"

namespace testsupport {

// The platform::Error that call raises; fails the test when it raises none
// and then returns an error numbered 0.
platform::Error Caught(const std::function<void()> &call);

} // namespace testsupport
