// Install-script paths outside the two folders a package works in, and new
// names Windows refuses. The format allows any path (absolute ones too), so
// these are warnings: verify lists them and `updpack run` prints them before
// its question (build refuses the second kind in a script it compiles).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// True when a path field (its blanks trimmed as the run trims them) lies
// outside {app} and {temp}: it does not begin with a placeholder followed
// by a separator or its end, it holds another placeholder later, or a ".."
// component climbs above the folder.
bool PathOutsideFolders(std::string_view field);

// One warning for every record of script whose path lies outside the two
// folders (the source of a copy; the target of a copy, delete, mkdir and
// rmdir), naming the record by number and as `script show` writes it; after
// the first 20, one that counts the rest.
std::vector<std::string> OutsidePathWarnings(std::string_view script);

// The last name of a copy's or mkdir's target field, in UTF-8, when Windows
// makes no file or folder of it (a device's name, a reserved character):
// the run refuses it before anything is made, every time. Else a name of
// the field longer than Windows makes one (255 characters), at which every
// run fails. nullopt for any other record (a deletion finds no device in a
// missing folder) or name.
std::optional<std::string> RefusedNewName(uint8_t operation,
                                          std::string_view target);

// One warning for every record of script with a RefusedNewName, as
// OutsidePathWarnings lists its records.
std::vector<std::string> RefusedNameWarnings(std::string_view script);

// Both kinds, as verify lists them and run prints them.
std::vector<std::string> ScriptWarnings(std::string_view script);

// The bytes that placeholders repeated within a field add to the paths of
// the script entry name (the 65-byte "script" or the long form) when every
// folder is package::kLongestFolderBytes long: `build` holds a script to
// package::kMaxRepeatedPlaceholderBytes by it, so that every run takes it.
// 0 for any other entry.
int64_t RepeatedPlaceholderBytesAtLongest(const std::string &name,
                                          std::string_view bytes);

} // namespace tools
