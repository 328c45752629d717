// The console UI backend of updpack: message boxes on stderr, questions
// answered on the terminal, the form as one refreshing status line, timer
// ticks, Ctrl-C and the tool's progress poller delivered from the yield.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace tools {

class ConsoleUi final : public platform::UiBackend {
public:
  struct Options {
    std::istream *in = nullptr;  // answers to questions; nullptr: std::cin
    std::ostream *out = nullptr; // boxes, questions, the line; nullptr: cerr
    // The line refreshes in place ("\r", clear to end) only on a terminal;
    // elsewhere every status change is printed on a line of its own.
    bool terminal = false;
    int columns = 80; // width of the terminal; the line is cut to fit
    // Answers typed on a terminal echo themselves; others are echoed.
    bool inputTerminal = false;
    // `run --yes`: the first question (the confirmation) is answered Yes.
    bool yesToConfirmation = false;
    // Monotonic milliseconds; empty: the steady clock.
    std::function<int64_t()> clock;
  };

  // Yields that pass between two looks at the clock and the flags.
  static constexpr int32_t kYieldsPerCheck = 4096;
  static constexpr int64_t kTickMs = 10;    // the form's timer, at most
  static constexpr int64_t kRefreshMs = 50; // the terminal line, at most
  static constexpr int64_t kPollMs = 100;   // the tool's poller, about

  explicit ConsoleUi(Options options);
  // Restores the Ctrl-C handling it changed and ends a drawn line. Does not
  // uninstall itself: the owner calls platform::SetUi(nullptr) when it must.
  ~ConsoleUi();
  ConsoleUi(const ConsoleUi &) = delete;
  ConsoleUi &operator=(const ConsoleUi &) = delete;

  // A function called from the yield about every kPollMs (pack and extract
  // progress); it may call SetToolLine.
  void SetPoller(std::function<void()> poller) { poller_ = std::move(poller); }
  // The tool's own progress line, shown like the form's line (terminal only).
  void SetToolLine(const std::string &text);
  // Ends a line drawn on the terminal with a newline.
  void FinishLine();
  // Erases the tool's line from the terminal.
  void ClearLine();

  // Ctrl-C sets a flag (the signal handler does nothing else). While the
  // form exists the flag is its close request; otherwise the next yield
  // calls onInterrupt if one is set, or the tool takes the flag itself.
  void CatchInterrupts();
  void SetInterruptHandler(std::function<void()> onInterrupt) {
    onInterrupt_ = std::move(onInterrupt);
  }
  // An engine that ends in an error box (extract) works for the tool: its
  // errors print as the tool's own, "updpack: SUBJECT: text", naming the
  // file the user gave rather than the program's title.
  void SetErrorSubject(std::string subject) {
    errorSubject_ = std::move(subject);
  }
  bool TakeInterrupt();

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

  // How a typed answer reads: y, yes, д, да (any case) and the empty line
  // (Yes is the default button) are Yes; anything else is No.
  static bool ReadsAsYes(const std::string &answer);
  // The same for a Retry/Cancel box: r, retry, п, повтор and the empty line
  // (Retry is the default button) are Retry; anything else is Cancel.
  static bool ReadsAsRetry(const std::string &answer);
  // The one escaping of text that came from a package, a script or an
  // author's file on its way to the terminal: every control character (C0,
  // DEL and the C1 controls U+0080 to U+009F) and every byte of malformed
  // UTF-8 spelled out as \xNN per byte, so that no such text can drive the
  // terminal. Tabs are kept only when asked (a source line echoed above a
  // caret).
  enum class Tabs { Escape, Keep };
  static std::string Printable(std::string_view text, Tabs tabs = Tabs::Escape);

private:
  int64_t Now() const;
  void Refresh(int64_t now, bool force);
  std::string FormLine() const;
  void Write(const std::string &text);

  Options options_;
  std::istream &in_;
  std::ostream &out_;

  platform::FormEvents *events_ = nullptr;
  bool formExists_ = false;
  bool formShown_ = false;
  bool timerOn_ = false;
  std::string label_[2];
  std::string printedStatus_; // last status printed when not a terminal
  bool statusPrinted_ = false;

  std::string toolLine_;
  std::string errorSubject_;
  bool dirty_ = false;     // the line on screen is out of date
  bool lineDrawn_ = false; // a line without its newline is on screen
  int64_t lastDraw_;
  int64_t lastTick_;
  int64_t lastPoll_;

  std::function<void()> poller_;
  std::function<void()> onInterrupt_;
  bool questionAsked_ = false;
  bool inYield_ = false;
  bool catching_ = false;
};

} // namespace tools
