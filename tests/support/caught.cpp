// Catching the error a call raises, for the tests.
#include "tests/support/caught.h"

#include <gtest/gtest.h>

#include "tools/cli.h"

namespace testsupport {

platform::Error Caught(const std::function<void()> &call) {
  try {
    call();
  } catch (const platform::Error &e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return platform::Error(0, "");
}

std::string ToolErrorText(const std::function<void()> &call) {
  try {
    call();
  } catch (const tools::ToolError &e) {
    return e.what();
  }
  return {};
}

} // namespace testsupport
