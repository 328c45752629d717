// The files and folders this program holds open as Windows holds them.
#pragma once

#include <sys/stat.h>

#include <string>

namespace platform::posix {

// Windows opens the program's own files and the temporary folder it holds
// without delete sharing: while such a handle is open, nobody can delete or
// rename the file or folder, this program included (a sharing violation),
// though it can still be written. The posix backend keeps the same record
// of its open descriptors, so that a script that deletes a file the run
// holds (the script itself, say) fails as it fails on Windows.

// fd, open on what st describes, is held until ForgetHeld.
void NoteHeld(int fd, const struct stat &st);
void ForgetHeld(int fd);

// A folder held so (fs::PrivateFolder, open as fd) keeps its name on
// Windows, where nobody can rename it while it is held; posix cannot refuse
// the rename, so a path inside the folder's native path is opened, created,
// looked at and deleted relative to fd instead: a link that takes the name
// meanwhile leads nowhere.
void NoteHeldFolder(int fd, const std::string &native);
void ForgetHeldFolder(int fd);

// Where a native path is reached: the held folder it lies in and the rest of
// the path ("." for the folder itself), or AT_FDCWD and the path itself.
struct Reach {
  int folder;
  std::string name;
};
Reach ReachOf(const std::string &native);

// Raises kPermissionDenied for shown when st is held open, or is the folder
// the running program runs in.
void RefuseHeld(const struct stat &st, const std::string &shown);

// True when the regular file open as fd is open elsewhere too, in this
// process or another, or is the running program's.
bool OpenElsewhere(int fd, const std::string &path);

// Raises kPermissionDenied for shown when the regular file name in folder
// (AT_FDCWD and a path for none) is open in another process: programs
// open files without delete sharing unless they ask for it, and Windows
// then refuses to delete or rename them.
void RefuseOpenElsewhere(int folder, const char *name,
                         const std::string &shown);

} // namespace platform::posix
