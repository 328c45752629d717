// The names in one open folder, for the posix backend.
#include "platform/posix/folder_names.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "platform/posix/posix_error.h"

namespace platform::posix {

std::vector<std::string> ReadNames(int folder, const std::string &where) {
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    RaiseErrno(errno, where);
  DIR *dir = fdopendir(copy);
  if (!dir) {
    const int code = errno;
    ::close(copy);
    RaiseErrno(code, where);
  }
  std::unique_ptr<DIR, int (*)(DIR *)> owner(dir, closedir);
  rewinddir(dir);
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent *entry = readdir(dir);
    if (!entry) {
      if (errno != 0)
        RaiseErrno(errno, where);
      break;
    }
    std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(std::move(name));
  }
  return names;
}

} // namespace platform::posix
