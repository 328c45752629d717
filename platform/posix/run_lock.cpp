// The run's lock on posix: flock on a file beside the temporary folder.
#include "platform/run_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/error.h"
#include "platform/posix/fd.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/syscalls.h"

namespace platform {

namespace {

struct HeldLock {
  int fd;
  std::string native; // the lock file's name on disk
};

std::vector<HeldLock> &Held() {
  static std::vector<HeldLock> held;
  return held;
}

// Whether the file open as fd is still the one at native. A run that ends
// removes its lock file before it lets the lock go, so a lock taken on a
// file that has since left its name guards nothing.
bool StillNamed(int fd, const std::string &native) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 &&
         posix::unhooked::LStat(native.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Why the file open as fd is no lock of this run's own, empty when it is
// one: a regular file of the running user that no one else may open.
// Whoever can open the file can hold its lock and deny every run, and
// whoever owns it can move it away from under a run and let a second one
// in; a file made here is 0600 whatever the umask.
std::string_view Untrusted(const struct stat &st) {
  if (!S_ISREG(st.st_mode))
    return " (not a regular file)";
  if (st.st_uid != ::geteuid())
    return " (another user's file)";
  if (st.st_mode & (S_IRWXG | S_IRWXO))
    return " (open to other users)";
  return {};
}

} // namespace

bool TakeRunLock(const std::string &tempFolder) {
  const std::string path = tempFolder + ".lock";
  // Each try that loses the file to an ending run opens it anew; a name
  // that keeps changing under the lock is another run's doing.
  for (int tries = 0; tries < 64; ++tries) {
    const std::string native = posix::ResolvedPath(path);
    // Read-only: flock needs no more, and a lock file that a umask without
    // the owner's write bit left read-only still opens (and is mended).
    posix::Fd fd(posix::sys::Open(
        path, native.c_str(),
        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    // No folder for the file: nothing to guard, the run goes on (and fails
    // where it makes its folder). Anything else there (a folder, a link, a
    // fifo, another user's file) would let two runs share one temporary
    // folder, or let someone else decide whether a run goes on: the run
    // ends, naming it, as it does at a temporary folder not its own.
    if (fd.get() < 0) {
      if (errno == ENOENT)
        return true;
      posix::RaiseErrno(errno, path);
    }
    struct stat st {};
    if (posix::sys::FStat(fd.get(), &st, path) != 0)
      posix::RaiseErrno(errno, path);
    if (const std::string_view why = Untrusted(st); !why.empty())
      Raise(err::kPathFileAccess, path + std::string(why));
    // The umask cuts a new file's mode: the lock file is 0600 exactly, so
    // that the next run opens it as this one did.
    if ((st.st_mode & 07777) != 0600 &&
        posix::sys::FChmod(fd.get(), 0600, path) != 0)
      posix::RaiseErrno(errno, path);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
      return false;
    // Held until the run ends (ReleaseRunLocks) or the process does.
    if (StillNamed(fd.get(), native)) {
      Held().push_back({fd.Release(), native});
      return true;
    }
  }
  return false;
}

void ReleaseRunLocks() {
  // The file goes while the lock is still held, so that no run takes a
  // lock on it after this one and believes itself alone.
  for (const HeldLock &lock : Held()) {
    if (StillNamed(lock.fd, lock.native))
      posix::unhooked::Unlink(lock.native.c_str());
    ::close(lock.fd);
  }
  Held().clear();
}

} // namespace platform
