// File-system operations by path on Windows.
#include "platform/fs.h"

#include <climits>
#include <memory>
#include <utility>

#include "platform/error.h"
#include "platform/fs_internal.h"
#include "platform/win32/folder_access.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/windows_support.h"

// After windows_support.h, which sets how <windows.h> is read.
#include <aclapi.h>

namespace platform::fs {

namespace {

using win32::Narrow;
using win32::WidePath;

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

// A name found in a folder, with its attributes.
struct Found {
  std::string name;
  DWORD attributes;
};

bool NameBefore(const Found &a, const Found &b) {
  return CompareNamesNoCase(a.name, b.name) < 0;
}

// In name order, by heapsort: std::sort's order in a fraction of the code
// the program image would carry for it.
void SortByName(std::vector<Found> &found) {
  const auto sift = [&found](size_t root, size_t end) {
    for (size_t child = 2 * root + 1; child < end; child = 2 * root + 1) {
      if (child + 1 < end && NameBefore(found[child], found[child + 1]))
        ++child;
      if (!NameBefore(found[root], found[child]))
        return;
      std::swap(found[root], found[child]);
      root = child;
    }
  };
  for (size_t i = found.size() / 2; i-- > 0;)
    sift(i, found.size());
  for (size_t end = found.size(); end-- > 1;) {
    std::swap(found[0], found[end]);
    sift(0, end);
  }
}

// Every entry that FindFirstFileExW finds for pattern, "." and ".." left
// out, in name order; none when nothing is there. Raises on any other
// failure, or, quiet, gives none for it. The one listing of the backend, so
// that the program image holds one copy of it.
std::vector<Found> List(const std::string &pattern, bool foldersOnly,
                        bool quiet = false) {
  std::vector<Found> found;
  WIN32_FIND_DATAW data{};
  win32::ScopedFind find(::FindFirstFileExW(
      WidePath(pattern).c_str(), FindExInfoBasic, &data,
      foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch,
      nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD code = ::GetLastError();
    if (MeansNothingThere(code) || quiet)
      return found;
    win32::RaiseWin32(code, pattern);
  }
  do {
    if (!IsDotName(data.cFileName))
      found.push_back({Narrow(data.cFileName), data.dwFileAttributes});
  } while (::FindNextFileW(find.Get(), &data));
  const DWORD code = ::GetLastError();
  if (code != ERROR_NO_MORE_FILES) {
    if (!quiet)
      win32::RaiseWin32(code, pattern);
    found.clear();
  }
  SortByName(found);
  return found;
}

// An entry marked read-only is not deleted unless forced: kPermissionDenied
// naming it. Forced, the mark is taken off, unless the entry is a link (what
// it points to is not ours to change).
void TakeReadOnly(const std::string &path, DWORD attributes, bool force) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY))
    return;
  if (!force)
    Raise(err::kPermissionDenied, path + MsgText(kReadOnly));
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !::SetFileAttributesW(WidePath(path).c_str(),
                            attributes & ~FILE_ATTRIBUTE_READONLY))
    win32::RaiseLastError(path);
}

// Removes folder and everything in it, deepest entries first. Links
// (junctions, symbolic links) are removed themselves, never followed.
// Entries marked read-only stop the deletion unless forced (TakeReadOnly),
// and what came before one stays deleted.
void DeleteTree(const std::string &folder, DWORD attributes, bool force) {
  TakeReadOnly(folder, attributes, force);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    for (const Found &entry : List(folder + "\\*", false)) {
      const std::string path = folder + "\\" + entry.name;
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path, entry.attributes, force);
        continue;
      }
      TakeReadOnly(path, entry.attributes, force);
      RemoveFile(path);
    }
  }
  if (!::RemoveDirectoryW(WidePath(folder).c_str()))
    win32::RaiseLastError(folder);
}

// A call of advapi32 looked up at run time. The image loads advapi32 anyway
// (GetSecurityInfo, the random numbers of its stack canary), and every
// import takes room in the image, which has none to spare below 96 KiB.
template <typename Function> Function Advapi32(const char *name) {
  HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
      advapi ? ::GetProcAddress(advapi, name) : nullptr));
}

