// How large the tool's own entries may be: the script entries, the expected
// state and the times, which a run of a package of ours reads whole before
// or beside the install. `updpack build` never writes a larger one, so the
// run takes a larger one as damage: what it holds in memory stays bounded,
// whatever a package declares.
#pragma once

#include <cstdint>

namespace package {

// 32 MiB: 516,000 records of 65 bytes, or an expected state of some 400,000
// paths.
inline constexpr int64_t kMaxOwnEntryBytes = int64_t{32} << 20;

// The most that placeholders repeated within a field (after the first in
// each) may add to a script's paths, summed over its records: each such
// byte stands for a whole folder, so a script within kMaxOwnEntryBytes
// could otherwise come to gigabytes of paths. `updpack build` counts every
// folder as kLongestFolderBytes long for it, so what it writes always runs.
inline constexpr int64_t kMaxRepeatedPlaceholderBytes = int64_t{16} << 20;
// The longest folder a placeholder is taken to stand for at build time:
// 260 characters of up to three bytes each.
inline constexpr size_t kLongestFolderBytes = 780;

} // namespace package
