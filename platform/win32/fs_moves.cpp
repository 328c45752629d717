// Renames, empty folders, files in use and file times on Windows: what an
// install that can be undone needs of the file system.
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/windows_support.h"

namespace platform::fs {

namespace {

using win32::WidePath;

// The name itself, never what a link there points to.
win32::ScopedFile OpenName(const std::string &path, DWORD access, DWORD share) {
  return win32::ScopedFile(::CreateFileW(
      WidePath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

void Rename(const std::string &from, const std::string &to) {
  // Without MOVEFILE_REPLACE_EXISTING and MOVEFILE_COPY_ALLOWED: an existing
  // target and another volume are failures. A file that another program
  // has just opened without sharing its deletion (a virus scanner reading a
  // new file, an indexer) is tried again for 1.5 seconds before that counts:
  // every rename is a step of an install that would otherwise be undone.
  fs::CheckName(to);
  const win32::WideText source = WidePath(from);
  const win32::WideText target = WidePath(to);
  for (DWORD wait = 25;; wait *= 2) {
    if (::MoveFileExW(source.c_str(), target.c_str(), 0))
      return;
    if (::GetLastError() != ERROR_SHARING_VIOLATION || wait > 800)
      break;
    ::Sleep(wait);
  }
  win32::RaiseLastError(from + " -> " + to);
}

void RemoveEmptyFolder(const std::string &path) {
  if (!::RemoveDirectoryW(WidePath(path).c_str()))
    win32::RaiseLastError(path);
}

bool InUse(const std::string &path) {
  const DWORD attributes = win32::AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  // Write and delete access shared with nobody: what replacing the file
  // needs. A read-only file refuses write access to everyone; it is moved
  // aside rather than written, which needs delete access only.
  DWORD access = GENERIC_WRITE | DELETE;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    access = DELETE | FILE_READ_ATTRIBUTES;
  const win32::ScopedFile file = OpenName(path, access, 0);
  return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

} // namespace platform::fs
