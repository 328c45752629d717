// The run's log (/LOG=FILE, `updpack run --log`): one UTF-8 line per step,
// per file checked, per record and per message. Off, a line costs a test of
// one flag: its pieces are neither joined nor formatted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace mdl_main {

// One piece of a log line: text, or a whole number that the log writes out
// in decimal (only when it is on). Two words, so that each piece a call
// site lays out costs two stores.
namespace detail {
extern const char kNumberMark; // its address marks a number
} // namespace detail

class LogPiece {
public:
  LogPiece(std::string_view text) : text_(text.data()), value_(text.size()) {}
  LogPiece(const char *text) : LogPiece(std::string_view(text)) {}
  LogPiece(const std::string &text) : LogPiece(std::string_view(text)) {}
  template <typename Number,
            typename = std::enable_if_t<std::is_integral_v<Number>>>
  LogPiece(Number number)
      : text_(&detail::kNumberMark),
        value_(static_cast<uint64_t>(static_cast<int64_t>(number))) {}
  // Appends the piece to a line.
  void AppendTo(std::string &line) const;

private:
  const char *text_; // &detail::kNumberMark for a number
  uint64_t value_;   // the text's length, or the number's bits
};

namespace detail {
extern bool logOn;
void WriteLogLine(std::initializer_list<LogPiece> pieces);
} // namespace detail

// Appends the pieces, joined, as one line of the log when it is open.
template <typename... Pieces> void LogLine(const Pieces &...pieces) {
  if (detail::logOn)
    detail::WriteLogLine({LogPiece(pieces)...});
}
inline bool LogOn() { return detail::logOn; }

// Starts the log at path: a new file, or an existing one emptied (never
// through a link); not anew, the lines go after those there (a second copy
// of the update must not empty the log the first one writes). False, with
// the log off, when it cannot be made: a log that cannot be written never
// stops or changes the run.
bool OpenLog(const std::string &path, bool anew = true);
// Closes the log; later lines go nowhere.
void CloseLog();

} // namespace mdl_main
