// The posix file layer's system calls behind the test seam.
#include "platform/posix/syscalls.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/fd.h"

namespace platform::posix {

namespace {

FaultHook &Hook() {
  static FaultHook hook;
  return hook;
}

// 0, or the errno that the hook wants the call to fail with.
int Injected(Call call, const std::string &path) {
  const FaultHook &hook = Hook();
  return hook ? hook(call, path) : 0;
}

// Fails the call as the OS would when the hook says so.
#define UPD_FAULT(call, path)                                                  \
  do {                                                                         \
    if (const int injected = Injected(call, path)) {                           \
      errno = injected;                                                        \
      return -1;                                                               \
    }                                                                          \
  } while (false)

// UTF-16 units of UTF-8 text: four bytes make a surrogate pair.
size_t Utf16Units(std::string_view text) {
  size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80)
      units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Where a path call goes: Linux takes a path of fewer than PATH_MAX bytes
// whole, Windows (which the run stands in for) far longer ones. A longer
// path is reached a piece at a time: each leading piece below PATH_MAX is
// opened as a folder relative to the one before, links followed as in a
// whole path, and the call goes to the rest relative to the last.
class Reached {
public:
  Reached(int folder, const char *name) : folder_(folder), name_(name) {
    const std::string_view whole(name);
    if (folder == AT_FDCWD && TooLongForWindows(whole)) {
      folder_ = -1;
      errno = ENAMETOOLONG;
      return;
    }
    if (HoldsThreeDotFolder(whole)) {
      folder_ = -1;
      errno = EILSEQ;
      return;
    }
    if (whole.size() < PATH_MAX)
      return;
    std::string_view rest = whole;
    while (rest.size() >= PATH_MAX) {
      // Never at a slash that ends the path: the call goes to a name.
      const size_t cut =
          rest.rfind('/', std::min<size_t>(PATH_MAX - 1, rest.size() - 2));
      if (cut == std::string_view::npos || cut == 0) {
        Fail(ENAMETOOLONG); // one name longer than any file system takes
        return;
      }
      const std::string piece(rest.substr(0, cut));
      const int next =
          ::openat(folder_, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) {
        Fail(errno);
        return;
      }
      Own(next);
      rest.remove_prefix(cut + 1);
    }
    rest_ = rest;
    name_ = rest_.c_str();
  }
  // -1 with errno set when the path cannot be reached.
  int Folder() const { return folder_; }
  const char *Name() const { return name_; }

private:
  void Own(int fd) {
    const int before = owned_.Release();
    if (before >= 0)
      ::close(before);
    owned_.Reset(fd);
    folder_ = fd;
  }
  void Fail(int code) {
    Own(-1);
    errno = code;
  }

  int folder_;
  const char *name_;
  Fd owned_; // the folder opened last, closed with this
  std::string rest_;
};

// call(folder, name) on where name in folder is reached, or -1 with errno
// set as reaching it failed.
template <typename CallAt>
int AtReached(int folder, const char *name, CallAt call) {
  const Reached reached(folder, name);
  return reached.Folder() == -1 ? -1 : call(reached.Folder(), reached.Name());
}

} // namespace

bool HoldsThreeDotFolder(std::string_view native) {
  for (size_t at = native.find(".../"); at != std::string_view::npos;
       at = native.find(".../", at + 1))
    if (at == 0 || native[at - 1] == '/')
      return true;
  return false;
}

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) != nullptr)
    return buffer;
  // Deeper than PATH_MAX: the C library walks up to the root.
  const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0),
                                                        &std::free);
  return cwd ? cwd.get() : std::string();
}

bool TooLongForWindows(std::string_view native) {
  // "\\?\C:" before the path and the NUL after it
  constexpr size_t kWindowsFormExtra = 7;
  constexpr size_t kWindowsPathUnits = 32767;
  if (native.starts_with('/'))
    return native.size() + kWindowsFormExtra > kWindowsPathUnits &&
           Utf16Units(native) + kWindowsFormExtra > kWindowsPathUnits;
  // Windows makes a relative path full from the current folder first, the
  // ".." that NativePath leaves at its start each taking a name away.
  std::string folder = CurrentFolder();
  if (folder.empty())
    return false; // the OS cannot tell: the call finds out
  while (native == ".." || native.starts_with("../")) {
    native.remove_prefix(std::min<size_t>(3, native.size()));
    folder.resize(std::max<size_t>(1, folder.find_last_of('/')));
  }
  if (native == ".")
    native = {};
  const size_t separator = native.empty() || folder == "/" ? 0 : 1;
  return folder.size() + separator + native.size() + kWindowsFormExtra >
             kWindowsPathUnits &&
         Utf16Units(folder) + separator + Utf16Units(native) +
                 kWindowsFormExtra >
             kWindowsPathUnits;
}

const char *CallName(Call call) {
  switch (call) {
  case Call::Open:
    return "open";
  case Call::Create:
    return "create";
  case Call::Read:
    return "read";
  case Call::Write:
    return "write";
  case Call::Close:
    return "close";
  case Call::Delete:
    return "delete";
  case Call::CreateFolder:
    return "create folder";
  case Call::RemoveFolder:
    return "remove folder";
  case Call::Rename:
    return "rename";
  case Call::Inspect:
    return "inspect";
  case Call::Permissions:
    return "change permissions";
  }
  return "?";
}

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

