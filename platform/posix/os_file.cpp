// Raw files on posix: descriptors, pread and pwrite.
#include "platform/os_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/posix/posix_error.h"

namespace platform::os {

FileHandle OpenFile(const std::string &path, OpenMode mode) {
  // O_NONBLOCK: opening a fifo for reading must not wait for a writer; the
  // check below refuses anything but a regular file anyway.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
  case OpenMode::ReadWrite:
    flags |= O_RDWR | O_CREAT;
    break;
  case OpenMode::ReadOnly:
    flags |= O_RDONLY;
    break;
  case OpenMode::Output:
    flags |= O_RDWR | O_CREAT | O_TRUNC;
    break;
  }
  const std::string native = posix::NativePath(path);
  const int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0)
    posix::RaiseErrno(errno, path);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Raise(err::kPathFileAccess, path);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int64_t FileSize(FileHandle handle, const std::string &path) {
  struct stat st {};
  if (fstat(static_cast<int>(handle), &st) != 0)
    posix::RaiseErrno(errno, path);
  return st.st_size;
}

size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path) {
  for (;;) {
    const ssize_t n = pread(static_cast<int>(handle), buffer, count, offset);
    if (n >= 0)
      return static_cast<size_t>(n);
    if (errno != EINTR)
      posix::RaiseErrno(errno, path);
  }
}

void WriteAt(FileHandle handle, int64_t offset, const void *buffer,
             size_t count, const std::string &path) {
  const auto *bytes = static_cast<const char *>(buffer);
  while (count > 0) {
    const ssize_t n = pwrite(static_cast<int>(handle), bytes, count, offset);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      posix::RaiseErrno(errno, path);
    }
    bytes += n;
    offset += n;
    count -= static_cast<size_t>(n);
  }
}

void CloseFile(FileHandle handle, const std::string &path) {
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR)
    posix::RaiseErrno(errno, path);
}

} // namespace platform::os
