// Process environment on Windows.
#include "platform/env.h"

#include "platform/win32/windows_support.h"

namespace platform {

std::string GetEnv(const char *name) {
  const std::wstring wideName = win32::Widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                              static_cast<DWORD>(value.size()));
    if (n == 0) // not set, or set to the empty string
      return {};
    if (n < value.size()) {
      value.resize(n);
      return win32::Narrow(value);
    }
    value.resize(n); // n counts the terminating null
  }
}

std::string OsProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(),
                                         static_cast<DWORD>(path.size()));
    if (n == 0)
      return {};
    if (n < path.size()) {
      path.resize(n);
      return win32::Narrow(path);
    }
    if (path.size() >= 32768) // the longest path Windows has
      return {};
    path.resize(path.size() * 2);
  }
}

std::string AbsolutePath(const std::string &path) {
  const std::wstring wide = win32::Widen(path);
  if (wide.empty())
    return path;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(
        wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0)
      return path;
    if (n < full.size()) {
      full.resize(n);
      return win32::Narrow(full);
    }
    full.resize(n);
  }
}

} // namespace platform