namespace sys {

int Open(const std::string &path, const char *native, int flags, mode_t mode) {
  UPD_FAULT(Call::Open, path);
  return unhooked::Open(native, flags, mode);
}

int OpenAt(int folder, const char *name, int flags, const std::string &path,
           mode_t mode) {
  UPD_FAULT((flags & O_CREAT) ? Call::Create : Call::Open, path);
  return AtReached(folder, name, [&](int at, const char *rest) {
    return ::openat(at, rest, flags, mode);
  });
}

ssize_t PRead(int fd, void *buffer, size_t count, off_t offset,
              const std::string &path) {
  UPD_FAULT(Call::Read, path);
  return ::pread(fd, buffer, count, offset);
}

ssize_t PWrite(int fd, const void *buffer, size_t count, off_t offset,
               const std::string &path) {
  UPD_FAULT(Call::Write, path);
  return ::pwrite(fd, buffer, count, offset);
}

int Close(int fd, const std::string &path) {
  if (const int injected = Injected(Call::Close, path)) {
    ::close(fd); // a failed close still releases the descriptor
    errno = injected;
    return -1;
  }
  return ::close(fd);
}

int FTruncate(int fd, off_t length, const std::string &path) {
  UPD_FAULT(Call::Write, path);
  return ::ftruncate(fd, length);
}

int FChmod(int fd, mode_t mode, const std::string &path) {
  UPD_FAULT(Call::Permissions, path);
  return ::fchmod(fd, mode);
}

int FutimeNs(int fd, const struct timespec times[2], const std::string &path) {
  UPD_FAULT(Call::Permissions, path);
  return ::futimens(fd, times);
}

int FStat(int fd, struct stat *st, const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return ::fstat(fd, st);
}

int Unlink(const char *native, const std::string &path) {
  UPD_FAULT(Call::Delete, path);
  return unhooked::Unlink(native);
}

int UnlinkAt(int folder, const char *name, int flags, const std::string &path) {
  UPD_FAULT((flags & AT_REMOVEDIR) ? Call::RemoveFolder : Call::Delete, path);
  return AtReached(folder, name, [&](int at, const char *rest) {
    return ::unlinkat(at, rest, flags);
  });
}

int MkDir(const char *native, mode_t mode, const std::string &path) {
  UPD_FAULT(Call::CreateFolder, path);
  return AtReached(AT_FDCWD, native, [&](int at, const char *rest) {
    return ::mkdirat(at, rest, mode);
  });
}

int Rename(const char *from, const char *to, const std::string &path) {
  UPD_FAULT(Call::Rename, path);
  const Reached source(AT_FDCWD, from);
  if (source.Folder() == -1)
    return -1;
  const Reached target(AT_FDCWD, to);
  if (target.Folder() == -1)
    return -1;
  const int result =
      ::renameat2(source.Folder(), source.Name(), target.Folder(),
                  target.Name(), RENAME_NOREPLACE);
  if (result == 0 || errno != EINVAL)
    return result;
  // A file system without the flag: the look and the move are two steps,
  // which only this user's own folders see.
  struct stat st {};
  if (::fstatat(target.Folder(), target.Name(), &st, AT_SYMLINK_NOFOLLOW) ==
      0) {
    errno = EEXIST;
    return -1;
  }
  return ::renameat(source.Folder(), source.Name(), target.Folder(),
                    target.Name());
}

int Stat(const char *native, struct stat *st, const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return unhooked::Stat(native, st);
}

int LStat(const char *native, struct stat *st, const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return unhooked::LStat(native, st);
}

int FStatAt(int folder, const char *name, struct stat *st, int flags,
            const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return AtReached(folder, name, [&](int at, const char *rest) {
    return ::fstatat(at, rest, st, flags);
  });
}

int LinkBelow(const char *top, std::string_view below,
              const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  Fd at(unhooked::Open(top, O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (at.get() < 0)
    return -1;
  while (!below.empty()) {
    // A piece below PATH_MAX at a time, each from the folder the last led to.
    size_t cut = below.size();
    if (cut >= PATH_MAX) {
      cut = below.rfind('/', PATH_MAX - 1);
      if (cut == std::string_view::npos || cut == 0) {
        errno = ENAMETOOLONG;
        return -1;
      }
    }
    const std::string piece(below.substr(0, cut));
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const int next = static_cast<int>(
        ::syscall(SYS_openat2, at.get(), piece.c_str(), &how, sizeof how));
    if (next < 0) {
      if (errno == ELOOP)
        return 1;
      return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    }
    ::close(at.Release());
    at.Reset(next);
    below.remove_prefix(std::min(below.size(), cut + 1));
  }
  return 0;
}

} // namespace sys

namespace unhooked {

int Open(const char *native, int flags, mode_t mode) {
  return AtReached(AT_FDCWD, native, [&](int at, const char *rest) {
    return ::openat(at, rest, flags, mode);
  });
}

int Stat(const char *native, struct stat *st) {
  return AtReached(AT_FDCWD, native, [&](int at, const char *rest) {
    return ::fstatat(at, rest, st, 0);
  });
}

int LStat(const char *native, struct stat *st) {
  return AtReached(AT_FDCWD, native, [&](int at, const char *rest) {
    return ::fstatat(at, rest, st, AT_SYMLINK_NOFOLLOW);
  });
}

int Unlink(const char *native) {
  return AtReached(AT_FDCWD, native, [](int at, const char *rest) {
    return ::unlinkat(at, rest, 0);
  });
}

} // namespace unhooked
} // namespace platform::posix
