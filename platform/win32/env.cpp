// Process environment on Windows.
#include "platform/env.h"

#include "platform/win32/windows_support.h"

namespace platform {

std::string GetEnv(const char *name) {
  const win32::WideText wideName = win32::Widen(name);
  win32::WideText value(256);
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                              static_cast<DWORD>(value.size()));
    if (n == 0) // not set, or set to the empty string
      return {};
    if (n < value.size())
      return win32::Narrow({value.c_str(), n});
    value = win32::WideText(n); // n counts the terminating null
  }
}

std::string OsProgramPath() {
  win32::WideText path(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(),
                                         static_cast<DWORD>(path.size()));
    if (n == 0)
      return {};
    if (n < path.size())
      return win32::Narrow({path.c_str(), n});
    if (path.size() >= 32768) // the longest path Windows has
      return {};
    path = win32::WideText(path.size() * 2);
  }
}

std::string AbsolutePath(const std::string &path) {
  const win32::WideText wide = win32::Widen(path);
  if (wide.empty())
    return path;
  win32::WideText full(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetFullPathNameW(
        wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0)
      return path;
    if (n < full.size())
      return win32::Narrow({full.c_str(), n});
    full = win32::WideText(n);
  }
}

} // namespace platform
