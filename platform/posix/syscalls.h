// The system calls of the posix file layer, each behind one test seam: a
// test installs a hook that is asked before every call and may make it fail
// with an errno value of its choice (a full disk, a failing close, a delete
// that is refused), as SQLite's test harness fails its N-th system call.
// Without a hook the calls go straight to the OS.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace platform::posix {

// What a call does to the file system.
enum class Call {
  Open,         // open an existing file or folder
  Create,       // open a file, creating it when it is missing
  Read,         // read from an open file
  Write,        // write to an open file
  Close,        // close a file
  Delete,       // remove a file or a link
  CreateFolder, // make a folder
  RemoveFolder, // remove an empty folder
  Rename,       // rename a file
  Inspect,      // stat, lstat, listing a folder
  Permissions,  // change the permissions or times of an open file or folder
};

const char *CallName(Call call);

// Asked before every call with the path it concerns (as the caller named
// it); 0 lets the call go on, any other value is the errno it fails with.
using FaultHook = std::function<int(Call call, const std::string &path)>;
// Installs hook (an empty function removes it).
void SetFaultHook(FaultHook hook);

// True when Windows refuses the path native as too long: more than 32,767
// UTF-16 units with its NUL in the form "\\?\C:\..." that the Windows
// program hands it, a relative one joined to the current folder first.
bool TooLongForWindows(std::string_view native);

// True when a folder "..." is on the way of the path native, which NativePath
// keeps as written so that it never climbs: Windows takes one dot from a
// name before a separator, and "..\" there is no name any file system
// takes, so every call through it fails as a bad file name.
bool HoldsThreeDotFolder(std::string_view native);

// The current folder, of any length; "" when the OS cannot tell.
std::string CurrentFolder();

namespace sys {

// The calls. Each returns what the OS call returns, -1 with errno set when
// it fails or the hook fails it; path is the name shown to the hook. A path
// may pass PATH_MAX, as on Windows; an absolute one longer than Windows
// takes (32,767 UTF-16 units as "\\?\C:\...") fails with ENAMETOOLONG, and
// one through a folder "..." (".." to Windows) with EILSEQ.
int Open(const std::string &path, const char *native, int flags,
         mode_t mode = 0);
int OpenAt(int folder, const char *name, int flags, const std::string &path,
           mode_t mode = 0);
ssize_t PRead(int fd, void *buffer, size_t count, off_t offset,
              const std::string &path);
ssize_t PWrite(int fd, const void *buffer, size_t count, off_t offset,
               const std::string &path);
int Close(int fd, const std::string &path);
int FTruncate(int fd, off_t length, const std::string &path);
int FChmod(int fd, mode_t mode, const std::string &path);
int FutimeNs(int fd, const struct timespec times[2], const std::string &path);
int FStat(int fd, struct stat *st, const std::string &path);
int Unlink(const char *native, const std::string &path);
int UnlinkAt(int folder, const char *name, int flags, const std::string &path);
int MkDir(const char *native, mode_t mode, const std::string &path);
// Never replaces: fails with EEXIST when something is at to.
int Rename(const char *from, const char *to, const std::string &path);
int Stat(const char *native, struct stat *st, const std::string &path);
int LStat(const char *native, struct stat *st, const std::string &path);
int FStatAt(int folder, const char *name, struct stat *st, int flags,
            const std::string &path);
// Whether a link is on the way from the folder top down to the folder
// below (relative, "a/b"), below itself too, in one walk that refuses to
// follow one: 1 a link, 0 none (every name a folder, or the walk stops at
// a name missing or at a file), -1 with errno set when it cannot tell
// (top cannot be opened, a kernel without the walk, no permission). One
// look (Inspect) at path.
int LinkBelow(const char *top, std::string_view below, const std::string &path);

} // namespace sys

// The same calls without the seam, for the looks a fault must not change
// (the one a message takes, the run lock's checks of its own file), and
// behind the seam's own: a path of any length, as above.
namespace unhooked {
int Open(const char *native, int flags, mode_t mode = 0);
int Stat(const char *native, struct stat *st);
int LStat(const char *native, struct stat *st);
int Unlink(const char *native);
} // namespace unhooked

} // namespace platform::posix
