// File-system operations by path on Windows.
#include "platform/fs.h"

#include <algorithm>
#include <climits>

#include "platform/error.h"
#include "platform/fs_internal.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/windows_support.h"

namespace platform::fs {

namespace {

using win32::Narrow;
using win32::Widen;

// True when the system would match name as a pattern. Besides * and ? it
// takes <, > and " as wildcards of its own (DOS_STAR, DOS_QM, DOS_DOT);
// matched through MatchesPattern, where they stand for themselves, they
// match no name at all, since no file name can hold them.
bool HasWildcards(const std::string &name) {
  return name.find_first_of("*?<>\"") != std::string::npos;
}

bool IsDotName(const wchar_t *name) {
  return name[0] == L'.' &&
         (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Codes of FindFirstFileExW that mean "there is nothing there".
bool MeansNothingThere(DWORD code) {
  switch (code) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_NO_MORE_FILES:
  case ERROR_DIRECTORY:
  case ERROR_INVALID_DRIVE:
  case ERROR_NOT_READY:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
    return true;
  default:
    return false;
  }
}

// Calls visit(data) for every entry that FindFirstFileExW finds for
// pattern, "." and ".." left out. False when nothing is there; raises on
// any other failure.
template <typename Visit>
bool Enumerate(const std::string &pattern, bool foldersOnly, Visit visit) {
  WIN32_FIND_DATAW data{};
  win32::ScopedFind find(::FindFirstFileExW(
      Widen(pattern).c_str(), FindExInfoBasic, &data,
      foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch,
      nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD code = ::GetLastError();
    if (MeansNothingThere(code))
      return false;
    win32::RaiseWin32(code, pattern);
  }
  do {
    if (!IsDotName(data.cFileName))
      visit(data);
  } while (::FindNextFileW(find.Get(), &data));
  const DWORD code = ::GetLastError();
  if (code != ERROR_NO_MORE_FILES)
    win32::RaiseWin32(code, pattern);
  return true;
}

// A name found in a folder, with its attributes. Every listing here sorts
// these, with one comparison, so that the program image holds one copy of
// the sort.
struct Found {
  std::string name;
  DWORD attributes;
};

bool NameBefore(const Found &a, const Found &b) {
  return CompareNamesNoCase(a.name, b.name) < 0;
}

void SortByName(std::vector<Found> &found) {
  std::sort(found.begin(), found.end(), &NameBefore);
}

// Removes folder and everything in it, deepest entries first. Links
// (junctions, symbolic links) are removed themselves, never followed.
// Entries marked read-only are not forced: one stops the deletion with
// kPermissionDenied, and what came before it stays deleted.
void DeleteTree(const std::string &folder, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY)
    Raise(err::kPermissionDenied, folder + kReadOnly);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    std::vector<Found> entries;
    Enumerate(folder + "\\*", false, [&](const WIN32_FIND_DATAW &data) {
      entries.push_back({Narrow(data.cFileName), data.dwFileAttributes});
    });
    SortByName(entries);
    for (const Found &entry : entries) {
      const std::string path = folder + "\\" + entry.name;
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path, entry.attributes);
        continue;
      }
      if (entry.attributes & FILE_ATTRIBUTE_READONLY)
        Raise(err::kPermissionDenied, path + kReadOnly);
      RemoveFile(path);
    }
  }
  if (!::RemoveDirectoryW(Widen(folder).c_str()))
    win32::RaiseLastError(folder);
}

// The folder of a DeleteFolder pattern without trailing separators
// ("C:\a\b\" names C:\a\b); a root stays as it is.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  return path;
}

} // namespace

int32_t FileLen(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard,
                              &data))
    win32::RaiseLastError(path);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    Raise(err::kPathFileAccess, path);
  const uint64_t size =
      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size > static_cast<uint64_t>(INT32_MAX))
    RaiseTooLarge(path);
  return static_cast<int32_t>(size);
}

