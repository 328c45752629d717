// The installed UI backend and the slow half of the yield.
#include "platform/ui.h"

#include <cstdlib>

namespace platform {

namespace {
UiBackend *installed = nullptr;

std::string &Title() {
  static std::string title = kProgramTitle;
  return title;
}
} // namespace

const std::string &ProgramTitle() { return Title(); }
void SetProgramTitle(const std::string &title) { Title() = title; }

UiBackend &Ui() {
  if (!installed)
    std::abort(); // a program must install its backend before the run
  return *installed;
}

void SetUi(UiBackend *backend) {
  installed = backend;
  detail::yieldCountdown = 1;
}

void YieldFor(int64_t count) {
  const int32_t quiet = QuietYields();
  if (quiet >= count) {
    SkipQuietYields(static_cast<int32_t>(count));
    return;
  }
  SkipQuietYields(quiet);
  Yield();
}

namespace detail {

int32_t yieldCountdown = 1;

void YieldSlow() {
  if (!installed) {
    yieldCountdown = 1 << 20;
    return;
  }
  // Set first: a handler that runs inside OnYield may yield again.
  yieldCountdown = 1;
  const int32_t next = installed->OnYield();
  yieldCountdown = next < 1 ? 1 : next;
}

} // namespace detail
} // namespace platform
