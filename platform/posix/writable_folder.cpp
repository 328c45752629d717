// A folder of this user's without its write permission: Windows would
// change its entries all the same, and move it too.
#include "platform/posix/writable_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/fd.h"
#include "platform/posix/native_path.h"

namespace platform::posix {

namespace {

// A folder of this user's without its owner's write permission, given it
// until Restore, which puts back the mode it had. Reached through no link
// at its own name.
class Lifted {
public:
  Lifted(int base, const std::string &path)
      : folder_(::openat(base, path.c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
    struct stat st {};
    if (folder_.get() < 0 || ::fstat(folder_.get(), &st) != 0 ||
        st.st_uid != ::geteuid() || (st.st_mode & S_IWUSR) != 0)
      return;
    mode_ = st.st_mode & 07777;
    lifted_ = ::fchmod(folder_.get(), mode_ | S_IWUSR) == 0;
  }
  bool Done() const { return lifted_; }
  void Restore() const {
    if (lifted_)
      ::fchmod(folder_.get(), mode_);
  }

private:
  Fd folder_;
  mode_t mode_ = 0;
  bool lifted_ = false;
};

} // namespace

int ChangeInFolder(int base, const std::string &name,
                   const std::function<int()> &change) {
  const int result = change();
  if (result >= 0 || errno != EACCES)
    return result;
  const int error = errno;
  // The folder that holds name, and name itself when it is a folder: one
  // moved to another folder changes its own "..".
  const Lifted parent(base, ParentOf(name));
  const Lifted self(base, name.substr(0, name.find_last_not_of('/') + 1));
  if (!parent.Done() && !self.Done()) {
    errno = error;
    return result;
  }
  const int again = change();
  const int againError = errno;
  // The folders keep the modes they had: only their entries change.
  self.Restore();
  parent.Restore();
  errno = againError;
  return again;
}

} // namespace platform::posix
