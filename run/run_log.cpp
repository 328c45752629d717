// The run's log.
#include "run/run_log.h"

#include <memory>

#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/os_file.h"

namespace mdl_main {

namespace detail {
bool logOn = false;
const char kNumberMark = 0;
} // namespace detail

namespace {

std::unique_ptr<platform::os::File> logFile;

} // namespace

void LogPiece::AppendTo(std::string &line) const {
  if (text_ == &detail::kNumberMark)
    line += platform::Decimal(static_cast<int64_t>(value_));
  else
    line.append(text_, value_);
}

void detail::WriteLogLine(std::initializer_list<LogPiece> pieces) {
  // Windows' own line ends; a line break inside a piece (the text of a box)
  // goes on indented, so every line of the log starts a step.
  std::string joined;
  for (const LogPiece &piece : pieces)
    piece.AppendTo(joined);
  std::string line;
  for (const char c : joined) {
    if (c == '\n')
      line += "\r\n    ";
    else if (c != '\r')
      line += c;
  }
  line += "\r\n";
  try {
    // At the file's end as it is now: a second copy of the update may write
    // its lines into the same log.
    platform::os::WriteAt(logFile->Handle(), logFile->Size(), line.data(),
                          line.size(), logFile->Path());
  } catch (const platform::Error &) {
    CloseLog(); // a full disk: the run goes on without its log
  }
}

bool OpenLog(const std::string &path, bool anew) {
  CloseLog();
  try {
    logFile = std::make_unique<platform::os::File>(
        path,
        anew ? platform::OpenMode::Output : platform::OpenMode::ReadWrite);
  } catch (const platform::Error &) {
    return false;
  }
  detail::logOn = true;
  return true;
}

void CloseLog() {
  detail::logOn = false;
  if (!logFile)
    return;
  try {
    logFile->Close();
  } catch (const platform::Error &) {
  }
  logFile.reset();
}

} // namespace mdl_main
