// File-system operations by path on posix: listing, deleting, copying and
// creating files and folders, with Windows path and wildcard rules.
#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/fs_internal.h"
#include "platform/os_file.h"
#include "platform/posix/posix_error.h"

namespace platform::fs {

namespace {

// A descriptor closed when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  // Closes now and reports the OS result (0 or -1 with errno).
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

private:
  int fd_;
};

// The folder a prefix names, in native form: "." for the current folder.
std::string NativeFolder(const std::string &prefix) {
  return prefix.empty() ? std::string(".") : posix::NativePath(prefix);
}

// The prefix as a folder name for messages.
std::string FolderForMessage(const std::string &prefix) {
  return prefix.empty() ? std::string(".") : prefix;
}

// A child path for messages, in the separator style of its parent.
std::string Join(const std::string &parent, const std::string &name) {
  const bool windowsStyle = parent.find('\\') != std::string::npos &&
                            parent.find('/') == std::string::npos;
  return parent + (windowsStyle ? '\\' : '/') + name;
}

bool HasWildcard(const std::string &name) {
  return name.find_first_of("*?") != std::string::npos;
}

bool IsHidden(const std::string &name) {
  return !name.empty() && name[0] == '.';
}

// A name our paths can address: "\" separates folders in every path we are
// given, so an entry whose posix name holds one cannot be named.
bool IsAddressable(const std::string &name) {
  return name.find('\\') == std::string::npos;
}

bool IsDotOrDotDot(const std::string &name) {
  return name == "." || name == "..";
}

// Listing order: case-insensitive like NTFS, then by bytes so that names
// differing only in case (possible on posix) keep a fixed order.
bool NameLess(const std::string &a, const std::string &b) {
  const int order = CompareNamesNoCase(a, b);
  return order != 0 ? order < 0 : a < b;
}

// Every entry of an open folder except "." and "..". The descriptor stays
// open and owned by the caller.
std::vector<std::string> ReadNames(int folder, const std::string &where) {
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    posix::RaiseErrno(errno, where);
  DIR *dir = fdopendir(copy);
  if (!dir) {
    const int code = errno;
    ::close(copy);
    posix::RaiseErrno(code, where);
  }
  std::unique_ptr<DIR, int (*)(DIR *)> owner(dir, closedir);
  rewinddir(dir);
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent *entry = readdir(dir);
    if (!entry) {
      if (errno != 0)
        posix::RaiseErrno(errno, where);
      break;
    }
    std::string name = entry->d_name;
    if (!IsDotOrDotDot(name))
      names.push_back(std::move(name));
  }
  return names;
}

// Opens a folder for listing; -1 with errno set when it cannot be opened.
int OpenFolder(const std::string &native) {
  return ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void WriteAll(int fd, const char *bytes, size_t count,
              const std::string &path) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      posix::RaiseErrno(errno, path);
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
}

bool IsFolderAt(int folder, const std::string &name) {
  struct stat st {};
  return fstatat(folder, name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Deletes the folder name in parent with everything in it. Symbolic links
// are removed as links and never followed. A file or folder without the
// owner's write permission counts as read-only and is not forced: it stops
// the deletion with kPermissionDenied, and what came before it stays deleted.
void DeleteTree(int parent, const std::string &name, const std::string &shown,
                const struct stat &st) {
  if (!(st.st_mode & S_IWUSR))
    Raise(err::kPermissionDenied, shown + " (только для чтения)");
  Fd folder(openat(parent, name.c_str(),
                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0)
    posix::RaiseErrno(errno, shown);
  std::vector<std::string> names = ReadNames(folder.get(), shown);
  std::sort(names.begin(), names.end(), NameLess);
  for (const std::string &child : names) {
    const std::string childShown = Join(shown, child);
    struct stat cst {};
    if (fstatat(folder.get(), child.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT)
        continue; // gone meanwhile
      posix::RaiseErrno(errno, childShown);
    }
    if (S_ISDIR(cst.st_mode)) {
      DeleteTree(folder.get(), child, childShown, cst);
      continue;
    }
    if (S_ISREG(cst.st_mode) && !(cst.st_mode & S_IWUSR))
      Raise(err::kPermissionDenied, childShown + " (только для чтения)");
    if (unlinkat(folder.get(), child.c_str(), 0) != 0 && errno != ENOENT)
      posix::RaiseErrno(errno, childShown);
  }
  folder.Close();
  if (unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0)
    posix::RaiseErrno(errno, shown);
}

// Removes one matched folder: a link to a folder goes as a link.
void RemoveFolderAt(int parent, const std::string &name,
                    const std::string &shown) {
  struct stat st {};
  if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT)
      Raise(err::kPathNotFound, shown);
    posix::RaiseErrno(errno, shown);
  }
  if (S_ISLNK(st.st_mode)) {
    if (unlinkat(parent, name.c_str(), 0) != 0)
      posix::RaiseErrno(errno, shown);
    return;
  }
  if (!S_ISDIR(st.st_mode))
    Raise(err::kPathNotFound, shown);
  DeleteTree(parent, name, shown, st);
}

} // namespace

