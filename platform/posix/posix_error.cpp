// errno to platform error numbers.
#include "platform/posix/posix_error.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/posix/syscalls.h"

namespace platform::posix {

// "a/b/" is the name b of a. An empty path has no folder: Windows finds no
// path there.
bool ParentExists(const std::string &native) {
  if (native.empty())
    return false;
  const size_t slash = native.find_last_of('/', native.find_last_not_of('/'));
  if (slash == std::string::npos)
    return true;
  const std::string parent = slash == 0 ? "/" : native.substr(0, slash);
  struct stat st {};
  return unhooked::Stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RaiseErrno(int code, const std::string &path) {
  int32_t number = err::kPathFileAccess;
  switch (code) {
  case ENOENT:
    number = ParentExists(ResolvedPath(path)) ? err::kFileNotFound
                                              : err::kPathNotFound;
    break;
  case ENOTDIR:
    number = err::kPathNotFound;
    break;
  case EACCES:
  case EPERM:
  case EROFS:
  case ETXTBSY:
  case EBUSY:
    number = err::kPermissionDenied;
    break;
  case EEXIST:
  case ENOTEMPTY:
    number = err::kPathFileAccess;
    break;
  case ENOSPC:
  case EDQUOT:
    number = err::kDiskFull;
    break;
  case EMFILE:
  case ENFILE:
    number = err::kTooManyFiles;
    break;
  case ENAMETOOLONG:
  case EILSEQ:
    number = err::kBadFileName;
    break;
  case EIO:
  case EXDEV: // a rename to another volume, which a move then copies
    number = err::kDeviceIo;
    break;
  case EFBIG:
  case EOVERFLOW:
    number = err::kOverflow;
    break;
  default:
    break;
  }
  Raise(number, path + " (" + std::strerror(code) + ")");
}

} // namespace platform::posix
