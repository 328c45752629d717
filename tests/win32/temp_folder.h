// A fresh folder of its own for each test of the win32 backend, removed with
// everything in it (read-only, hidden and system entries too) at the end;
// small file helpers that go straight to the system, not through the code
// under test.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/windows_support.h"

namespace wintest {
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  // The folder, without a trailing backslash, and a path inside it.
  const std::string &Path() const { return path_; }
  std::string operator/(const std::string &name) const {
    return path_ + "\\" + name;
  }

private:
  std::string path_;
};

// Small file helpers that go straight to the system, not through the code
// under test.

using platform::win32::Narrow;

// The number of the error that fn raises, or 0.
inline int32_t ErrorOf(const std::function<void()> &fn) {
  try {
    fn();
  } catch (const platform::Error &e) {
    return e.Number();
  }
  return 0;
}

// The tests work with std::wstring; the backend hands out WideText.
inline std::wstring Widen(std::string_view text) {
  return std::wstring(platform::win32::Widen(text).view());
}

namespace detail {

inline void RemoveTree(const std::wstring &folder) {
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..")
        continue;
      const std::wstring path = folder + L"\\" + name;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(path);
      else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ::RemoveDirectoryW(path.c_str());
      else
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryW(folder.c_str());
}

} // namespace detail

inline TempFolder::TempFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH)
    throw std::runtime_error("no temporary folder");
  static unsigned counter = 0;
  for (;;) {
    std::wstring candidate = std::wstring(base) + L"updpack-w32-" +
                             std::to_wstring(::GetCurrentProcessId()) + L"-" +
                             std::to_wstring(++counter);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = Narrow(candidate);
      return;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot create a temporary folder");
  }
}

inline TempFolder::~TempFolder() { detail::RemoveTree(Widen(path_)); }

inline void WriteFile(const std::string &path, const std::string &bytes) {
  HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  const bool ok = bytes.empty() || ::WriteFile(file, bytes.data(),
                                               static_cast<DWORD>(bytes.size()),
                                               &written, nullptr);
  ::CloseHandle(file);
  if (!ok || written != bytes.size())
    throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string &path) {
  HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot open " + path);
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

inline bool FileExists(const std::string &path) {
  return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void MakeFolder(const std::string &path) {
  if (!::CreateDirectoryW(Widen(path).c_str(), nullptr))
    throw std::runtime_error("cannot create folder " + path);
}

inline void SetAttributes(const std::string &path, DWORD attributes) {
  if (!::SetFileAttributesW(Widen(path).c_str(), attributes))
    throw std::runtime_error("cannot set attributes of " + path);
}

inline DWORD Attributes(const std::string &path) {
  return ::GetFileAttributesW(Widen(path).c_str());
}

// Bytes with a pattern that never repeats at a 256 KiB stride.
inline std::string PatternBytes(size_t count, uint32_t seed = 1) {
  std::string bytes(count, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

} // namespace wintest
