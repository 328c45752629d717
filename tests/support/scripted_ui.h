// A UI backend for tests: message-box answers, close requests, timer ticks
// and arbitrary actions fired at chosen yields, and a record of everything
// the program showed. Ending the program throws platform::ProgramEnded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace testsupport {

struct MessageRecord {
  std::string text;
  platform::MsgIcon icon;
  platform::MsgButtons buttons;
  std::string title;
  int64_t atYield; // yields counted when it was shown
};

struct LabelRecord {
  int index;
  std::string text;
};

// Installs itself as the UI backend for its lifetime; closes every file of
// the numbered-file table when it goes.
class ScriptedUi : public platform::UiBackend {
public:
  ScriptedUi();
  virtual ~ScriptedUi(); // the tests derive their own

  // Answers for Yes/No and Retry/Cancel boxes, used in order. An OK box needs
  // none. A question with no answer queued fails the test and answers No.
  void QueueAnswer(platform::MsgAnswer answer) { answers_.push_back(answer); }

  // Runs action inside the n-th yield (1-based); several may share a yield.
  void AtYield(int64_t n, std::function<void()> action);
  // The user asks the form to close inside the n-th yield.
  void CloseAtYield(int64_t n);
  // A timer tick inside the n-th yield (delivered only while the timer is on).
  void TickAtYield(int64_t n);
  // A timer tick inside every yield while the timer is on.
  void TickEveryYield(bool on) { tickEveryYield_ = on; }
  // Yields that pass between two that reach this backend, as a production
  // backend gates its pumps; 1 (the default) lets every yield through, so
  // `yields` counts them all.
  int32_t yieldInterval = 1;
  // For tests that move megabytes or fail every system call and look at no
  // yield: one yield in 64 KiB reaches the backend, not one per byte.
  static constexpr int32_t kFewYields = 1 << 16;
  // Called inside every yield that reaches this backend.
  std::function<void()> onEveryYield;
  // Called as each message box appears, before it is answered.
  std::function<void(const std::string &text)> onMessage;

  // What happened.
  std::vector<MessageRecord> messages;
  std::vector<LabelRecord> labelHistory; // every label text set, in order
  std::string label[2];
  int64_t yields = 0;
  int64_t ticksDelivered = 0;
  std::vector<int16_t> closeResults; // Cancel after each close request
  bool formCreated = false;
  bool formShown = false;
  bool formDestroyed = false;
  bool timerOn = false;
  platform::FormDesign design{};
  std::optional<int> endedWith;
  // Progress line texts recorded only when they differ from the last one.
  std::vector<std::string> LabelTexts(int index) const;

  // UiBackend
  platform::MsgAnswer ShowMessage(const std::string &text,
                                  platform::MsgIcon icon,
                                  platform::MsgButtons buttons) override;
  void CreateForm(const platform::FormDesign &design,
                  platform::FormEvents *events) override;
  void ShowForm() override;
  void SetLabelText(int index, const std::string &text) override;
  void SetTimerEnabled(bool on) override;
  int32_t OnYield() override;
  [[noreturn]] void EndProgram(int exitCode) override;

  // Fires a close request now, as the user would (outside any yield).
  void RequestClose();

private:
  std::deque<platform::MsgAnswer> answers_;
  std::multimap<int64_t, std::function<void()>> actions_;
  bool tickEveryYield_ = false;
  platform::FormEvents *events_ = nullptr;
};

// Runs body (a program's main procedure) and returns the exit code that it
// ended the program with; fails the test when body returns instead.
int RunProgram(const std::function<void()> &body);

} // namespace testsupport
