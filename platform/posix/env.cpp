// Process environment on posix.
#include "platform/env.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "platform/posix/posix_error.h"
#include "platform/posix/syscalls.h"

namespace platform {

std::string GetEnv(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

std::string OsProgramPath() {
  // The same for the life of the process: read once, not at every file
  // that is written or deleted (posix/running_program.cpp asks each time).
  static const std::string path = [] {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }();
  return path;
}

std::string AbsolutePath(const std::string &path) {
  std::string native = posix::NativePath(path);
  if (!native.empty() && native[0] == '/')
    return native;
  std::string base = posix::CurrentFolder();
  if (base.empty())
    return native;
  if (base != "/")
    base += '/';
  return base + native;
}

} // namespace platform
