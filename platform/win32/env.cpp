// Process environment on Windows.
#include "platform/env.h"

#include <string_view>

#include "platform/win32/windows_support.h"

namespace platform {

namespace {

// A system call that writes a text into buffer, of size characters with the
// null: the text's length when it fits, else the size it needs (the null
// counted), 0 when there is none.
using FillCall = DWORD(WINAPI *)(LPCWSTR argument, LPWSTR buffer, DWORD size);

// The text that fill writes for argument, the buffer grown to what it asks
// for until the text fits; otherwise when it writes none. One loop for the
// three calls below.
std::string Filled(FillCall fill, LPCWSTR argument, size_t size,
                   std::string_view otherwise = {}) {
  win32::WideText buffer(size);
  for (;;) {
    const DWORD n =
        fill(argument, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0)
      return std::string(otherwise);
    if (n < buffer.size())
      return win32::Narrow({buffer.c_str(), n});
    buffer = win32::WideText(n);
  }
}

// GetModuleFileNameW of the running executable as a FillCall: a name cut
// to the buffer asks for twice the room, up to the longest path Windows has.
DWORD WINAPI ProgramFileName(LPCWSTR, LPWSTR buffer, DWORD size) {
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, size);
  if (n < size)
    return n;
  return size >= 32768 ? 0 : size * 2;
}

DWORD WINAPI FullPathName(LPCWSTR path, LPWSTR buffer, DWORD size) {
  return ::GetFullPathNameW(path, size, buffer, nullptr);
}

} // namespace

std::string GetEnv(const char *name) {
  // Not set, or set to the empty string: "".
  return Filled(::GetEnvironmentVariableW,
                win32::Widen(std::string_view(name)).c_str(), 256);
}

std::string OsProgramPath() {
  return Filled(ProgramFileName, nullptr, MAX_PATH);
}

std::string AbsolutePath(const std::string &path) {
  const win32::WideText wide = win32::Widen(path);
  if (wide.empty())
    return path;
  return Filled(FullPathName, wide.c_str(), MAX_PATH, path);
}

} // namespace platform