int32_t FileLen(const std::string &path) {
  struct stat st {};
  if (stat(posix::NativePath(path).c_str(), &st) != 0)
    posix::RaiseErrno(errno, path);
  if (!S_ISREG(st.st_mode))
    Raise(err::kPathFileAccess, path);
  if (st.st_size > INT32_MAX)
    Raise(err::kOverflow, path);
  return static_cast<int32_t>(st.st_size);
}

std::vector<std::string> ListFiles(const std::string &pattern) {
  const SplitPath split = Split(pattern);
  std::vector<std::string> names;
  if (split.name.empty())
    return names;

  if (!HasWildcard(split.name)) {
    if (IsHidden(split.name))
      return names;
    struct stat st {};
    if (stat(posix::NativePath(pattern).c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
        return names;
      posix::RaiseErrno(errno, pattern);
    }
    if (S_ISREG(st.st_mode))
      names.push_back(split.name);
    return names;
  }

  Fd folder(OpenFolder(NativeFolder(split.prefix)));
  if (folder.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      return names;
    posix::RaiseErrno(errno, FolderForMessage(split.prefix));
  }
  for (std::string &name :
       ReadNames(folder.get(), FolderForMessage(split.prefix))) {
    if (IsHidden(name) || !IsAddressable(name) ||
        !MatchesPattern(name, split.name))
      continue;
    struct stat st {};
    if (fstatat(folder.get(), name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode))
      names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

SplitPath Split(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos)
    return {std::string(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

void RemoveFile(const std::string &path) {
  if (unlink(posix::NativePath(path).c_str()) != 0 && errno != ENOENT)
    posix::RaiseErrno(errno, path);
}

void FileCopy(const std::string &source, const std::string &target) {
  // A regular file only, and no waiting on a fifo: as the numbered files open.
  Fd in(static_cast<int>(os::OpenFile(source, OpenMode::ReadOnly)));
  struct stat from {};
  if (fstat(in.get(), &from) != 0)
    posix::RaiseErrno(errno, source);

  // Opened without truncating: a target that is the source itself (the same
  // path, a link, a hard link) must be recognised before a byte is lost.
  const std::string native = posix::NativePath(target);
  Fd out(::open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                0666));
  if (out.get() < 0)
    posix::RaiseErrno(errno, target);
  struct stat to {};
  if (fstat(out.get(), &to) != 0)
    posix::RaiseErrno(errno, target);
  if (!S_ISREG(to.st_mode))
    Raise(err::kPathFileAccess, target);
  if (to.st_dev == from.st_dev && to.st_ino == from.st_ino)
    Raise(err::kPermissionDenied,
          source + " -> " + target + " (файл копируется сам в себя)");
  fcntl(out.get(), F_SETFL, fcntl(out.get(), F_GETFL) & ~O_NONBLOCK);
  if (ftruncate(out.get(), 0) != 0)
    posix::RaiseErrno(errno, target);

  constexpr size_t kChunk = size_t{64} * 1024;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.get(), kChunk);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      posix::RaiseErrno(errno, source);
    }
    if (n == 0)
      break;
    WriteAll(out.get(), buffer.get(), static_cast<size_t>(n), target);
  }
  if (out.Close() != 0 && errno != EINTR)
    posix::RaiseErrno(errno, target);
}

void MkDir(const std::string &path) {
  if (path.empty())
    Raise(err::kPathNotFound, "\"\"");
  if (mkdir(posix::NativePath(path).c_str(), 0777) == 0)
    return;
  switch (errno) {
  case EEXIST:
    Raise(err::kPathFileAccess, path);
  case ENOENT:
  case ENOTDIR:
    Raise(err::kPathNotFound, path);
  default:
    posix::RaiseErrno(errno, path);
  }
}

bool FolderExists(const std::string &path) {
  struct stat st {};
  return !path.empty() && stat(posix::NativePath(path).c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

bool SameFile(const std::string &a, const std::string &b) {
  struct stat x {
  }, y{};
  if (a.empty() || b.empty() || stat(posix::NativePath(a).c_str(), &x) != 0 ||
      stat(posix::NativePath(b).c_str(), &y) != 0)
    return false;
  return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void DeleteFolder(const std::string &pattern) {
  // A trailing separator names the same folder; the root, "." and ".." are
  // never deleted.
  std::string path = pattern;
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  const SplitPath split = Split(path);
  if (split.name.empty() || IsDotOrDotDot(split.name))
    Raise(err::kPathNotFound, pattern);

  Fd folder(OpenFolder(NativeFolder(split.prefix)));
  if (folder.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      Raise(err::kPathNotFound, pattern);
    posix::RaiseErrno(errno, FolderForMessage(split.prefix));
  }

  std::vector<std::string> matched;
  if (!HasWildcard(split.name)) {
    if (IsFolderAt(folder.get(), split.name))
      matched.push_back(split.name);
  } else {
    // Folders match whether they are hidden or not.
    for (std::string &name :
         ReadNames(folder.get(), FolderForMessage(split.prefix)))
      if (IsAddressable(name) && MatchesPattern(name, split.name) &&
          IsFolderAt(folder.get(), name))
        matched.push_back(std::move(name));
    std::sort(matched.begin(), matched.end(), NameLess);
  }
  if (matched.empty())
    Raise(err::kPathNotFound, pattern);

  for (const std::string &name : matched)
    RemoveFolderAt(folder.get(), name, split.prefix + name);
}

} // namespace platform::fs
