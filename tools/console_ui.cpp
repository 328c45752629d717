// The console UI backend of updpack.
#include "tools/console_ui.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <limits>

#include "platform/codepage.h"

#include "platform/files.h"

namespace tools {

namespace {

volatile std::sig_atomic_t interrupted = 0;
struct sigaction previousAction {};

extern "C" void OnInterrupt(int) { interrupted = 1; }

constexpr const char *kClearToEnd = "\x1b[K";

// Text as a terminal shows it: CR LF and a lone CR become a newline, other
// control characters are spelled out.
std::string TerminalText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    const size_t end = std::min(text.find_first_of("\r\n"), text.size());
    shown += ConsoleUi::Printable(text.substr(0, end));
    if (end == text.size())
      break;
    shown += '\n';
    text.remove_prefix(text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1);
  }
  return shown;
}

// The first `columns` characters of UTF-8 text with nothing a terminal
// acts on (Printable text).
std::string CutToColumns(const std::string &text, int columns) {
  std::string cut;
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) { // a character starts here
      if (count == columns)
        break;
      ++count;
    }
    cut += text[i];
  }
  return cut;
}

std::string Trimmed(const std::string &text) {
  const char *blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos)
    return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Lower case of ASCII letters and of the Cyrillic capitals А to Я.
std::string Lowered(const std::string &text) {
  std::string low = text;
  for (size_t i = 0; i < low.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(low[i]);
    if (c >= 'A' && c <= 'Z') {
      low[i] = static_cast<char>(c - 'A' + 'a');
    } else if (c == 0xD0 && i + 1 < low.size()) {
      const unsigned char next = static_cast<unsigned char>(low[i + 1]);
      if (next >= 0x90 && next <= 0x9F) { // А..П -> а..п
        low[i + 1] = static_cast<char>(next + 0x20);
      } else if (next >= 0xA0 && next <= 0xAF) { // Р..Я -> р..я
        low[i] = static_cast<char>(0xD1);
        low[i + 1] = static_cast<char>(next - 0x20);
      }
      ++i;
    }
  }
  return low;
}

} // namespace

ConsoleUi::ConsoleUi(Options options)
    : options_(std::move(options)), in_(options_.in ? *options_.in : std::cin),
      out_(options_.out ? *options_.out : std::cerr) {
  if (options_.columns < 8)
    options_.columns = 8;
  const int64_t now = Now();
  lastDraw_ = now - kRefreshMs;
  lastTick_ = now - kTickMs;
  lastPoll_ = now;
}

ConsoleUi::~ConsoleUi() {
  if (catching_)
    sigaction(SIGINT, &previousAction, nullptr);
  try {
    FinishLine();
  } catch (...) {
  }
}

int64_t ConsoleUi::Now() const {
  if (options_.clock)
    return options_.clock();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
      .count();
}

void ConsoleUi::Write(const std::string &text) {
  out_ << text;
  out_.flush();
}

std::string ConsoleUi::Printable(std::string_view text, Tabs tabs) {
  static const char hex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t at = i;
    const char32_t code = platform::NextCodePoint(text, i);
    const bool malformed =
        code == 0xFFFD && text.compare(at, i - at, "\xEF\xBF\xBD") != 0;
    const bool control =
        (code < 0x20 && !(code == '\t' && tabs == Tabs::Keep)) ||
        (code >= 0x7F && code < 0xA0);
    if (!malformed && !control) {
      shown.append(text, at, i - at);
      continue;
    }
    for (size_t k = at; k < i; ++k) {
      const auto c = static_cast<unsigned char>(text[k]);
      shown += "\\x";
      shown += hex[c >> 4];
      shown += hex[c & 15];
    }
  }
  return shown;
}

bool ConsoleUi::ReadsAsYes(const std::string &answer) {
  const std::string word = Lowered(Trimmed(answer));
  return word.empty() || word == "y" || word == "yes" || word == "д" ||
         word == "да";
}

bool ConsoleUi::ReadsAsRetry(const std::string &answer) {
  const std::string word = Lowered(Trimmed(answer));
  return word.empty() || word == "r" || word == "retry" || word == "п" ||
         word == "повтор";
}

void ConsoleUi::CatchInterrupts() {
  if (catching_)
    return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART; // a question being read goes on being read
  interrupted = 0;
  if (sigaction(SIGINT, &action, &previousAction) == 0)
    catching_ = true;
}

bool ConsoleUi::TakeInterrupt() {
  if (!interrupted)
    return false;
  interrupted = 0;
  return true;
}

std::string ConsoleUi::FormLine() const {
  if (label_[1].empty())
    return label_[0];
  if (label_[0].empty())
    return label_[1];
  return label_[0] + "  " + label_[1];
}

void ConsoleUi::FinishLine() {
  if (!options_.terminal)
    return;
  if (dirty_ && (lineDrawn_ || !toolLine_.empty() || formShown_))
    Refresh(Now(), true);
  if (lineDrawn_) {
    Write("\n");
    lineDrawn_ = false;
  }
  dirty_ = false;
}

void ConsoleUi::ClearLine() {
  if (lineDrawn_)
    Write(std::string("\r") + kClearToEnd);
  lineDrawn_ = false;
  toolLine_.clear();
  dirty_ = false;
}

