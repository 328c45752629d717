// The window system as the core sees it: message boxes, the one form with
// its picture, two labels and timer, the yield and the end of the program.
// A backend implements it: win32 (the real program), console (`updpack run`
// and the command-line tool) and scripted (tests).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class MsgIcon { Question, Warning, Error, Information };

// The icon's word in a console line or a log ("question").
inline const char *IconWord(MsgIcon icon) {
  switch (icon) {
  case MsgIcon::Question:
    return "question";
  case MsgIcon::Warning:
    return "warning";
  case MsgIcon::Error:
    return "error";
  case MsgIcon::Information:
    break;
  }
  return "information";
}
// With YesNo, Yes is the default button; with RetryCancel, Retry.
enum class MsgButtons { Ok, YesNo, RetryCancel };
enum class MsgAnswer { Ok, Yes, No, Retry, Cancel };

// The answer that changes nothing, for a box nobody can answer.
inline MsgAnswer NothingChanges(MsgButtons buttons) {
  switch (buttons) {
  case MsgButtons::YesNo:
    return MsgAnswer::No;
  case MsgButtons::RetryCancel:
    return MsgAnswer::Cancel;
  case MsgButtons::Ok:
    break;
  }
  return MsgAnswer::Ok;
}

// The caption of every message box and the program's title: kProgramTitle
// unless the package gives another.
inline constexpr const char *kProgramTitle = "Dravell";
const std::string &ProgramTitle();
void SetProgramTitle(const std::string &title);

// Handlers of the form; the backend calls them only inside a yield.
class FormEvents {
public:
  // A tick of the form's timer while it is on.
  virtual void OnTimer() = 0;
  // The user or the system asks the form to close; a non-zero cancel refuses.
  virtual void OnCloseRequest(int16_t &cancel) = 0;

protected:
  // Not virtual: a form's handlers are never deleted through this
  // interface, so no deleting destructor is kept for them.
  ~FormEvents() = default;
};

// Layout of the form, in twips (1/1440 inch). Its texts are views: of the
// caller's texts, which outlive CreateForm (a backend copies what it keeps).
struct FontDesign {
  std::string_view name; // empty: the window's default font
  double points = 0;
  int weight = 400;
  bool cyrillic = false;
};

struct LabelDesign {
  int left, top, width, height;
  FontDesign font;
  std::string_view text;
};

struct FormDesign {
  std::string_view title;
  int clientWidth, clientHeight;
  int pictureLeft, pictureTop, pictureWidth, pictureHeight;
  LabelDesign labels[2];
  int timerMilliseconds;
};

// Thrown by a backend's EndProgram when the process must go on (tests, the
// tool): it is not an Error, so no handler of the run takes it.
struct ProgramEnded {
  int exitCode;
};

class UiBackend {
public:
  // A modal message box with the program's title; blocks until answered.
  virtual MsgAnswer ShowMessage(const std::string &text, MsgIcon icon,
                                MsgButtons buttons) = 0;

  // The form: created hidden, shown without blocking, destroyed only by
  // EndProgram.
  virtual void CreateForm(const FormDesign &design, FormEvents *events) = 0;
  virtual void ShowForm() = 0;
  virtual void SetLabelText(int index, const std::string &text) = 0;
  virtual void SetTimerEnabled(bool on) = 0;

  // Called by the yield when the countdown runs out: handles due events and
  // returns how many further yields may pass before it is called again (at
  // least 1).
  virtual int32_t OnYield() = 0;

  // Closes every open file, destroys the form without its close handler and
  // ends the process with exitCode (or throws ProgramEnded).
  [[noreturn]] virtual void EndProgram(int exitCode) = 0;

protected:
  // Not virtual: a backend is never deleted through this interface (each
  // one's owner holds its own class), so none keeps a deleting destructor.
  ~UiBackend() = default;
};

// The installed backend; SetUi replaces it (tests install their own).
UiBackend &Ui();
void SetUi(UiBackend *backend);

namespace detail {
extern int32_t yieldCountdown;
void YieldSlow();
} // namespace detail

// Lets the window system handle every pending event. Called once per byte by
// the long loops, so the common path is one decrement and a branch; the
// backend decides how often a real pump is due.
inline void Yield() {
  if (--detail::yieldCountdown <= 0)
    detail::YieldSlow();
}

// Yields that may still pass without reaching the backend: a loop may do
// that much work at once and account for it with SkipQuietYields.
inline int32_t QuietYields() { return detail::yieldCountdown - 1; }
inline void SkipQuietYields(int32_t count) { detail::yieldCountdown -= count; }
// A yield for each of count bytes just read or written at once, without a
// call for each: they spend the countdown, and reach the window system when
// they use it up.
void YieldFor(int64_t count);

// Something slow has just been done (a system call): the next yield looks at
// the clock, and lets the window system run when that is due, rather than
// waiting out a countdown that was measured on quick yields.
inline void CheckClockAtNextYield() {
  if (detail::yieldCountdown > 1)
    detail::yieldCountdown = 1;
}

// Ends the program through the backend: exit codes of the update run, one
// table for the Windows program and `updpack run`.
namespace exitcode {
constexpr int kSuccess = 0;     // installed, or already up to date
constexpr int kFailed = 1;      // critical error, damaged, failed extraction
constexpr int kDeclined = 2;    // No at the confirmation
constexpr int kAborted = 3;     // abort confirmed from the progress window
constexpr int kNotExpected = 4; // another version, or not the product's folder
constexpr int kInUse = 5;       // a file to replace or delete in use, Cancel
constexpr int kAlreadyRunning = 6; // another update run is going on

// The word for a code in a log ("success"), "exit code" for one not listed.
inline const char *Name(int code) {
  constexpr const char *kNames[] = {"success",
                                    "failed",
                                    "declined",
                                    "aborted",
                                    "not expected version",
                                    "files in use",
                                    "already running"};
  return code >= 0 && code <= kAlreadyRunning ? kNames[code] : "exit code";
}
} // namespace exitcode

} // namespace platform
