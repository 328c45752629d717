// The expected state: what the installed product looks like before an
// update, for every path its script replaces, deletes, creates or removes,
// so that the run tells an earlier version, an update already applied and
// anything else apart before it changes a thing. The archive entry
// kEntryName, covered by the checksum entry and declared in the manifest
// (kExpectKey), so that damage cannot switch the check off.
//
// Text in the code page, lines ending in CR LF:
//   updpack expect 1
//   F <CRC-32, 8 hex digits> <length in decimal> <path>   a file
//   D <path>                                              a folder
//   - <path>                                              nothing
// A path is relative to the program folder, with "\" between names, as the
// script's target names it after "{app}\".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace package::expect {

inline constexpr const char *kEntryName = "~updpack.exp";
inline constexpr const char *kHeader = "updpack expect 1";
// Manifest keys: "1" when the package carries the entry; the version the
// update is for, as the author named it (shown in messages).
inline constexpr const char *kExpectKey = "expect";
inline constexpr const char *kForVersionKey = "for-version";

enum class Kind : uint8_t { File, Folder, Nothing };

struct Expected {
  std::string path; // code-page bytes, relative to the program folder
  Kind kind = Kind::Nothing;
  int64_t length = 0; // File only
  uint32_t crc = 0;   // File only
};

// The entry's bytes.
std::string FormatExpected(const std::vector<Expected> &list);
// The entry's lines; raises kErrPackageDamaged naming the entry for any
// line that is not as written above.
std::vector<Expected> ParseExpected(std::string_view text);

} // namespace package::expect
