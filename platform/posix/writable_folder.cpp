// A folder of this user's without its write permission: Windows would
// change its entries all the same.
#include "platform/posix/writable_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/fd.h"

namespace platform::posix {

namespace {

// The folder that holds name: "." for a bare name. A name may end in "/"
// (a folder made as "new\"), which is still the entry in the folder above.
std::string ParentOf(const std::string &name) {
  const size_t end = name.find_last_not_of('/');
  const size_t slash =
      end == std::string::npos ? 0 : name.find_last_of('/', end);
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? std::string("/") : name.substr(0, slash);
}

} // namespace

int ChangeInFolder(int base, const std::string &name,
                   const std::function<int()> &change) {
  const int result = change();
  if (result >= 0 || errno != EACCES)
    return result;
  const int error = errno;
  const Fd folder(::openat(base, ParentOf(name).c_str(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0 ||
      st.st_uid != ::geteuid() || (st.st_mode & S_IWUSR) != 0 ||
      ::fchmod(folder.get(), (st.st_mode & 07777) | S_IWUSR) != 0) {
    errno = error;
    return result;
  }
  const int again = change();
  const int againError = errno;
  // The folder keeps the mode it had: only its entries change.
  ::fchmod(folder.get(), st.st_mode & 07777);
  errno = againError;
  return again;
}

} // namespace platform::posix