// The running user's SID and the owner that the process's token gives what
// it makes (the user, or Administrators for an elevated administrator).
// Should the token not be read (never seen), both are empty SIDs, which name
// nobody: no folder is then anybody's own, and none can be made private.
class Identity {
public:
  Identity() {
    using OpenToken = BOOL(WINAPI *)(HANDLE, DWORD, PHANDLE);
    using QueryToken =
        BOOL(WINAPI *)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    reinterpret_cast<TOKEN_USER *>(user_)->User.Sid = empty_;
    reinterpret_cast<TOKEN_OWNER *>(owner_)->Owner = empty_;
    const auto open = Advapi32<OpenToken>("OpenProcessToken");
    const auto query = Advapi32<QueryToken>("GetTokenInformation");
    HANDLE token = nullptr;
    if (!open || !query || !open(::GetCurrentProcess(), TOKEN_QUERY, &token))
      return;
    DWORD size = 0;
    if (!query(token, TokenUser, user_, sizeof user_, &size))
      reinterpret_cast<TOKEN_USER *>(user_)->User.Sid = empty_;
    if (!query(token, TokenOwner, owner_, sizeof owner_, &size))
      reinterpret_cast<TOKEN_OWNER *>(owner_)->Owner = empty_;
    ::CloseHandle(token); // nothing above can raise
  }
  Identity(const Identity &) = delete;
  Identity &operator=(const Identity &) = delete;
  PSID User() const {
    return reinterpret_cast<const TOKEN_USER *>(user_)->User.Sid;
  }
  PSID Owner() const {
    return reinterpret_cast<const TOKEN_OWNER *>(owner_)->Owner;
  }

private:
  BYTE empty_[8] = {}; // a SID of no sub-authority and revision 0
  alignas(8) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(8) BYTE owner_[sizeof(TOKEN_OWNER) + SECURITY_MAX_SID_SIZE] = {};
};

// MkDir, with the security of a new folder (nullptr: handed down).
void MakeFolder(const std::string &path, SECURITY_ATTRIBUTES *security) {
  // An existing folder or file: ERROR_ALREADY_EXISTS, kPathFileAccess; a
  // missing parent: ERROR_PATH_NOT_FOUND, kPathNotFound.
  fs::CheckName(path);
  if (!::CreateDirectoryW(WidePath(path).c_str(), security))
    win32::RaiseLastError(path.empty() ? std::string("\"\"") : path);
}

} // namespace

int32_t FileLen(const std::string &path) {
  // The name itself, a link too, through the calls the image has anyway.
  const win32::ScopedFile file(::CreateFileW(
      WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.Get(), &info))
    win32::RaiseLastError(path);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    Raise(err::kPathFileAccess, path);
  const uint64_t size =
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > static_cast<uint64_t>(INT32_MAX))
    RaiseTooLarge(path);
  return static_cast<int32_t>(size);
}

std::string NameAsStored(const std::string &path) {
  const std::vector<Found> found = List(path, false);
  return found.size() == 1 ? Split(path).prefix + found[0].name : path;
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
  for (Found &file : List(pattern, false))
    if (!(file.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                             FILE_ATTRIBUTE_SYSTEM)) &&
        (!wild || MatchesPattern(file.name, split.name)))
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
  if (!::DeleteFileW(WidePath(path).c_str()) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND) // gone meanwhile
    win32::RaiseLastError(path);
}

void MkDir(const std::string &path) { MakeFolder(path, nullptr); }

void RaiseNotMade(int32_t number, const std::string &path) {
  win32::RaiseWin32(number == err::kPathNotFound ? ERROR_PATH_NOT_FOUND
                                                 : ERROR_ALREADY_EXISTS,
                    path);
}