void ConsoleUi::Refresh(int64_t now, bool force) {
  if (!options_.terminal || !dirty_)
    return;
  if (!force && now - lastDraw_ < kRefreshMs)
    return;
  const std::string &line = formExists_ && formShown_ ? FormLine() : toolLine_;
  if (!(formExists_ && formShown_) && toolLine_.empty() && !lineDrawn_) {
    dirty_ = false;
    return;
  }
  std::string shown = CutToColumns(Printable(line), options_.columns - 1);
  shown.insert(shown.begin(), '\r');
  shown += kClearToEnd;
  Write(shown);
  lineDrawn_ = true;
  dirty_ = false;
  lastDraw_ = now;
}

void ConsoleUi::SetToolLine(const std::string &text) {
  if (!options_.terminal || text == toolLine_)
    return;
  toolLine_ = text;
  dirty_ = true;
  Refresh(Now(), false);
}

platform::MsgAnswer ConsoleUi::ShowMessage(const std::string &text,
                                           platform::MsgIcon icon,
                                           platform::MsgButtons buttons) {
  // The line keeps its last state above the box.
  FinishLine();
  if (!errorSubject_.empty() && icon == platform::MsgIcon::Error &&
      buttons == platform::MsgButtons::Ok) {
    Write("updpack: " + Printable(errorSubject_) + ": " + TerminalText(text) +
          "\n");
    return platform::MsgAnswer::Ok;
  }
  Write(Printable(platform::ProgramTitle()) + " [" + platform::IconWord(icon) +
        "]: " + TerminalText(text) + "\n");
  if (buttons == platform::MsgButtons::Ok)
    return platform::MsgAnswer::Ok;
  const bool retry = buttons == platform::MsgButtons::RetryCancel;
  const bool first = !questionAsked_;
  questionAsked_ = true;
  Write(retry ? "[R]etry/[c]ancel " : "[Y/n] ");
  const platform::MsgAnswer yes =
      retry ? platform::MsgAnswer::Retry : platform::MsgAnswer::Yes;
  const platform::MsgAnswer no = platform::NothingChanges(buttons);
  const char *yesWord = retry ? "retry" : "yes";
  const char *noWord = retry ? "cancel" : "no";
  // --yes answers the confirmation only: a box that asks the user to do
  // something first (close a program) is cancelled, and the run ends with
  // the code that says why.
  if (options_.yesToConfirmation && (first || retry)) {
    const bool confirm = first && !retry;
    Write(std::string(confirm ? yesWord : noWord) + " (--yes)\n");
    return confirm ? yes : no;
  }
  std::string line;
  if (!std::getline(in_, line)) {
    in_.clear(std::ios::eofbit); // stays at its end for later questions
    Write(std::string(noWord) + " (end of input)\n");
    return no;
  }
  const platform::MsgAnswer answer =
      (retry ? ReadsAsRetry(line) : ReadsAsYes(line)) ? yes : no;
  if (!options_.inputTerminal)
    Write(std::string(answer == yes ? yesWord : noWord) + "\n");
  return answer;
}

void ConsoleUi::CreateForm(const platform::FormDesign &design,
                           platform::FormEvents *events) {
  events_ = events;
  formExists_ = true;
  formShown_ = false;
  timerOn_ = false;
  label_[0] = design.labels[0].text;
  label_[1] = design.labels[1].text;
  CatchInterrupts();
}

void ConsoleUi::ShowForm() {
  if (!formExists_ || formShown_)
    return;
  formShown_ = true;
  if (options_.terminal) {
    dirty_ = true;
    Refresh(Now(), true);
  } else {
    SetLabelText(0, label_[0]);
  }
}

void ConsoleUi::SetLabelText(int index, const std::string &text) {
  if (index < 0 || index > 1)
    return;
  // Called for every byte copied: a store and a flag on the common path.
  label_[index] = text;
  if (!formShown_)
    return;
  if (options_.terminal) {
    dirty_ = true;
  } else if (index == 0 && (!statusPrinted_ || text != printedStatus_)) {
    printedStatus_ = text;
    statusPrinted_ = true;
    Write(TerminalText(text) + "\n");
  }
}

void ConsoleUi::SetTimerEnabled(bool on) {
  if (on && !timerOn_)
    lastTick_ = Now() - kTickMs; // the first tick comes at the next check
  timerOn_ = on;
}

int32_t ConsoleUi::OnYield() {
  if (inYield_) // a handler running inside this yield yields again
    return kYieldsPerCheck;
  inYield_ = true;
  struct Leave {
    bool &flag;
    ~Leave() { flag = false; }
  } leave{inYield_};

  int64_t now = Now();
  if (formExists_ && interrupted) {
    interrupted = 0;
    int16_t cancel = 0;
    events_->OnCloseRequest(cancel); // may end the program
    interrupted = 0; // a Ctrl-C typed while the question was open
    now = Now();
  } else if (interrupted && onInterrupt_) {
    interrupted = 0;
    onInterrupt_();
  }
  if (formExists_ && timerOn_ && now - lastTick_ >= kTickMs) {
    lastTick_ = now;
    events_->OnTimer();
  }
  if (poller_ && now - lastPoll_ >= kPollMs) {
    lastPoll_ = now;
    poller_();
  }
  Refresh(now, false);
  return kYieldsPerCheck;
}

void ConsoleUi::EndProgram(int exitCode) {
  platform::files::CloseAllQuietly();
  try {
    FinishLine();
  } catch (...) {
  }
  // The form goes without its close handler.
  formExists_ = false;
  formShown_ = false;
  timerOn_ = false;
  events_ = nullptr;
  throw platform::ProgramEnded{exitCode};
}

} // namespace tools
