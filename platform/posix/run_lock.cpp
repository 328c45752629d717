// The run's lock on posix: flock on a file beside the temporary folder.
#include "platform/run_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
  return ::fstat(fd, &open) == 0 && ::lstat(native.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

bool TakeRunLock(const std::string &tempFolder) {
  const std::string path = tempFolder + ".lock";
  // Each try that loses the file to an ending run opens it anew; a name
  // that keeps changing under the lock is another run's doing.
  for (int tries = 0; tries < 64; ++tries) {
    const std::string native = posix::ResolvedPath(path);
    const int fd = posix::sys::Open(
        path, native.c_str(),
        O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    // No folder for the file: nothing to guard, the run goes on (and fails
    // where it makes its folder). Anything else there (a folder, a link,
    // another user's file) would let two runs share one temporary folder.
    if (fd < 0) {
      if (errno == ENOENT)
        return true;
      posix::RaiseErrno(errno, path);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      return false;
    }
    // Held until the run ends (ReleaseRunLocks) or the process does.
    if (StillNamed(fd, native)) {
      Held().push_back({fd, native});
      return true;
    }
    ::close(fd);
  }
  return false;
}

void ReleaseRunLocks() {
  // The file goes while the lock is still held, so that no run takes a
  // lock on it after this one and believes itself alone.
  for (const HeldLock &lock : Held()) {
    if (StillNamed(lock.fd, lock.native))
      ::unlink(lock.native.c_str());
    ::close(lock.fd);
  }
  Held().clear();
}

} // namespace platform
