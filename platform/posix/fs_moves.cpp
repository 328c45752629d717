// Renames, empty folders, files in use and file times on posix: what an
// install that can be undone needs of the file system.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/posix/fd.h"
#include "platform/posix/folder_names.h"
#include "platform/posix/held_files.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/running_program.h"
#include "platform/posix/syscalls.h"
#include "platform/posix/writable_folder.h"

namespace platform::fs {

void Rename(const std::string &from, const std::string &to) {
  CheckName(to);
  // A device, which Windows finds as a file, is never moved.
  if (posix::OpensDevice(from))
    posix::RaiseAs(posix::WinError::InvalidParameter, from + " -> " + to);
  const std::string source = posix::ResolvedPath(from);
  const std::string target = posix::ResolvedPath(to);
  struct stat st {};
  // Only this program's own handles are asked about: the install's moves
  // come right after the check of files in use, which asked the others.
  if (posix::sys::LStat(source.c_str(), &st, from) == 0) {
    posix::RefuseHeld(st, from + " -> " + to);
    // Onto itself, spelled alike or not ("x" to "a\..\X"): Windows takes
    // it for done.
    if (source == target)
      return;
  }
  // Both folders change, each whatever its read-only mark.
  const auto rename = [&] {
    return posix::ChangeInFolder(AT_FDCWD, target, [&] {
      return posix::sys::Rename(source.c_str(), target.c_str(), from);
    });
  };
  if (posix::ChangeInFolder(AT_FDCWD, source, rename) != 0) {
    // Named as Windows names a failed move, by both paths.
    const std::string both = from + " -> " + to;
    switch (errno) {
    case EEXIST:
    case ENOTEMPTY:
      posix::RaiseAs(posix::WinError::AlreadyExists, both);
    case EINVAL: // a folder into itself
      posix::RaiseAs(posix::WinError::InvalidParameter, both);
    case ENOENT: {
      // A source in a folder that is not there is a path not found.
      struct stat st {};
      if (posix::sys::LStat(source.c_str(), &st, from) != 0 &&
          posix::ParentExists(source))
        posix::RaiseAs(posix::WinError::FileNotFound, both);
      posix::RaiseAs(posix::WinError::PathNotFound, both);
    }
    default:
      posix::RaiseErrno(errno, both);
    }
  }
  posix::NoteMoved(source, target);
}

void RemoveEmptyFolder(const std::string &path) {
  const std::string native = posix::ResolvedPath(path);
  struct stat st {};
  // Missing, a missing file or path, and a file no folder, as Windows'
  // RemoveDirectory fails.
  if (posix::sys::LStat(native.c_str(), &st, path) != 0)
    posix::RaiseErrno(errno, path);
  if (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))
    posix::RaiseAs(posix::WinError::Directory, path);
  posix::RefuseHeld(st, path);
  const int flags = S_ISLNK(st.st_mode) ? 0 : AT_REMOVEDIR;
  if (posix::ChangeInFolder(AT_FDCWD, native, [&] {
        return posix::sys::UnlinkAt(AT_FDCWD, native.c_str(), flags, path);
      }) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST)
      posix::RaiseAs(posix::WinError::DirNotEmpty, path);
    posix::RaiseErrno(errno, path);
  }
  posix::ForgetNames();
}

namespace {

// FileInUseBelow for the open folder shown as shown: every name opened
// relative to it and without following a link, so nothing outside is
// looked at.
std::string InUseIn(int folder, const std::string &shown) {
  std::vector<std::string> names;
  try {
    names = posix::ReadNames(folder, shown);
  } catch (const Error &) {
    return {}; // unreadable: the install finds out
  }
  for (const std::string &name : names) {
    std::string path = shown + "\\" + name;
    struct stat st {};
    if (posix::sys::FStatAt(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW,
                            path) != 0 ||
        (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)))
      continue;
    const posix::Fd entry(posix::sys::OpenAt(
        folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
        path));
    if (entry.get() < 0)
      continue;
    if (S_ISREG(st.st_mode) && posix::OpenElsewhere(entry.get(), path))
      return path;
    if (S_ISDIR(st.st_mode)) {
      std::string found = InUseIn(entry.get(), path);
      if (!found.empty())
        return found;
    }
  }
  return {};
}

} // namespace

bool InUse(const std::string &path) {
  const std::string native = posix::ResolvedPath(path);
  posix::Fd file(posix::sys::Open(
      path, native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0)
    return false; // missing, a link, or unreadable: nothing to wait for
  return posix::OpenElsewhere(file.get(), path);
}

std::string FileInUseBelow(const std::string &folder) {
  const std::string native = posix::ResolvedPath(folder);
  struct stat st {};
  if (posix::sys::LStat(native.c_str(), &st, folder) != 0 ||
      !S_ISDIR(st.st_mode))
    return {};
  // Windows lists it through "folder\*", which reads the last name as a
  // folder on the way: "{app}\..." is {app}, but "{app}\...\*" is a bad
  // name where nothing is found.
  const std::string listed = posix::ResolvedPath(folder + "\\");
  const posix::Fd top(posix::sys::Open(
      folder, listed.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return top.get() < 0 ? std::string() : InUseIn(top.get(), folder);
}

} // namespace platform::fs
