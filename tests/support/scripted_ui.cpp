// The scripted UI backend of the tests.
#include "tests/support/scripted_ui.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace testsupport {

ScriptedUi::ScriptedUi() { platform::SetUi(this); }

ScriptedUi::~ScriptedUi() {
  platform::files::CloseAllQuietly();
  platform::SetUi(nullptr);
}

void ScriptedUi::AtYield(int64_t n, std::function<void()> action) {
  actions_.emplace(n, std::move(action));
}

void ScriptedUi::CloseAtYield(int64_t n) {
  AtYield(n, [this] { RequestClose(); });
}

void ScriptedUi::TickAtYield(int64_t n) {
  AtYield(n, [this] {
    if (timerOn && events_ && !formDestroyed) {
      ++ticksDelivered;
      events_->OnTimer();
    }
  });
}

std::vector<std::string> ScriptedUi::LabelTexts(int index) const {
  std::vector<std::string> texts;
  for (const LabelRecord &r : labelHistory)
    if (r.index == index && (texts.empty() || texts.back() != r.text))
      texts.push_back(r.text);
  return texts;
}

platform::MsgAnswer ScriptedUi::ShowMessage(const std::string &text,
                                            platform::MsgIcon icon,
                                            platform::MsgButtons buttons) {
  messages.push_back({text, icon, buttons, platform::ProgramTitle(), yields});
  if (onMessage)
    onMessage(text);
  if (buttons == platform::MsgButtons::Ok)
    return platform::MsgAnswer::Ok;
  if (answers_.empty()) {
    ADD_FAILURE() << "no answer queued for the question: " << text;
    return platform::NothingChanges(buttons);
  }
  const platform::MsgAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void ScriptedUi::CreateForm(const platform::FormDesign &theDesign,
                            platform::FormEvents *events) {
  formCreated = true;
  formDestroyed = false; // a new form, after an earlier program's
  design = theDesign;
  events_ = events;
  label[0] = theDesign.labels[0].text;
  label[1] = theDesign.labels[1].text;
}

void ScriptedUi::ShowForm() { formShown = true; }

void ScriptedUi::SetLabelText(int index, const std::string &text) {
  label[index] = text;
  labelHistory.push_back({index, text});
}

void ScriptedUi::SetTimerEnabled(bool on) { timerOn = on; }

int32_t ScriptedUi::OnYield() {
  ++yields;
  if (tickEveryYield_ && timerOn && events_ && !formDestroyed) {
    ++ticksDelivered;
    events_->OnTimer();
  }
  const auto range = actions_.equal_range(yields);
  std::vector<std::function<void()>> due;
  for (auto it = range.first; it != range.second; ++it)
    due.push_back(it->second);
  actions_.erase(range.first, range.second);
  for (auto &action : due)
    action();
  if (onEveryYield)
    onEveryYield();
  return yieldInterval;
}

void ScriptedUi::RequestClose() {
  if (!events_ || formDestroyed)
    return;
  int16_t cancel = 0;
  events_->OnCloseRequest(cancel);
  closeResults.push_back(cancel);
}

void ScriptedUi::EndProgram(int exitCode) {
  platform::files::CloseAllQuietly();
  formDestroyed = true;
  timerOn = false;
  endedWith = exitCode;
  throw platform::ProgramEnded{exitCode};
}

int RunProgram(const std::function<void()> &body) {
  try {
    body();
  } catch (const platform::ProgramEnded &ended) {
    return ended.exitCode;
  }
  ADD_FAILURE() << "the program returned instead of ending";
  return -1;
}

} // namespace testsupport
