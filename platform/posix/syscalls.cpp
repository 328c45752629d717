// The posix file layer's system calls behind the test seam.
#include "platform/posix/syscalls.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

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
  return ::open(native, flags, mode);
}

int OpenAt(int folder, const char *name, int flags, const std::string &path,
           mode_t mode) {
  UPD_FAULT((flags & O_CREAT) ? Call::Create : Call::Open, path);
  return ::openat(folder, name, flags, mode);
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
  return ::unlink(native);
}

int UnlinkAt(int folder, const char *name, int flags, const std::string &path) {
  UPD_FAULT((flags & AT_REMOVEDIR) ? Call::RemoveFolder : Call::Delete, path);
  return ::unlinkat(folder, name, flags);
}

int MkDir(const char *native, mode_t mode, const std::string &path) {
  UPD_FAULT(Call::CreateFolder, path);
  return ::mkdir(native, mode);
}

int Rename(const char *from, const char *to, const std::string &path) {
  UPD_FAULT(Call::Rename, path);
  const int result =
      ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  if (result == 0 || errno != EINVAL)
    return result;
  // A file system without the flag: the look and the move are two steps,
  // which only this user's own folders see.
  struct stat st {};
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

int Stat(const char *native, struct stat *st, const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return ::stat(native, st);
}

int LStat(const char *native, struct stat *st, const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return ::lstat(native, st);
}

int FStatAt(int folder, const char *name, struct stat *st, int flags,
            const std::string &path) {
  UPD_FAULT(Call::Inspect, path);
  return ::fstatat(folder, name, st, flags);
}

} // namespace sys
} // namespace platform::posix
