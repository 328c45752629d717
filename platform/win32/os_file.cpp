// Raw files on Windows: CreateFileW handles, positioned ReadFile/WriteFile.
#include "platform/os_file.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/windows_support.h"

namespace platform::os {

namespace {

HANDLE Native(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// One ReadFile/WriteFile moves at most this much.
constexpr size_t kMaxChunk = 1u << 30;

// True when the last component of path is a DOS device name (CON, PRN,
// AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$), which Windows
// opens as that device in every folder, whatever extension follows.
bool IsDeviceName(const std::string &path) {
  const size_t slash = path.find_last_of("\\/:");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  for (char &c : name)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" ||
      name == "CONIN$" || name == "CONOUT$")
    return true;
  return name.size() == 4 &&
         (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  overlapped.OffsetHigh =
      static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return overlapped;
}

} // namespace

FileHandle OpenFile(const std::string &path, OpenMode mode) {
  // An archive entry or a script path must not reach a device: opening one
  // may block (a serial port) or swallow the bytes (NUL).
  if (IsDeviceName(path))
    Raise(err::kBadFileName, path);
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_ALWAYS;
  if (mode == OpenMode::ReadOnly) {
    access = GENERIC_READ;
    disposition = OPEN_EXISTING;
  }
  // Others may read and write too: the running executable reads itself while
  // the loader holds it, and the numbered-file table locks nothing.
  win32::ScopedFile file(::CreateFileW(
      win32::Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = ::GetLastError();
    // A folder cannot be opened as a file; say so rather than "access denied".
    const DWORD attributes = ::GetFileAttributesW(win32::Widen(path).c_str());
    if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      Raise(err::kPathFileAccess, path);
    win32::RaiseWin32(code, path);
  }
  // Anything else that is not a file on a disk (a pipe, \\.\ names).
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
    Raise(err::kBadFileName, path);
  // A file marked read-only is not opened for writing. Windows refuses it on
  // its own; Wine running as root would not.
  if (mode != OpenMode::ReadOnly) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file.Get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
      win32::RaiseWin32(ERROR_ACCESS_DENIED, path);
  }
  if (mode == OpenMode::Output) {
    // OPEN_ALWAYS and a cut at 0 rather than CREATE_ALWAYS, which refuses a
    // file marked hidden or system.
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file.Get(), zero, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(file.Get()))
      win32::RaiseLastError(path);
  }
  return reinterpret_cast<FileHandle>(file.Release());
}

int64_t FileSize(FileHandle handle, const std::string &path) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(Native(handle), &size))
    win32::RaiseLastError(path);
  return size.QuadPart;
}

size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path) {
  auto *bytes = static_cast<char *>(buffer);
  size_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    OVERLAPPED overlapped = At(offset + static_cast<int64_t>(done));
    DWORD read = 0;
    if (!::ReadFile(Native(handle), bytes + done, chunk, &read, &overlapped)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_HANDLE_EOF)
        break;
      win32::RaiseWin32(code, path);
    }
    if (read == 0)
      break;
    done += read;
  }
  return done;
}

void WriteAt(FileHandle handle, int64_t offset, const void *buffer,
             size_t count, const std::string &path) {
  const auto *bytes = static_cast<const char *>(buffer);
  size_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    OVERLAPPED overlapped = At(offset + static_cast<int64_t>(done));
    DWORD written = 0;
    if (!::WriteFile(Native(handle), bytes + done, chunk, &written,
                     &overlapped))
      win32::RaiseLastError(path);
    if (written == 0)
      win32::RaiseWin32(ERROR_WRITE_FAULT, path);
    done += written;
  }
}

void CloseFile(FileHandle handle, const std::string &path) {
  if (!::CloseHandle(Native(handle)))
    win32::RaiseLastError(path);
}

} // namespace platform::os
