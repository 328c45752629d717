// The file of the program that `updpack run` stands in for.
#pragma once

#include <sys/stat.h>

namespace platform::posix {

// True when st is the running program's file (platform::ProgramPath: the
// package being run). Windows keeps a running program's file from being
// written over or deleted, and reports it in use; the posix backend does
// the same for the package, so that a script that names it ends as it ends
// on Windows.
bool IsRunningProgram(const struct stat &st);

// True when st is the folder that holds the running program's file: opened
// from Explorer, the program runs there, and Windows lets nobody remove or
// rename a process's current folder.
bool IsRunningProgramFolder(const struct stat &st);

} // namespace platform::posix