void MkPrivateDir(const std::string &path) {
  // Full control for the user, SYSTEM and Administrators, handed down to
  // everything made inside; nothing inherited from the folder above.
  const Identity identity;
  const PSID sids[] = {identity.User(), win32::LocalSystemSid(),
                       win32::AdministratorsSid()};
  alignas(8)
      BYTE aclBytes[3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  SECURITY_DESCRIPTOR descriptor{};
  descriptor.Revision = SECURITY_DESCRIPTOR_REVISION;
  descriptor.Control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
  descriptor.Dacl = win32::FullControlFor(sids, 3, aclBytes, sizeof aclBytes);
  SECURITY_ATTRIBUTES security{sizeof security, &descriptor, FALSE};
  MakeFolder(path, &security);
}

bool FolderExists(const std::string &path) {
  if (path.empty())
    return false;
  const DWORD attributes = win32::AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string &a, const std::string &b) {
  const auto identify = [](const std::string &path,
                           BY_HANDLE_FILE_INFORMATION &info) {
    if (path.empty())
      return false;
    win32::ScopedFile file(::CreateFileW(
        WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
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

namespace {

// The folders that pattern names: the path itself, or the names in its
// folder that match its last component, in name order. prefix receives
// what goes before a match's name (all share it).
std::vector<Found> MatchFolders(const std::string &pattern,
                                std::string &prefix) {
  const std::string path = WithoutTrailingSeparators(pattern);
  const SplitPath split = Split(path);
  std::vector<Found> matches;
  if (split.name.empty() || split.name == "." || split.name == "..")
    return matches;
  if (!HasWildcards(split.name)) {
    const DWORD attributes = win32::AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      matches.push_back({path, attributes});
    prefix.clear();
    return matches;
  }
  prefix = split.prefix;
  for (Found &folder : List(path, true))
    if ((folder.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        MatchesPattern(folder.name, split.name))
      matches.push_back(std::move(folder));
  return matches;
}

} // namespace

void DeleteFolder(const std::string &pattern, bool force) {
  std::string prefix;
  const std::vector<Found> matches = MatchFolders(pattern, prefix);
  if (matches.empty())
    Raise(err::kPathNotFound, pattern);
  for (const Found &match : matches)
    DeleteTree(prefix + match.name, match.attributes, force);
}

std::vector<std::string> ListFolders(const std::string &pattern) {
  std::string prefix;
  std::vector<std::string> names;
  for (Found &match : MatchFolders(pattern, prefix))
    names.push_back(prefix.empty() ? Split(match.name).name
                                   : std::move(match.name));
  return names;
}

std::string FileInUseBelow(const std::string &folder) {
  const DWORD attributes = win32::AttributesOf(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return {};
  // An unreadable folder lists nothing: the install finds out.
  for (const Found &entry : List(folder + "\\*", false, true)) {
    const std::string path = folder + "\\" + entry.name;
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      continue; // a link: removed as itself, never followed
    std::string found = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
                            ? FileInUseBelow(path)
                        : InUse(path) ? path
                                      : std::string();
    if (!found.empty())
      return found;
  }
  return {};
}

void MarkHidden(const std::string &path) {
  const auto wide = WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !::SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN))
    win32::RaiseLastError(path);
}

EntryKind KindOf(const std::string &path) {
  // The attributes of the name itself: a link is not followed.
  const DWORD attributes = win32::AttributesOf(path);
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

bool LinkOnTheWay(const std::string &folder, const std::string &path) {
  return IsBelow(folder, path) && LinkAtAFolder(folder, path);
}

void RemoveLink(const std::string &path) {
  // A link to a folder (a junction too) goes as a folder, without what it
  // points to; a link to a file as a file.
  const DWORD attributes = win32::AttributesOf(path);
  const BOOL removed = attributes != INVALID_FILE_ATTRIBUTES &&
                               (attributes & FILE_ATTRIBUTE_DIRECTORY)
                           ? ::RemoveDirectoryW(WidePath(path).c_str())
                           : ::DeleteFileW(WidePath(path).c_str());
  if (!removed)
    win32::RaiseLastError(path);
}

namespace {

// Why a folder held open is no private one (the reason, after its path), or
// nullptr when it is.
const std::string *WhyNotPrivate(HANDLE folder, const std::string &path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder, &info))
    win32::RaiseLastError(path);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return &MsgText(kNotRealFolder);
  // A file at the name is no folder at all, as a path through it says.
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    win32::RaiseWin32(ERROR_PATH_NOT_FOUND, path);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD code =
      ::GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &descriptor);
  if (code != ERROR_SUCCESS)
    win32::RaiseWin32(code, path);
  const std::unique_ptr<void, HLOCAL (*)(HLOCAL)> owned(descriptor,
                                                        ::LocalFree);
  const Identity identity;
  if (!win32::SameSid(owner, identity.User()) &&
      !win32::SameSid(owner, identity.Owner()))
    return &MsgText(kNotOwnFolder);
  const PSID trusted[] = {identity.User(), win32::LocalSystemSid(),
                          win32::AdministratorsSid()};
  return win32::OthersCanWrite(dacl, trusted, 3) ? &MsgText(kOthersCanWrite)
                                                 : nullptr;
}

} // namespace

PrivateFolder::PrivateFolder(const std::string &path) : path_(path) {
  // Held without FILE_SHARE_DELETE: while it is, nobody can rename the
  // folder or put another in its place.
  win32::ScopedFile folder(::CreateFileW(
      WidePath(path).c_str(), READ_CONTROL | FILE_LIST_DIRECTORY,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    const DWORD code = ::GetLastError();
    win32::RaiseWin32(
        code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code, path);
  }
  if (const std::string *why = WhyNotPrivate(folder.Get(), path))
    Raise(err::kPermissionDenied, path + *why);
  handle_ = reinterpret_cast<os::FileHandle>(folder.Release());
}

PrivateFolder::~PrivateFolder() {
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool PrivateFolder::Empty() const { return List(path_ + "\\*", false).empty(); }

os::FileHandle PrivateFolder::OpenFile(const std::string &name,
                                       OpenMode mode) const {
  return os::OpenFileIn(handle_, name, path_ + "\\" + name, mode);
}

KeepFolderNames::KeepFolderNames() = default;
KeepFolderNames::~KeepFolderNames() = default;

} // namespace platform::fs
