// The owner of one file descriptor of the posix backend.
#pragma once

#include <string>
#include <unistd.h>

#include "platform/posix/syscalls.h"

namespace platform::posix {

// A descriptor closed when it goes out of scope (a failure then ignored).
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
  // Closes now through the file layer's seam and reports the OS result (0,
  // or -1 with errno); there is no descriptor afterwards either way.
  int Close(const std::string &path) {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 ? 0 : sys::Close(fd, path);
  }
  // Takes another descriptor (the one held must be closed already).
  void Reset(int fd) { fd_ = fd; }
  // Hands the descriptor over to the caller.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

private:
  int fd_;
};

} // namespace platform::posix
