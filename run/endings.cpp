// The run's endings.
#include "run/endings.h"

#include <cstdlib>

namespace mdl_main {

void EndRun(int exitCode, const std::string &text, platform::MsgIcon icon,
            void (*afterMessage)()) {
  if (!text.empty())
    platform::Ui().ShowMessage(text, icon, platform::MsgButtons::Ok);
  EndRun(exitCode, afterMessage);
}

void EndRun(int exitCode, void (*afterMessage)()) {
  if (afterMessage)
    afterMessage();
  platform::Ui().EndProgram(exitCode);
  std::abort(); // a backend that returned would break its contract
}

} // namespace mdl_main
