// Renames, empty folders, files in use and file times on posix: what an
// install that can be undone needs of the file system.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/posix/fd.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/syscalls.h"

namespace platform::fs {

void Rename(const std::string &from, const std::string &to) {
  const std::string source = posix::ResolvedPath(from);
  const std::string target = posix::ResolvedPath(to);
  if (posix::sys::Rename(source.c_str(), target.c_str(), from) != 0) {
    switch (errno) {
    case EEXIST:
    case ENOTEMPTY:
      Raise(err::kPathFileAccess, to);
    case ENOENT: {
      struct stat st {};
      if (posix::sys::LStat(source.c_str(), &st, from) != 0)
        Raise(err::kFileNotFound, from);
      Raise(err::kPathNotFound, to);
    }
    default:
      posix::RaiseErrno(errno, from + " -> " + to);
    }
  }
  posix::NoteMoved(source, target);
}

void RemoveEmptyFolder(const std::string &path) {
  const std::string native = posix::ResolvedPath(path);
  struct stat st {};
  if (posix::sys::LStat(native.c_str(), &st, path) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      Raise(err::kPathNotFound, path);
    posix::RaiseErrno(errno, path);
  }
  if (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))
    Raise(err::kPathFileAccess, path);
  const int flags = S_ISLNK(st.st_mode) ? 0 : AT_REMOVEDIR;
  if (posix::sys::UnlinkAt(AT_FDCWD, native.c_str(), flags, path) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST)
      Raise(err::kPathFileAccess, path);
    posix::RaiseErrno(errno, path);
  }
  posix::ForgetNames();
}

bool InUse(const std::string &path) {
  const std::string native = posix::ResolvedPath(path);
  posix::Fd file(posix::sys::Open(
      path, native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0)
    return false; // missing, a link, or unreadable: nothing to wait for
  struct stat st {};
  if (posix::sys::FStat(file.get(), &st, path) != 0 || !S_ISREG(st.st_mode))
    return false;
  // A write lease is granted only while no other descriptor is open on the
  // file, in any process: the closest posix has to Windows' sharing modes.
  if (::fcntl(file.get(), F_SETLEASE, F_WRLCK) == 0) {
    ::fcntl(file.get(), F_SETLEASE, F_UNLCK);
    return false;
  }
  return errno == EAGAIN || errno == EBUSY;
}

void SetModifiedTime(const std::string &path, int64_t seconds,
                     uint32_t nanoseconds) {
  const std::string native = posix::ResolvedPath(path);
  posix::Fd file(posix::sys::Open(path, native.c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0)
    posix::RaiseErrno(errno, path);
  const struct timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
  if (posix::sys::FutimeNs(file.get(), times, path) != 0)
    posix::RaiseErrno(errno, path);
}

} // namespace platform::fs
