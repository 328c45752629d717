// What verify and run say of an install script's records: paths outside
// the two folders a package works in, whose run depends on the machine
// (warnings: the format allows any path, absolute ones too), and records
// at which every run fails, whatever the machine: a new name Windows
// refuses (build refuses those in a script it compiles), or a path that
// ends in a separator where a file is meant (verify's faults). `updpack
// run` prints both before its question.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/long_records.h"
#include "package/script_record.h"

namespace tools {

// True when a path field (its blanks trimmed as the run trims them) lies
// outside {app} and {temp}: it does not begin with a placeholder followed
// by a separator or its end, it holds another placeholder later, or a ".."
// component climbs above the folder.
bool PathOutsideFolders(std::string_view field);

// One warning for every record of script whose path lies outside the two
// folders (the source of a copy; the target of a copy, delete, mkdir and
// rmdir), naming the record by number and as `script show` writes it; after
// the first 20, one that counts the rest. The run numbers its records on
// through both script entries: before is the number of records ahead of
// this entry's first (those of "script" for the long script). form is the
// entry's, by its name (package::script::Form).
using ScriptForm = package::script::Form;
std::vector<std::string> OutsidePathWarnings(std::string_view script,
                                             ScriptForm form,
                                             size_t before = 0);

// One warning for every record of script whose path goes through a folder
// named as a device (copy {temp}\a.txt {app}\CON\a.txt): Windows makes no
// such folder, so every run fails there but where one was made around
// Windows' calls, and then the run goes on through it. Numbered and
// counted as OutsidePathWarnings.
std::vector<std::string> DeviceFolderWarnings(std::string_view script,
                                              ScriptForm form,
                                              size_t before = 0);

// The field, blanks trimmed, ends in a separator: as a file's path it
// names no file, and both systems refuse to open it.
bool EndsInSeparator(std::string_view field);

// The first name of a path field (its blanks trimmed), in UTF-8, that is
// longer than Windows makes one (255 characters): no file or folder has it.
std::optional<std::string> NameTooLong(std::string_view field);

// The last name of a copy's or mkdir's target field, in UTF-8, when Windows
// makes no file or folder of it (a device's name, a reserved character):
// the run refuses it before anything is made, every time. Else a name of
// the field longer than Windows makes one (255 characters), at which every
// run fails. nullopt for any other record (a deletion finds no device in a
// missing folder) or name.
std::optional<std::string> RefusedNewName(uint8_t operation,
                                          std::string_view target);

// The first name on the way of a record's target field (its blanks
// trimmed), as Windows reads the path (NamesBelowMark's reading, outside
// the two folders too), that a run of ours keeps for its own work in the
// folders it installs to (~updpack.new, ~updpack.bak, ~updpack.del, in any
// case): {app}\~UPDPACK.BAK.\x and {app}\x\..\~updpack.new. \. hold
// one, {app}\~updpack.bak \x and {app}\~updpack.bak..\x a folder of
// another name. The name as read; nullopt for a record the run ignores
// (op 4 and above) or a target without one. A script `build` compiles is
// refused by it, and a package of ours faulted: where such a name installs
// at all, it is taken for the run's own by a later run, and elsewhere the
// run fails.
std::optional<std::string> WorkNameOn(uint8_t operation,
                                      std::string_view target);

// The names below the mark of a path field (its blanks trimmed), as
// Windows reads it as text and the run reads it (platform::posix::
// NativePath): "." and empty names gone, ".." taking the name before it
// away, a name followed by a separator without one dot that ends it, and
// the last name left without the dots and blanks that end it ({app}\a.\.
// and {app}\a. \b\.. name a). nullopt for a field outside the two folders
// (PathOutsideFolders) or with a name of dots and blanks alone, whose
// reading is not plain; empty for the folder itself.
std::optional<std::vector<std::string>> NamesBelowMark(std::string_view field);

// One line for every fault of every record of script at which every run
// fails (FailuresOf), as OutsidePathWarnings lists its records (the first
// 20 records with all their lines): one whose RefusedNewName is set, a copy
// whose source ends in a separator (it names no file), is empty or a folder
// mark itself ({temp}, {app}\sub\..) or holds a NameTooLong, whose target
// is a folder mark itself, or whose target names its source (Windows reads
// paths as text: {app}\a.txt and {app}\A.TXT. are one), a path Windows
// takes from no folder (past 32,767 UTF-16 units as "\\?\C:\..." with its
// NUL, {app} a drive's root and {temp} C:\VLSFX_QUORIX, a path of no drive
// from a drive's root, ~updpack.new beside a copy's target in one of ours,
// for a path outside the two folders too), a path through a folder "..."
// (which Windows reads as ".." and refuses), an rmdir of {temp}
// itself (the run holds it) and, in a package of the base format (!ours), a
// delete whose target ends in a separator or is a folder mark itself (the
// run finds no file), an rmdir of {app} itself (the running package is
// there) and a mkdir of a folder mark itself (the folder is there); in one
// of ours (ours), a record whose target names a WorkNameOn. One of ours
// checks the product first and skips those deletions or refuses the
// update, and may run with its program folder elsewhere; the base format's
// run keeps no name for itself.
std::vector<std::string> FailingRecords(std::string_view script,
                                        ScriptForm form, bool ours,
                                        size_t before = 0);

// Why every run fails at one record, as FailingRecords words each fault
// ("copies a file onto itself, and every run fails there"), with the path
// it is at: at most one fault of the source and one of the target, in the
// order they are checked (a copy onto its own source only where neither
// path has a fault of its own); empty where a run may pass. `build`
// refuses a compiled script's records by it, each fault at its path's line
// and column.
struct RecordFailure {
  const char *what = nullptr;
  bool atSource = false; // else the target
  // The new name Windows refuses (RefusedNewName), for that fault.
  std::optional<std::string> refusedName;
};
std::vector<RecordFailure> FailuresOf(const package::script::Record &record,
                                      bool ours);

// In a package of ours (ours), one warning for every delete whose target
// ends in a separator: it deletes nothing, and whether the run skips it or
// refuses the update (a folder of that name there) depends on the machine.
std::vector<std::string> SeparatorDeletionWarnings(std::string_view script,
                                                   ScriptForm form, bool ours,
                                                   size_t before = 0);

// In a package of the base format (!ours), one warning for every copy or
// mkdir whose target, outside {temp}, has a WorkNameOn: its run installs
// that name, and a later package of ours there takes it for its own work
// (a backup left by an interrupted update, which it refuses to start
// over, or old files to remove) or writes over it.
std::vector<std::string> WorkNameInstallWarnings(std::string_view script,
                                                 ScriptForm form, bool ours,
                                                 size_t before = 0);

// All five, as run prints them.
std::vector<std::string> ScriptWarnings(std::string_view script,
                                        ScriptForm form, bool ours,
                                        size_t before = 0);

// The number of records of a script entry of the form, as the run counts
// them (the 65-byte form's whole records).
size_t RecordCount(std::string_view script, ScriptForm form);

// The form of the script entry name: the long form for the long script's
// entry, 65-byte records for any other.
ScriptForm FormOfEntry(std::string_view name);

// The bytes that placeholders repeated within a field add to the paths of
// the script entry name (the 65-byte "script" or the long form) when every
// folder is package::kLongestFolderBytes long: `build` holds a script to
// package::kMaxRepeatedPlaceholderBytes by it, so that every run takes it.
// 0 for any other entry.
int64_t RepeatedPlaceholderBytesAtLongest(const std::string &name,
                                          std::string_view bytes);

} // namespace tools
