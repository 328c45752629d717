// The progress window's logic: layout, texts, timer and the abort question.
#include "ui/Setup.h"

#include "platform/files.h"
#include "run/mdl_main.h"
#include "run/texts.h"

namespace ui {

namespace {
std::unique_ptr<Setup> shared;
} // namespace

platform::FormDesign Setup::Design() {
  platform::FormDesign design{};
  design.title = mdl_main::CurrentText(mdl_main::Text::Title);
  design.clientWidth = 5535;
  design.clientHeight = 1020;
  design.pictureLeft = 240;
  design.pictureTop = 240;
  design.pictureWidth = 480;
  design.pictureHeight = 480;

  platform::LabelDesign &status = design.labels[kStatusLine];
  status.left = 960;
  status.top = 240;
  status.width = 4455;
  status.height = 255;
  status.font.name = "MS Sans Serif";
  status.font.points = 9.75;
  status.font.weight = 700;
  status.font.cyrillic = true;
  status.text = mdl_main::CurrentText(mdl_main::Text::Preparing);

  platform::LabelDesign &progress = design.labels[kProgressLine];
  progress.left = 960;
  progress.top = 480;
  progress.width = 4455;
  progress.height = 255;
  progress.font = platform::FontDesign{}; // the window's default font
  progress.text.clear();

  design.timerMilliseconds = 10;
  return design;
}

void Setup::Load() {
  shownPercent_ = kNoPercent;
  progressLine_.clear();
  platform::Ui().CreateForm(Design(), this);
  platform::Ui().SetTimerEnabled(false);
}

void Setup::Show() { platform::Ui().ShowForm(); }

std::string ProgressText(int16_t Value) {
  return mdl_main::CurrentText(mdl_main::Text::Progress) +
         std::to_string(Value) + "%";
}

void Setup::ShowPercent(int16_t Value) {
  SetProgressLine(ProgressText(Value), Value);
}

void Setup::SetProgressLine(const std::string &text, int32_t percent) {
  platform::Ui().SetLabelText(kProgressLine, text);
  progressLine_ = text;
  shownPercent_ = percent;
}

void Setup::SetStatus(const std::string &Value) {
  platform::Ui().SetLabelText(kStatusLine, Value);
}

void Setup::SetStatusHandle(platform::Boolean Value) {
  const bool on = Value != 0;
  SetStatus(on ? mdl_main::CurrentText(mdl_main::Text::Unpacking)
               : mdl_main::CurrentText(mdl_main::Text::Installing));
  platform::Ui().SetTimerEnabled(on);
}

void Setup::opn_Timer() {
  const std::string &defFile = mdl_main::Arch().DefFile();
  const std::string &name = checkedFile_.empty() ? defFile : checkedFile_;
  // A tick comes every 10 ms; an unchanged name is not set again, so the
  // line does not flicker.
  if (shownPercent_ == kNoPercent && name == progressLine_)
    return;
  SetProgressLine(name, kNoPercent);
}

void Setup::Form_Unload(int16_t &Cancel) {
  const platform::MsgAnswer answer = platform::Ui().ShowMessage(
      mdl_main::CurrentText(mdl_main::Text::Abort), platform::MsgIcon::Warning,
      platform::MsgButtons::YesNo);
  if (answer != platform::MsgAnswer::Yes) {
    Cancel = 1;
    return;
  }
  // Files still open (the executable and the pack file during the copy, the
  // archive and an entry during the unpacking) are closed first: Windows
  // does not delete a file that is open.
  platform::files::CloseAllQuietly();
  mdl_main::RemoveTempFolder();
  mdl_main::RemovePackFile();
  platform::Ui().EndProgram(platform::exitcode::kAborted);
}

Setup &CreateSharedSetup() {
  shared = std::make_unique<Setup>();
  return *shared;
}

} // namespace ui
