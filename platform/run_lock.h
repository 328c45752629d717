// One run at a time: a second copy of a package, started while the first
// one works in the temporary folder, must not reach that folder.
#pragma once

#include <string>

namespace platform {

// Takes the lock of the run whose temporary folder is tempFolder, held until
// the process ends; false when another process holds it. On Windows a named
// mutex of the session, named after the folder as Windows compares names; on
// posix an exclusive lock (flock) on the file tempFolder + ".lock", made
// 0600 and never opened through a link. Where no lock can be had at all (no
// folder for the file) the run goes on: true; a lock file that is not a
// regular file of the running user closed to everyone else (a folder, a
// link or a fifo in its place, another user's file, one others may open)
// raises, naming it.
bool TakeRunLock(const std::string &tempFolder);

// Lets every lock TakeRunLock took go, at the end of a run (natively the
// lock file goes with it) or for a process that runs more than one update;
// the end of the process lets them go too, leaving the file natively.
void ReleaseRunLocks();

} // namespace platform
