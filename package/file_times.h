// The modification times of the payload's files, the archive entry
// kTimesName: PACK1 entries carry no time, and the manifest has no room for
// one per entry of a large package. `updpack build` records the time of
// every file it packs from a folder; the run gives it to the file a copy
// record installs from {temp}\NAME. A package declares the entry in its
// manifest (kTimesKey), so that losing it shows the package damaged, and
// its checksum entry covers it.
//
// Layout: kTimesMagic, a u32 LE count, then count records:
//   offset 0   u16 LE  the entry name's length in bytes (1 or more)
//   offset 2           the entry name, in the package's code page
//   then       i64 LE  seconds since 1970-01-01 UTC
//              u32 LE  nanoseconds, below 1,000,000,000
// Nothing follows the last record. Records come in ascending order of
// their names as Windows compares them (platform::fs::CompareNamesNoCase),
// each name once, so that the run finds one by a binary search without
// sorting them itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace package::times {

inline constexpr const char *kTimesName = "~updpack.tim";
// The manifest key that declares the entry ("1").
inline constexpr const char *kTimesKey = "times";

inline constexpr char kTimesMagic[17] = "updpack times 1\n";
inline constexpr size_t kTimesMagicSize = 16;
static_assert(kTimesMagicSize == sizeof kTimesMagic - 1);
inline constexpr size_t kCountSize = 4;
inline constexpr size_t kNameLengthSize = 2;
inline constexpr size_t kTimeSize = 12; // seconds and nanoseconds
inline constexpr uint32_t kNanosecondsPerSecond = 1000000000;

struct EntryTime {
  std::string name; // UTF-8; in the code page in the entry
  platform::fs::FileTime time{};
};

// The entry's bytes, the records in name order; false for a name of 0 or
// more than 65,535 bytes or outside the code page in effect, and for two
// names Windows takes for one.
bool FormatTimes(const std::vector<EntryTime> &list, std::string &out);

// The entry's records, in order, names read in the code page in effect;
// raises kErrPackageDamaged naming the entry when it is not as written
// above (short, a count that differs from its records, an empty name,
// nanoseconds out of range, names out of order or repeated).
std::vector<EntryTime> ParseTimes(std::string_view bytes);

// The record of name in list (as ParseTimes gives it), or nullptr.
const EntryTime *FindTime(const std::vector<EntryTime> &list,
                          const std::string &name);

} // namespace package::times
