// Catching the error a call raises, for the tests.
#include "tests/support/caught.h"

#include <gtest/gtest.h>

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

} // namespace testsupport
