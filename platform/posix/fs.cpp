// File-system operations by path on posix: listing, deleting, copying and
// creating files and folders, with Windows path and wildcard rules.
#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/fs_internal.h"
#include "platform/posix/fd.h"
#include "platform/posix/folder_names.h"
#include "platform/posix/held_files.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/running_program.h"
#include "platform/posix/syscalls.h"
#include "platform/posix/writable_folder.h"

namespace platform::fs {

namespace {

using posix::Fd;
using posix::ReadNames;

// The folder a prefix names, in native form: "." for the current folder.
std::string NativeFolder(const std::string &prefix) {
  return prefix.empty() ? std::string(".") : posix::ResolvedPath(prefix);
}

// The prefix as a folder name for messages.
std::string FolderForMessage(const std::string &prefix) {
  return prefix.empty() ? std::string(".") : prefix;
}

// A child path for messages, as Windows writes it after any folder: a
// record's "{app}" alone is the posix folder "/tmp/app", and the file in it
// that stops its removal is "/tmp/app\\a.txt" as after "{app}\\Sub".
std::string Join(const std::string &parent, const std::string &name) {
  return parent + '\\' + name;
}

// The last component of a native path.
std::string LastName(const std::string &native) {
  return native.substr(native.find_last_of('/') + 1);
}

bool HasWildcard(const std::string &name) {
  return name.find_first_of("*?") != std::string::npos;
}

// A name our paths can address: "\" separates folders in every path we are
// given, and a trailing dot or space goes as Windows drops it, so an entry
// whose posix name holds the one or ends in the other cannot be named.
bool IsAddressable(const std::string &name) {
  return name.find('\\') == std::string::npos && name.back() != '.' &&
         name.back() != ' ';
}

// The device that a device name names, as spelled: "nul .txt" and "nul:"
// are "nul".
std::string DeviceOf(const std::string &name) {
  std::string device = name.substr(0, name.find('.'));
  while (!device.empty() && (device.back() == ' ' || device.back() == ':'))
    device.pop_back();
  return device;
}

// True when the folder part of a path (the current folder when it has
// none) is a folder: Windows then finds a device name there.
bool DeviceFound(const std::string &path) {
  const SplitPath split = Split(path);
  return split.prefix.empty() || FolderExists(split.prefix);
}

// Nothing found in the folder prefix names, for pattern: Windows lists
// nothing through a folder's name with a wildcard or another character it
// refuses but fails with a bad file name (posix may hold such a folder,
// which is listed).
std::vector<std::string> NothingIn(const std::string &prefix,
                                   const std::string &pattern) {
  if (HoldsRefusedCharacter(prefix))
    posix::RaiseAs(posix::WinError::InvalidName, pattern);
  return {};
}

// The folder of a listing by pattern could not be opened (errno): a name
// Windows refuses on the way fails its listing, which names the pattern.
[[noreturn]] void RaiseUnlisted(const std::string &prefix,
                                const std::string &pattern) {
  posix::RaiseErrno(errno,
                    errno == EILSEQ ? pattern : FolderForMessage(prefix));
}

bool IsDotOrDotDot(const std::string &name) {
  return name == "." || name == "..";
}

// Listing order: case-insensitive like NTFS, then by bytes so that names
// differing only in case (possible on posix) keep a fixed order.
bool NameLess(const std::string &a, const std::string &b) {
  const int order = CompareNamesNoCase(a, b);
  return order != 0 ? order < 0 : a < b;
}

// Opens a folder by its native path for listing (a held one, or one
// inside it, through the folder held); -1 with errno set when it cannot be
// opened.
int OpenNativeFolder(const std::string &native, const std::string &shown) {
  const posix::Reach at = posix::ReachOf(native);
  return posix::sys::OpenAt(at.folder, at.name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC, shown);
}

int OpenFolder(const std::string &prefix) {
  return OpenNativeFolder(NativeFolder(prefix), FolderForMessage(prefix));
}

// True when name in folder is a folder (through a link); a name that cannot
// be looked at raises.
bool IsFolderAt(int folder, const std::string &name, const std::string &shown) {
  struct stat st {};
  if (posix::sys::FStatAt(folder, name.c_str(), &st, 0, shown) == 0)
    return S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
    return false;
  posix::RaiseErrno(errno, shown);
}

// Posix keeps no read-only mark: a file or folder without the owner's write
// permission counts as marked, as Windows would refuse to delete it.
bool IsReadOnly(const struct stat &st) { return !(st.st_mode & S_IWUSR); }

// Removes name in folder, flags as unlinkat takes them, whatever the
// folder's own read-only mark (Windows keeps none that stops it).
int UnlinkIn(int folder, const std::string &name, int flags,
             const std::string &shown) {
  return posix::ChangeInFolder(folder, name, [&] {
    return posix::sys::UnlinkAt(folder, name.c_str(), flags, shown);
  });
}

// Windows refuses to delete the file of a running program, and a file
// that a handle without delete sharing holds open: one of this program's,
// or, when askOthers, another program's (name in folder, as st describes).
void RefuseHeldFile(int folder, const char *name, const struct stat &st,
                    const std::string &shown, bool askOthers) {
  if (S_ISREG(st.st_mode) && posix::IsRunningProgram(st))
    posix::RaiseErrno(EACCES, shown);
  posix::RefuseHeld(st, shown);
  if (askOthers && S_ISREG(st.st_mode))
    posix::RefuseOpenElsewhere(folder, name, shown);
}

// Deletes the folder name in parent with everything in it. Symbolic links
// are removed as links and never followed. A file or folder without the
// owner's write permission counts as read-only and is not forced unless
// force is set: it stops the deletion with kPermissionDenied, and what came
// before it stays deleted. Forced, a folder gets the owner's write
// permission back (a file needs none to go). inside, when given, is the
// folder whose entries go instead of the folder's own (-1: none), as
// Windows lists them through shown with a separator after it.
void DeleteTree(int parent, const std::string &name, const std::string &shown,
                const struct stat &st, bool force,
                const int *inside = nullptr) {
  if (IsReadOnly(st) && !force)
    Raise(err::kPermissionDenied, shown + MsgText(kReadOnly));
  Fd folder(posix::sys::OpenAt(parent, name.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC,
                               shown));
  if (folder.get() < 0)
    posix::RaiseErrno(errno, shown);
  if (IsReadOnly(st) &&
      posix::sys::FChmod(folder.get(), (st.st_mode & 07777) | S_IWUSR, shown) !=
          0)
    posix::RaiseErrno(errno, shown);
  const int listed = inside ? *inside : folder.get();
  std::vector<std::string> names;
  if (listed >= 0)
    names = ReadNames(listed, shown);
  std::sort(names.begin(), names.end(), NameLess);
  for (const std::string &child : names) {
    const std::string childShown = Join(shown, child);
    struct stat cst {};
    if (posix::sys::FStatAt(listed, child.c_str(), &cst, AT_SYMLINK_NOFOLLOW,
                            childShown) != 0) {
      if (errno == ENOENT)
        continue; // gone meanwhile
      posix::RaiseErrno(errno, childShown);
    }
    if (S_ISDIR(cst.st_mode)) {
      DeleteTree(listed, child, childShown, cst, force);
      continue;
    }
    if (S_ISREG(cst.st_mode) && IsReadOnly(cst) && !force)
      Raise(err::kPermissionDenied, childShown + MsgText(kReadOnly));
    // The program's own clean-up (forced) does not ask others: a file
    // another program holds goes, where Windows would leave it, and no
    // later step depends on either.
    RefuseHeldFile(listed, child.c_str(), cst, childShown, !force);
    if (UnlinkIn(listed, child, 0, childShown) != 0 && errno != ENOENT)
      posix::RaiseErrno(errno, childShown);
  }
  if (folder.Close(shown) != 0)
    posix::RaiseErrno(errno, shown);
  posix::RefuseHeld(st, shown);
  if (UnlinkIn(parent, name, AT_REMOVEDIR, shown) != 0)
    posix::RaiseErrno(errno, shown);
}

// Removes one matched folder: a link to a folder goes as a link. inside:
// as DeleteTree takes it.
void RemoveFolderAt(int parent, const std::string &name,
                    const std::string &shown, bool force,
                    const int *inside = nullptr) {
  struct stat st {};
  if (posix::sys::FStatAt(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW,
                          shown) != 0) {
    if (errno == ENOENT)
      Raise(err::kPathNotFound, shown);
    posix::RaiseErrno(errno, shown);
  }
  if (S_ISLNK(st.st_mode)) {
    if (UnlinkIn(parent, name, 0, shown) != 0)
      posix::RaiseErrno(errno, shown);
    return;
  }
  if (!S_ISDIR(st.st_mode))
    Raise(err::kPathNotFound, shown);
  DeleteTree(parent, name, shown, st, force, inside);
}

} // namespace

int32_t FileLen(const std::string &path) {
  struct stat st {};
  if (posix::sys::Stat(posix::ResolvedPath(path).c_str(), &st, path) != 0)
    posix::RaiseErrno(errno, path);
  if (!S_ISREG(st.st_mode))
    Raise(err::kPathFileAccess, path);
  if (st.st_size > INT32_MAX)
    RaiseTooLarge(path);
  return static_cast<int32_t>(st.st_size);
}

std::vector<std::string> ListFiles(const std::string &pattern) {
  const SplitPath split = Split(pattern);
  std::vector<std::string> names;
  if (split.name.empty())
    return names;

  if (!HasWildcard(split.name)) {
    // Windows lists a device name in a folder that exists as a file named
    // as the device ("Sub\\nul.txt" finds "nul"), which no deletion or
    // rename then takes.
    if (posix::OpensDevice(split.name)) {
      if (DeviceFound(pattern))
        names.push_back(DeviceOf(split.name));
      return names;
    }
    // The name as the folder holds it, as Windows lists it.
    const std::string native = posix::ResolvedPath(pattern);
    const posix::Reach at = posix::ReachOf(native);
    struct stat st {};
    if (posix::sys::FStatAt(at.folder, at.name.c_str(), &st, 0, pattern) != 0) {
      if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
        return NothingIn(split.prefix, pattern);
      posix::RaiseErrno(errno, pattern);
    }
    if (S_ISREG(st.st_mode))
      names.push_back(LastName(native));
    return names;
  }

  Fd folder(OpenFolder(split.prefix));
  if (folder.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      return NothingIn(split.prefix, pattern);
    RaiseUnlisted(split.prefix, pattern);
  }
  for (std::string &name :
       ReadNames(folder.get(), FolderForMessage(split.prefix))) {
    if (!IsAddressable(name) || !MatchesPattern(name, split.name))
      continue;
    // A name that cannot be looked at is a failure, not a file that is not
    // there: a deletion by pattern must not pass over it in silence.
    struct stat st {};
    if (posix::sys::FStatAt(folder.get(), name.c_str(), &st, 0,
                            split.prefix + name) != 0) {
      if (errno == ENOENT || errno == ELOOP)
        continue; // gone meanwhile, or a dangling link
      posix::RaiseErrno(errno, split.prefix + name);
    }
    if (S_ISREG(st.st_mode))
      names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

std::string NameAsStored(const std::string &path) {
  const std::string native = posix::ResolvedPath(path);
  struct stat st {};
  if (native.empty() || posix::sys::LStat(native.c_str(), &st, path) != 0)
    return path;
  return Split(path).prefix + native.substr(native.find_last_of('/') + 1);
}

SplitPath Split(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos)
    return {std::string(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

void RemoveFile(const std::string &path) {
  // A device is never deleted (Windows: ERROR_INVALID_PARAMETER).
  if (posix::OpensDevice(path))
    posix::RaiseAs(posix::WinError::InvalidParameter, path);
  const std::string native = posix::ResolvedPath(path);
  const posix::Reach at = posix::ReachOf(native);
  struct stat st {};
  if (posix::sys::FStatAt(at.folder, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW,
                          path) != 0) {
    // Gone meanwhile, which Windows passes over as a file not found; a
    // folder on the way that is not there fails ("x \y" where x is a file).
    if (errno == ENOENT && posix::ParentExists(native))
      return;
    posix::RaiseErrno(errno, path);
  }
  if (S_ISREG(st.st_mode) && IsReadOnly(st))
    posix::RaiseAs(posix::WinError::AccessDenied, path, MsgText(kReadOnly));
  RefuseHeldFile(at.folder, at.name.c_str(), st, path, true);
  if (UnlinkIn(at.folder, at.name, 0, path) != 0 && errno != ENOENT)
    posix::RaiseErrno(errno, path);
  posix::ForgetNames();
}

namespace {

// Gives a folder MkDir just made its mode: a private one exactly 0700, any
// other its owner's every right whatever the umask (Windows makes no folder
// that its maker cannot write into) and the rest as the umask leaves it.
// False, errno set, when it cannot.
bool GiveNewFolderItsMode(const std::string &path, const std::string &native,
                          mode_t mode) {
  struct stat st {};
  if (posix::sys::LStat(native.c_str(), &st, path) != 0)
    return false;
  const mode_t wanted = mode == 0700 ? 0700 : (st.st_mode & 07777) | 0700;
  if ((st.st_mode & 07777) == wanted)
    return true;
  Fd folder(posix::sys::Open(path, native.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return folder.get() >= 0 &&
         posix::sys::FChmod(folder.get(), wanted, path) == 0;
}

// MkDir with the mode of a new folder (GiveNewFolderItsMode); a folder that
// cannot get it goes again, so that a failed MkDir leaves nothing.
void MakeFolder(const std::string &path, mode_t mode) {
  if (path.empty())
    posix::RaiseAs(posix::WinError::PathNotFound, "\"\"");
  CheckName(path);
  // Nor is a folder made below a name Windows never makes.
  if (HoldsRefusedCharacter(path))
    posix::RaiseAs(posix::WinError::InvalidName, path);
  const std::string native = posix::ResolvedPath(path);
  if (posix::ChangeInFolder(AT_FDCWD, native, [&] {
        return posix::sys::MkDir(native.c_str(), mode, path);
      }) == 0) {
    if (!GiveNewFolderItsMode(path, native, mode)) {
      const int error = errno;
      posix::sys::UnlinkAt(AT_FDCWD, native.c_str(), AT_REMOVEDIR, path);
      posix::RaiseErrno(error, path);
    }
    posix::NoteNewName(native);
    return;
  }
  switch (errno) {
  case EEXIST:
    RaiseNotMade(err::kPathFileAccess, path);
  case ENOENT:
  case ENOTDIR:
    RaiseNotMade(err::kPathNotFound, path);
  default:
    posix::RaiseErrno(errno, path);
  }
}

} // namespace

void MkDir(const std::string &path) { MakeFolder(path, 0777); }

void RaiseNotMade(int32_t number, const std::string &path) {
  posix::RaiseAs(number == err::kPathNotFound ? posix::WinError::PathNotFound
                                              : posix::WinError::AlreadyExists,
                 path);
}

void MkPrivateDir(const std::string &path) { MakeFolder(path, 0700); }

bool FolderExists(const std::string &path) {
  struct stat st {};
  return !path.empty() &&
         posix::sys::Stat(posix::ResolvedPath(path).c_str(), &st, path) == 0 &&
         S_ISDIR(st.st_mode);
}

bool SameFile(const std::string &a, const std::string &b) {
  struct stat x {
  }, y{};
  if (a.empty() || b.empty() ||
      posix::sys::Stat(posix::ResolvedPath(a).c_str(), &x, a) != 0 ||
      posix::sys::Stat(posix::ResolvedPath(b).c_str(), &y, b) != 0)
    return false;
  return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

namespace {

// The folders that a pattern names, as DeleteFolder and ListFolders find
// them: the folder that holds them, opened, and their names in name order.
// A pattern without a wildcard names its folder as written (given, without
// trailing separators), as Windows goes on to delete it under that path.
struct FolderMatches {
  Fd folder;
  SplitPath split;
  std::vector<std::string> names;
  std::string given;
};

// A trailing separator names the same folder; the root, "." and ".." are
// never matched. A missing folder matches nothing.
void MatchFolders(const std::string &pattern, FolderMatches &found) {
  const std::string path = WithoutTrailingSeparators(pattern);
  found.split = Split(path);
  const SplitPath &split = found.split;
  if (split.name.empty() || IsDotOrDotDot(split.name))
    return;
  found.folder.Reset(OpenFolder(split.prefix));
  if (found.folder.get() < 0) {
    // Windows lists the folders by the pattern without the separators that
    // end it, and a failed listing names it so.
    if (errno == ENOENT || errno == ENOTDIR) {
      if (HasWildcard(split.name))
        NothingIn(split.prefix, path);
      return;
    }
    // Windows' look at a path without a wildcard finds no folder where a
    // name it refuses is on the way.
    if (errno == EILSEQ && !HasWildcard(split.name))
      return;
    RaiseUnlisted(split.prefix, path);
  }
  if (!HasWildcard(split.name)) {
    const std::string native = posix::ResolvedPath(path);
    std::string before = posix::NativePath(split.prefix);
    while (before.size() > 1 && before.back() == '/')
      before.pop_back();
    if (posix::NativePath(path) == before) {
      // Windows drops a last name of dots and blanks alone ("sub\..." is
      // sub): the folder before it is looked for in its own folder.
      found.folder.Reset(OpenNativeFolder(posix::ParentOf(native), path));
      if (found.folder.get() < 0)
        return;
    }
    const std::string name = LastName(native);
    if (IsFolderAt(found.folder.get(), name, path)) {
      found.names.push_back(name);
      found.given = path;
    }
    return;
  }
  const int folder = found.folder.get();
  for (std::string &name : ReadNames(folder, FolderForMessage(split.prefix)))
    if (IsAddressable(name) && MatchesPattern(name, split.name) &&
        IsFolderAt(folder, name, split.prefix + name))
      found.names.push_back(std::move(name));
  std::sort(found.names.begin(), found.names.end(), NameLess);
}

} // namespace

void DeleteFolder(const std::string &pattern, bool force) {
  // Whatever it removed, kept names of a folder are no longer true.
  struct Forget {
    Forget() = default;
    Forget(const Forget &) = delete;
    Forget &operator=(const Forget &) = delete;
    ~Forget() { posix::ForgetNames(); }
  } forget;
  FolderMatches matches;
  MatchFolders(pattern, matches);
  if (matches.names.empty())
    Raise(err::kPathNotFound, pattern);
  if (!matches.given.empty()) {
    // Windows lists what the folder holds through its path with a
    // separator after it, where a name ending in a dot loses only one and
    // keeps its blanks: "Sub .\\" is "Sub ", not the folder "Sub" that the
    // path names. What is listed there goes (nothing when it is no
    // folder), and the folder only when that leaves it empty.
    Fd inside(OpenFolder(matches.given + "\\"));
    if (inside.get() < 0 && errno == EILSEQ) // a folder "..." on the way
      posix::RaiseErrno(errno, matches.given + "\\*");
    struct stat listed {};
    struct stat own {};
    const bool same =
        inside.get() >= 0 &&
        posix::sys::FStat(inside.get(), &listed, matches.given) == 0 &&
        posix::sys::FStatAt(matches.folder.get(), matches.names[0].c_str(),
                            &own, AT_SYMLINK_NOFOLLOW, matches.given) == 0 &&
        listed.st_dev == own.st_dev && listed.st_ino == own.st_ino;
    if (!same) {
      const int other = inside.get();
      RemoveFolderAt(matches.folder.get(), matches.names[0], matches.given,
                     force, &other);
      return;
    }
  }
  for (const std::string &name : matches.names)
    RemoveFolderAt(matches.folder.get(), name,
                   matches.given.empty() ? matches.split.prefix + name
                                         : matches.given,
                   force);
}

std::vector<std::string> ListFolders(const std::string &pattern) {
  FolderMatches matches;
  MatchFolders(pattern, matches);
  if (!matches.given.empty())
    return {matches.split.name};
  return std::move(matches.names);
}

void MarkHidden(const std::string &path) {
  // Posix keeps no hidden mark; the entry must be there all the same.
  struct stat st {};
  if (posix::sys::LStat(posix::ResolvedPath(path).c_str(), &st, path) != 0)
    posix::RaiseErrno(errno, path);
}

EntryKind KindOf(const std::string &path) {
  // Windows gives a device name in a folder that exists the attributes of
  // a file.
  if (posix::OpensDevice(path))
    return DeviceFound(path) ? EntryKind::File : EntryKind::Missing;
  // A name there as written takes one lstat; only a missing one is looked
  // up without regard to case (ResolvedPath).
  const std::string native = posix::NativePath(path);
  if (native.empty())
    return EntryKind::Missing;
  // A name of a held folder is looked at in it.
  const auto look = [&path](const std::string &name, struct stat &st) {
    const posix::Reach at = posix::ReachOf(name);
    return posix::sys::FStatAt(at.folder, at.name.c_str(), &st,
                               AT_SYMLINK_NOFOLLOW, path);
  };
  struct stat st {};
  int status = look(native, st);
  if (status != 0 && errno == ENOENT) {
    const std::string resolved = posix::ResolvedPath(path);
    status = resolved == native ? -1 : look(resolved, st);
    if (resolved == native)
      errno = ENOENT;
  }
  if (status != 0) {
    // Windows looks up no name with a wildcard or another character it
    // refuses: a bad file name (posix may hold one, which is found).
    if ((errno == ENOENT || errno == ENOTDIR) && HoldsRefusedCharacter(path))
      posix::RaiseAs(posix::WinError::InvalidName, path);
    if (errno == ENOENT || errno == ENOTDIR)
      return EntryKind::Missing;
    posix::RaiseErrno(errno, path);
  }
  if (S_ISLNK(st.st_mode))
    return EntryKind::Link;
  if (S_ISREG(st.st_mode))
    return EntryKind::File;
  if (S_ISDIR(st.st_mode))
    return EntryKind::Folder;
  return EntryKind::Other;
}

void RemoveLink(const std::string &path) { RemoveFile(path); }

PrivateFolder::PrivateFolder(const std::string &path) : path_(path) {
  const std::string native = posix::ResolvedPath(path);
  Fd folder(posix::sys::Open(path, native.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) {
    const int code = errno;
    // A file at the name (or on the way to it) is no folder at all, as
    // Windows says of such a path; only a link is one that is refused.
    if (code == ENOENT || (code == ENOTDIR && KindOf(path) != EntryKind::Link))
      posix::RaiseAs(posix::WinError::PathNotFound, path);
    if (code == ELOOP || code == ENOTDIR)
      Raise(err::kPermissionDenied, path + MsgText(kNotRealFolder));
    posix::RaiseErrno(code, path);
  }
  struct stat st {};
  if (posix::sys::FStat(folder.get(), &st, path) != 0)
    posix::RaiseErrno(errno, path);
  if (st.st_uid != geteuid())
    Raise(err::kPermissionDenied, path + MsgText(kNotOwnFolder));
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    Raise(err::kPermissionDenied, path + MsgText(kOthersCanWrite));
  posix::NoteHeld(folder.get(), st);
  posix::NoteHeldFolder(folder.get(), native);
  handle_ = folder.Release();
}

PrivateFolder::~PrivateFolder() {
  posix::ForgetHeldFolder(static_cast<int>(handle_));
  posix::ForgetHeld(static_cast<int>(handle_));
  ::close(static_cast<int>(handle_));
}

bool PrivateFolder::Empty() const {
  return ReadNames(static_cast<int>(handle_), path_).empty();
}

os::FileHandle PrivateFolder::OpenFile(const std::string &name,
                                       OpenMode mode) const {
  // The name as the folder holds it, found through the path; the file is
  // opened in the folder held, whatever the path names now.
  const std::string shown = path_ + "\\" + name;
  const int folder = static_cast<int>(handle_);
  return os::OpenFileIn(handle_, posix::NameIn(folder, name, shown), shown,
                        mode);
}

} // namespace platform::fs
