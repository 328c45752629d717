// The run's lock on posix: flock on a file beside the temporary folder.
#include "platform/run_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/syscalls.h"

namespace platform {

namespace {

std::vector<int> &Held() {
  static std::vector<int> held;
  return held;
}

} // namespace

bool TakeRunLock(const std::string &tempFolder) {
  const std::string path = tempFolder + ".lock";
  const int fd = posix::sys::Open(
      path, posix::ResolvedPath(path).c_str(),
      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  // No folder for the file: nothing to guard, the run goes on (and fails
  // where it makes its folder). Anything else there (a folder, a link,
  // another user's file) would let two runs share one temporary folder.
  if (fd < 0) {
    if (errno == ENOENT)
      return true;
    posix::RaiseErrno(errno, path);
  }
  // The descriptor stays open, and the lock held, until the process ends.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
    Held().push_back(fd);
    return true;
  }
  ::close(fd);
  return false;
}

void ReleaseRunLocks() {
  for (const int fd : Held())
    ::close(fd);
  Held().clear();
}

} // namespace platform
