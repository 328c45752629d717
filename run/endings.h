// The one way the run ends: a message (or none), then the end of the
// program with its exit code (platform::exitcode), so that whatever must
// see every ending (a log) hooks in here.
#pragma once

#include <string>

#include "platform/ui.h"

namespace mdl_main {

// Calls afterMessage (work that need not keep the window waiting, such as
// removing the temporary folder) and ends the program through the UI
// backend with exitCode.
[[noreturn]] void EndRun(int exitCode, void (*afterMessage)() = nullptr);
// The same after text in a box with icon and an OK button, unless text is
// empty.
[[noreturn]] void EndRun(int exitCode, const std::string &text,
                         platform::MsgIcon icon = platform::MsgIcon::Error,
                         void (*afterMessage)() = nullptr);

} // namespace mdl_main
