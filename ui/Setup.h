// The progress window: a status line, a progress line, a timer that shows the
// entry being unpacked, and the abort question when the user closes it.
// Written against platform/ui.h only, so every backend runs the same logic.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/boolean.h"
#include "platform/ui.h"

namespace ui {

// Label indexes of `lbl`.
inline constexpr int kStatusLine = 0;
inline constexpr int kProgressLine = 1;

// The texts the window shows, given by the run (which has them from its
// package).
struct SetupTexts {
  std::string title;      // the window's title
  std::string preparing;  // the status line as the window appears
  std::string unpacking;  // the status line while the timer runs
  std::string installing; // the status line once it stopped
  std::string progress;   // before the percentage of the progress line
  std::string abort;      // the question when the window is closed
};

// What the window needs of the run: the name of the archive entry being
// written, read at every tick, and the end of the run when the user
// confirmed the abort question.
class SetupHost {
public:
  // The archive object's DefFile, creating the object if there is none.
  virtual const std::string &EntryName() = 0;
  // Closes every open file, removes the temporary folder and the pack file
  // (ignoring failures) and ends the program with exitcode::kAborted.
  virtual void AbortConfirmed() = 0;

protected:
  ~SetupHost() = default;
};

class Setup final : public platform::FormEvents {
public:
  // The window's fixed layout: title, client area, picture, labels, timer;
  // its texts are views of those of texts.
  static platform::FormDesign Design(const SetupTexts &texts);

  // Creates the window hidden, timer off, with texts and host kept for the
  // window's life (host must outlive it). Call once, before the others.
  // texts by value: the run's, made for this call, are moved in whole.
  void Load(SetupTexts texts, SetupHost &host);
  // Shows the window without waiting for it.
  void Show();

  // Progress line "Выполнено <Value>%". Called once per byte copied, so the
  // common path is one compare: the label is touched only when the value
  // differs from the one it shows.
  void SetProgress(int16_t Value) {
    if (Value != shownPercent_)
      ShowPercent(Value);
  }
  // Status line text.
  void SetStatus(const std::string &Value);
  // Any non-zero Value: status "unpacking" and the timer on; zero: status
  // "installing" and the timer off. The text changes before the timer.
  void SetStatusHandle(platform::Boolean Value);

  // The file the checksum check reads after the extraction: while one is
  // set, a tick shows it in place of the archive object's DefFile (empty:
  // none).
  void SetCheckedFile(std::string_view name) { checkedFile_.assign(name); }

  // Timer tick: the progress line shows the archive object's DefFile
  // (the host's EntryName), or the file being checked.
  void opn_Timer();
  // Close request: asks whether to abort. Yes ends the run through the
  // host's AbortConfirmed; No sets Cancel to 1.
  void Form_Unload(int16_t &Cancel);

  // platform::FormEvents
  void OnTimer() override { opn_Timer(); }
  void OnCloseRequest(int16_t &cancel) override { Form_Unload(cancel); }

private:
  // Shown when the progress line holds no percentage.
  static constexpr int32_t kNoPercent = INT32_MIN;

  void ShowPercent(int16_t Value);
  void SetProgressLine(const std::string &text, int32_t percent);

  SetupTexts texts_;
  SetupHost *host_ = nullptr;
  int32_t shownPercent_ = kNoPercent; // percentage the progress line shows
  std::string progressLine_;          // text the progress line shows
  std::string checkedFile_;           // see SetCheckedFile
};

// prefix ("Выполнено ") + Value in plain decimal + "%".
std::string ProgressText(std::string_view prefix, int16_t Value);

// The one shared window. CreateSharedSetup (called by Main) replaces any
// earlier instance.
Setup &CreateSharedSetup();

} // namespace ui