std::vector<std::string> ListFiles(const std::string &pattern) {
  const SplitPath split = Split(pattern);
  std::vector<std::string> names;
  if (split.name.empty())
    return names;
  // The system also matches a wildcard against the 8.3 alias of a long
  // name ("*.tmp" finds "notes.tmpx" through NOTES~1.TMP); only the name
  // itself counts.
  const bool wild = HasWildcards(split.name);
  std::vector<Found> found;
  Enumerate(pattern, false, [&](const WIN32_FIND_DATAW &data) {
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY |
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
      return;
    std::string name = Narrow(data.cFileName);
    if (!wild || MatchesPattern(name, split.name))
      found.push_back({std::move(name), data.dwFileAttributes});
  });
  SortByName(found);
  names.reserve(found.size());
  for (Found &file : found)
    names.push_back(std::move(file.name));
  return names;
}

SplitPath Split(const std::string &path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos)
    cut = path.size() >= 2 && path[1] == ':' ? 1 : std::string::npos; // "C:x"
  if (cut == std::string::npos)
    return {std::string(), path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

void RemoveFile(const std::string &path) {
  if (!::DeleteFileW(Widen(path).c_str()) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND) // gone meanwhile
    win32::RaiseLastError(path);
}

void MkDir(const std::string &path) {
  // An existing folder or file: ERROR_ALREADY_EXISTS, kPathFileAccess; a
  // missing parent: ERROR_PATH_NOT_FOUND, kPathNotFound.
  if (!::CreateDirectoryW(Widen(path).c_str(), nullptr))
    win32::RaiseLastError(path.empty() ? std::string("\"\"") : path);
}

bool FolderExists(const std::string &path) {
  if (path.empty())
    return false;
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string &a, const std::string &b) {
  const auto identify = [](const std::string &path,
                           BY_HANDLE_FILE_INFORMATION &info) {
    if (path.empty())
      return false;
    win32::ScopedFile file(::CreateFileW(
        Widen(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::GetFileInformationByHandle(file.Get(), &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return identify(a, x) && identify(b, y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

void DeleteFolder(const std::string &pattern) {
  const std::string path = WithoutTrailingSeparators(pattern);
  const SplitPath split = Split(path);
  if (split.name.empty() || split.name == "." || split.name == "..")
    Raise(err::kPathNotFound, pattern);

  // The folders to delete: the path itself, or the names in split.prefix
  // that match the pattern, in name order (all share the prefix).
  std::vector<Found> matches;
  std::string prefix;
  if (!HasWildcards(split.name)) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      matches.push_back({path, attributes});
  } else {
    prefix = split.prefix;
    Enumerate(path, true, [&](const WIN32_FIND_DATAW &data) {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
      std::string name = Narrow(data.cFileName);
      if (MatchesPattern(name, split.name))
        matches.push_back({std::move(name), data.dwFileAttributes});
    });
    SortByName(matches);
  }
  if (matches.empty())
    Raise(err::kPathNotFound, pattern);
  for (const Found &match : matches)
    DeleteTree(prefix + match.name, match.attributes);
}

EntryKind KindOf(const std::string &path) {
  // The attributes of the name itself: a link is not followed.
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      return EntryKind::Missing;
    win32::RaiseWin32(code, path);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return EntryKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return EntryKind::Folder;
  return EntryKind::File;
}

void RemoveLink(const std::string &path) {
  // A link to a folder (a junction too) goes as a folder, without what it
  // points to; a link to a file as a file.
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  const BOOL removed = attributes != INVALID_FILE_ATTRIBUTES &&
                               (attributes & FILE_ATTRIBUTE_DIRECTORY)
                           ? ::RemoveDirectoryW(Widen(path).c_str())
                           : ::DeleteFileW(Widen(path).c_str());
  if (!removed)
    win32::RaiseLastError(path);
}

void CheckOwnEmptyFolder(const std::string &path) {
  const EntryKind kind = KindOf(path);
  if (kind == EntryKind::Link)
    Raise(err::kPermissionDenied, path + kNotRealFolder);
  if (kind != EntryKind::Folder)
    Raise(err::kPathNotFound, path);
  bool empty = true;
  Enumerate(path + "\\*", false,
            [&](const WIN32_FIND_DATAW &) { empty = false; });
  if (!empty)
    Raise(err::kPermissionDenied, path + kNotEmptyFolder);
}

KeepFolderNames::KeepFolderNames() = default;
KeepFolderNames::~KeepFolderNames() = default;

} // namespace platform::fs
