// Forced into googletest and the win32 tests (-include): the cross
// compiler's win32 thread model (GCC 12, the one the program image is built
// with) has std::mutex but no std::condition_variable, on which googletest
// builds its Notification. This one spins on an atomic flag instead;
// googletest uses it only to start the helper threads of its own tests.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
  Notification() = default;
  Notification(const Notification &) = delete;
  Notification &operator=(const Notification &) = delete;

  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

private:
  std::atomic<bool> notified_{false};
};

} // namespace testing::internal
