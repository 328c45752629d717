// The fuzz targets' jail: a hook on the posix file layer that refuses
// (EACCES) every call acting outside one folder. It judges a path by where
// it leads, every link on the way followed as the OS follows it, not by its
// text: a link planted inside the folder cannot carry a call out of it.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/syscalls.h"

namespace fuzzing {

// The current folder, as the OS resolved it; empty when it cannot be read.
std::string CurrentFolder();

// True when path, as the runtime's posix layer hands it to the OS (its
// native form, cut at a NUL byte), made absolute against cwd, leads to root
// or below it: ".." climbs from where the path has led so far, and every
// link on the way is followed, the last component's only when followLast.
// A path that nests links too deeply, or that cannot be looked at, does not
// lie within. root and cwd are absolute paths without links (root's own
// ancestors are trusted, so a walk below it starts there).
bool LiesWithin(const std::string &root, const std::string &cwd,
                const std::string &path, bool followLast = true);

// The hook that refuses every call whose path does not lie within root: a
// following call (open, create, inspect) with its last link followed, one
// that acts on the name itself (delete, make or remove a folder, rename)
// without. Reads, writes and closes use a descriptor that an open the jail
// let through gave, so they go on.
platform::posix::FaultHook Jail(const std::string &root);

// Tries every kind of call the jail judges by path on names in folder (open
// and inspect plain.txt, create a file and a folder "made", rename
// plain.txt, delete it, remove the folder sub) through the posix layer, and
// returns the names of those that were not refused with EACCES.
std::vector<std::string> CallsLetThrough(const std::string &folder);

} // namespace fuzzing
