// The open descriptors of held files, by device and inode.
#include "platform/posix/held_files.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <vector>

#include "platform/posix/fd.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/running_program.h"
#include "platform/posix/syscalls.h"

namespace platform::posix {

namespace {

struct Held {
  int fd;
  dev_t device;
  ino_t inode;
};

// A handful at a time: the script, a copy's two ends, the journal. Never
// destroyed: the held temporary folder is let go by a destructor that runs
// at exit, after this table's would have.
std::vector<Held> &Table() {
  static auto *held = new std::vector<Held>();
  return *held;
}

struct HeldFolder {
  int fd;
  std::string native;
};

std::vector<HeldFolder> &Folders() {
  static auto *held = new std::vector<HeldFolder>();
  return *held;
}

} // namespace

void NoteHeldFolder(int fd, const std::string &native) {
  Folders().push_back({fd, native});
}

void ForgetHeldFolder(int fd) {
  std::erase_if(Folders(), [fd](const HeldFolder &h) { return h.fd == fd; });
}

Reach ReachOf(const std::string &native) {
  if (TooLongForWindows(native))
    return {AT_FDCWD, native}; // which fails as it fails on Windows
  for (const HeldFolder &h : Folders()) {
    if (native == h.native)
      return {h.fd, "."};
    if (native.size() > h.native.size() + 1 && native.starts_with(h.native) &&
        native[h.native.size()] == '/')
      return {h.fd, native.substr(h.native.size() + 1)};
  }
  return {AT_FDCWD, native};
}

void NoteHeld(int fd, const struct stat &st) {
  Table().push_back({fd, st.st_dev, st.st_ino});
}

void ForgetHeld(int fd) {
  std::vector<Held> &held = Table();
  held.erase(std::remove_if(held.begin(), held.end(),
                            [fd](const Held &h) { return h.fd == fd; }),
             held.end());
}

void RefuseHeld(const struct stat &st, const std::string &shown) {
  if (IsRunningProgramFolder(st))
    RaiseErrno(EBUSY, shown);
  for (const Held &h : Table())
    if (h.device == st.st_dev && h.inode == st.st_ino)
      RaiseErrno(EBUSY, shown);
}

// A write lease is granted only while no other descriptor is open on the
// file, in any process: the closest posix has to Windows' sharing modes.
bool OpenElsewhere(int fd, const std::string &path) {
  struct stat st {};
  if (sys::FStat(fd, &st, path) != 0 || !S_ISREG(st.st_mode))
    return false;
  if (IsRunningProgram(st))
    return true; // held by the program running, as Windows holds it
  if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    return false;
  }
  return errno == EAGAIN || errno == EBUSY;
}

void RefuseOpenElsewhere(int folder, const char *name,
                         const std::string &shown) {
  // Not openable (unreadable, gone): nothing is known to hold it.
  const Fd file(sys::OpenAt(
      folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, shown));
  if (file.get() >= 0 && OpenElsewhere(file.get(), shown))
    RaiseErrno(EBUSY, shown);
}

} // namespace platform::posix
