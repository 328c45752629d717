// The window system of an unattended run: nothing is shown, every question
// gets the answer an unattended run must give, and the program ends through
// the backend it stands in front of.
#pragma once

#include "platform/ui.h"

namespace platform {

class SilentUi final : public UiBackend {
public:
  // ender: the backend that ends the program (closes files, exits).
  // Out of line, so that the table of virtual functions is used in its own
  // file: the linker's plugin warns of one that no code there refers to.
  explicit SilentUi(UiBackend &ender);

  // Yes to a Yes/No question (the confirmation: the caller asked for the
  // update), Cancel to a Retry/Cancel box (nobody can close the program that
  // holds a file), OK to a message.
  static MsgAnswer UnattendedAnswer(MsgButtons buttons);

  MsgAnswer ShowMessage(const std::string &text, MsgIcon icon,
                        MsgButtons buttons) override;
  // The form is never made: without it no timer ticks and no close request
  // comes, so the abort question never arises.
  void CreateForm(const FormDesign &design, FormEvents *events) override;
  void ShowForm() override {}
  void SetLabelText(int index, const std::string &text) override;
  void SetTimerEnabled(bool on) override;
  int32_t OnYield() override;
  [[noreturn]] void EndProgram(int exitCode) override;

private:
  UiBackend &ender_;
};

} // namespace platform
