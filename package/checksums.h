// The checksum entry of a package: the length and CRC-32 of every other
// entry, written by `updpack build`, checked by the run after the
// extraction (run/checksum_check.h) and by `updpack verify`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/damage.h"
#include "platform/messages.h"

namespace package::sums {

// The entry's name; `updpack build` never gives it to a file of its own.
inline constexpr const char *kEntryName = "~updpack.sum";

// The entry is text in the code page, lines ending in CR LF:
//   updpack sums 1
//   <CRC-32, 8 hex digits> <length in decimal> <entry name>
//   ...
inline constexpr const char *kHeader = "updpack sums 1";
// The longest line a reader takes: a name of the longest kind and the two
// numbers.
inline constexpr size_t kMaxLineBytes = 8192;

// One file of the list: its entry name (UTF-8), length and CRC-32.
struct Sum {
  std::string name;
  int64_t length = 0;
  uint32_t crc = 0;
};

// The entry's bytes for the files in sums. Raises kOverflow for a name that
// has no code-page form.
std::string FormatSums(const std::vector<Sum> &sums);

// The lines of the entry, parsed: the header is checked, then every line
// names a file. Raise kErrPackageDamaged for a line that is not as written
// above or names a file that the extraction would not have written under
// that name. ParseSums takes the whole text (tools); the run reads a line at
// a time.
void CheckSumsHeader(std::string_view line);
Sum ParseSumLine(std::string_view line);
std::vector<Sum> ParseSums(std::string_view text);

// Raises kErrPackageDamaged with the message what (platform/messages.h)
// about the file name: the messages about the files of the list and the
// list itself.
[[noreturn]] void RaiseDamaged(std::string_view name, platform::Msg what);
// The same for a name given as a constant (an entry's own name): passed in
// a register, where a view is built on the caller's stack.
[[noreturn]] void RaiseDamaged(const char *name, platform::Msg what);

// The messages of a missing file and of a list that does not read.
inline constexpr platform::Msg kMissing = platform::Msg::FileMissing;
inline constexpr platform::Msg kListDamaged = platform::Msg::FileDamaged;

} // namespace package::sums
