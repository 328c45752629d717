// Unattended runs: the switches in effect, the log of messages and endings.
#include "run/unattended.h"

#include "platform/env.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/run_lock.h"
#include "platform/silent_ui.h"
#include "run/container.h"
#include "run/mdl_main.h"
#include "run/run_log.h"
#include "run/run_texts.h"

namespace mdl_main {

namespace {
Switches nextSwitches;
std::string appFolder;

const char *AnswerWord(platform::MsgAnswer answer) {
  constexpr const char *kWords[] = {"OK", "Yes", "No", "Retry", "Cancel"};
  return kWords[static_cast<int>(answer)];
}

} // namespace

// Writes every box (shown or, when silent, answered unseen) and the ending
// into the log, in front of the backend that does the work.
class LoggedUi final : public platform::UiBackend {
public:
  explicit LoggedUi(platform::UiBackend &inner) : inner_(inner) {}

  platform::MsgAnswer ShowMessage(const std::string &text,
                                  platform::MsgIcon icon,
                                  platform::MsgButtons buttons) override {
    LogLine("message (", platform::IconWord(icon), "): ", text);
    const platform::MsgAnswer answer = inner_.ShowMessage(text, icon, buttons);
    if (buttons != platform::MsgButtons::Ok)
      LogLine("answer: ", AnswerWord(answer));
    return answer;
  }
  void CreateForm(const platform::FormDesign &design,
                  platform::FormEvents *events) override {
    inner_.CreateForm(design, events);
  }
  void ShowForm() override { inner_.ShowForm(); }
  void SetLabelText(int index, const std::string &text) override {
    inner_.SetLabelText(index, text);
  }
  void SetTimerEnabled(bool on) override { inner_.SetTimerEnabled(on); }
  int32_t OnYield() override { return inner_.OnYield(); }
  [[noreturn]] void EndProgram(int exitCode) override {
    LogLine("end: ", platform::exitcode::Name(exitCode), " (exit code ",
            exitCode, ")");
    CloseLog();
    inner_.EndProgram(exitCode);
    __builtin_unreachable(); // the base's [[noreturn]] is not seen here
  }

private:
  platform::UiBackend &inner_;
};

void SetSwitches(Switches switches) { nextSwitches = std::move(switches); }

const Switches &CurrentSwitches() { return nextSwitches; }

std::string AppFolder() {
  return appFolder.empty() ? platform::ProgramFolder() : appFolder;
}

Unattended::Unattended() : installed_(&platform::Ui()) { appFolder.clear(); }

Unattended::~Unattended() {
  CloseLog();
  appFolder.clear();
  if (silent_ || logged_)
    platform::SetUi(installed_);
}

void Unattended::StartLog(bool anew) {
  const Switches &switches = nextSwitches;
  if (!switches.logFile || !OpenLog(*switches.logFile, anew))
    return;
  logged_ = std::make_unique<LoggedUi>(platform::Ui());
  platform::SetUi(logged_.get());
  const std::string_view none;
  LogLine("package: ", ProgramExePath());
  LogLine("switches:", switches.silent ? " /S" : none,
          switches.usage ? " /?" : none, " /LOG=", *switches.logFile);
  for (const std::string &argument : switches.ignored)
    LogLine("ignored argument: ", argument);
}

bool Unattended::Begin(bool ours) {
  const Switches &switches = nextSwitches;
  if (!ours)
    return true; // a package of the base format takes no command line
  if (switches.silent) {
    silent_ = std::make_unique<platform::SilentUi>(*installed_);
    platform::SetUi(silent_.get());
  }
  // One copy at a time, known before the log opens: a second copy must not
  // empty the log the first one writes. A lock that cannot be had (posix: a
  // folder at the lock file's name) ends the run in a log begun anew.
  bool alone = true;
  try {
    alone = platform::TakeRunLock(TempFolderPath());
  } catch (const platform::Error &) {
    StartLog(true);
    throw;
  }
  StartLog(alone);
  if (switches.usage) {
    platform::Ui().ShowMessage(CurrentText(package::Text::Usage),
                               platform::MsgIcon::Information,
                               platform::MsgButtons::Ok);
    platform::Ui().EndProgram(platform::exitcode::kSuccess);
  }
  if (switches.folder) {
    appFolder = platform::fs::WithoutTrailingSeparators(
        platform::AbsolutePath(*switches.folder));
    LogLine("program folder: ", appFolder);
    if (!platform::fs::FolderExists(appFolder))
      platform::Raise(platform::err::kPathNotFound, appFolder);
  }
  return alone;
}

} // namespace mdl_main
