// The progress window's logic: layout, texts, timer and the abort question.
#include "ui/Setup.h"

#include <utility>

#include "platform/decimal.h"

namespace ui {

namespace {
std::unique_ptr<Setup> shared;
} // namespace

platform::FormDesign Setup::Design(const SetupTexts &texts) {
  platform::FormDesign design{};
  design.title = texts.title;
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
  status.text = texts.preparing;

  platform::LabelDesign &progress = design.labels[kProgressLine];
  progress.left = 960;
  progress.top = 480;
  progress.width = 4455;
  progress.height = 255;
  progress.font = platform::FontDesign{}; // the window's default font
  progress.text = {};

  design.timerMilliseconds = 10;
  return design;
}

void Setup::Load(SetupTexts texts, SetupHost &host) {
  texts_ = std::move(texts);
  host_ = &host;
  shownPercent_ = kNoPercent;
  progressLine_.clear();
  platform::Ui().CreateForm(Design(texts_), this);
  platform::Ui().SetTimerEnabled(false);
}

void Setup::Show() { platform::Ui().ShowForm(); }

std::string ProgressText(std::string_view prefix, int16_t Value) {
  std::string text(prefix);
  text += platform::Decimal(Value);
  text += '%';
  return text;
}

void Setup::ShowPercent(int16_t Value) {
  SetProgressLine(ProgressText(texts_.progress, Value), Value);
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
  SetStatus(on ? texts_.unpacking : texts_.installing);
  platform::Ui().SetTimerEnabled(on);
}

void Setup::opn_Timer() {
  const std::string &defFile = host_->EntryName();
  const std::string &name = checkedFile_.empty() ? defFile : checkedFile_;
  // A tick comes every 10 ms; an unchanged name is not set again, so the
  // line does not flicker.
  if (shownPercent_ == kNoPercent && name == progressLine_)
    return;
  SetProgressLine(name, kNoPercent);
}

void Setup::Form_Unload(int16_t &Cancel) {
  const platform::MsgAnswer answer = platform::Ui().ShowMessage(
      texts_.abort, platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
  if (answer != platform::MsgAnswer::Yes) {
    Cancel = 1;
    return;
  }
  host_->AbortConfirmed();
}

Setup &CreateSharedSetup() {
  shared = std::make_unique<Setup>();
  return *shared;
}

} // namespace ui
