// The window system of an unattended run.
#include "platform/silent_ui.h"

namespace platform {

SilentUi::SilentUi(UiBackend &ender) : ender_(ender) {}

MsgAnswer SilentUi::UnattendedAnswer(MsgButtons buttons) {
  switch (buttons) {
  case MsgButtons::YesNo:
    return MsgAnswer::Yes;
  case MsgButtons::RetryCancel:
    return MsgAnswer::Cancel;
  case MsgButtons::Ok:
    break;
  }
  return MsgAnswer::Ok;
}

MsgAnswer SilentUi::ShowMessage(const std::string &, MsgIcon,
                                MsgButtons buttons) {
  return UnattendedAnswer(buttons);
}

void SilentUi::CreateForm(const FormDesign &, FormEvents *) {}

void SilentUi::SetLabelText(int, const std::string &) {}

void SilentUi::SetTimerEnabled(bool) {}

// Nothing to handle: the yields pass at the cost of the countdown.
int32_t SilentUi::OnYield() { return 1 << 20; }

void SilentUi::EndProgram(int exitCode) {
  ender_.EndProgram(exitCode);
  // A call through the base does not carry its [[noreturn]] for the compiler.
  __builtin_unreachable();
}

} // namespace platform
