// The checksum entry of a package: the length and CRC-32 of every other
// entry, written by `updpack build` and checked by the run after the
// extraction, before a single record of the install script is carried out,
// so that a damaged download never installs. A package without the entry
// runs as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class Setup;
}

namespace mdl_main::sums {

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

// Raised when a file differs from the one packed, or the entry is damaged.
inline constexpr int32_t kErrPackageDamaged = -1234030;

// CRC-32 (IEEE 802.3, reflected, as zip and PNG use it) of count bytes,
// continuing from crc (0 to begin).
uint32_t Crc32(uint32_t crc, const uint8_t *bytes, size_t count);

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

// The checks of the run: when folder holds kEntryName, every file it lists
// must be in folder with its length and CRC-32; when the package declared
// the entry (declared), folder must hold it. Raises kErrPackageDamaged
// naming the first file that is missing or differs, with the sentence that
// the package should be downloaded again. Reads through the numbered-file
// table (an abort inside a yield closes them all) and yields as it goes,
// as the extraction does; form's timer shows the file being checked.
void VerifyFolder(const std::string &folder, bool declared, ui::Setup &form);

} // namespace mdl_main::sums
