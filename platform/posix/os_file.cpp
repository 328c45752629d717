// Raw files on posix: descriptors, pread and pwrite. Files opened for
// writing are opened with O_NOFOLLOW, so a link planted at the name is
// refused instead of followed.
#include "platform/os_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/posix/fd.h"
#include "platform/posix/held_files.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/running_program.h"
#include "platform/posix/syscalls.h"
#include "platform/posix/writable_folder.h"

namespace platform::os {

namespace {

// O_NONBLOCK: opening a fifo must not wait for its other end; only regular
// files are kept anyway, and they get blocking mode back.
constexpr int kCommonFlags = O_CLOEXEC | O_NONBLOCK;

using posix::Fd;
namespace fs = platform::fs;

[[noreturn]] void RaiseLink(const std::string &path) {
  Raise(err::kPathFileAccess, path + MsgText(fs::kWriteThroughLink));
}

// What an open for writing does besides refusing to follow a link.
struct WriteRules {
  bool privateFile = false; // the user's alone: created 0600
  bool replaceLink = false; // a link at the name is replaced, not refused
};

bool IsLink(const posix::Reach &at, const std::string &path) {
  struct stat st {};
  return posix::sys::FStatAt(at.folder, at.name.c_str(), &st,
                             AT_SYMLINK_NOFOLLOW, path) == 0 &&
         S_ISLNK(st.st_mode);
}

// Opens what at reaches, seen by the fault seam as an open of path.
int OpenAt(const posix::Reach &at, const std::string &path, int flags,
           mode_t mode = 0) {
  return at.folder == AT_FDCWD
             ? posix::sys::Open(path, at.name.c_str(), flags, mode)
             : posix::sys::OpenAt(at.folder, at.name.c_str(), flags, path,
                                  mode);
}

// Removes what at reaches; gone already is no failure.
void Unlink(const posix::Reach &at, const std::string &path) {
  if (posix::ChangeInFolder(at.folder, at.name,
                            [&] {
                              return posix::sys::UnlinkAt(
                                  at.folder, at.name.c_str(), 0, path);
                            }) != 0 &&
      errno != ENOENT)
    posix::RaiseErrno(errno, path);
}

// Opens a file to be written, never through a link; raises for anything
// that is not a regular file. A file of a held folder is opened in it.
// created: whether this open made the file (its mode is then the umask's
// cut, not a mark anyone gave it).
int OpenForWriting(const std::string &path, const std::string &native,
                   int flags, WriteRules rules, bool &created) {
  const mode_t mode = rules.privateFile ? 0600 : 0666;
  flags |= O_NOFOLLOW | kCommonFlags;
  const posix::Reach at = posix::ReachOf(native);
  // A new file is made with O_EXCL, so that it is known to be new; a file
  // there is opened as it is, and one removed in between is made after all.
  const bool mayCreate = (flags & O_CREAT) != 0;
  int fd = -1;
  created = false;
  for (int tries = 0; tries < 4; ++tries) {
    if (mayCreate) {
      fd = posix::ChangeInFolder(at.folder, at.name, [&] {
        return OpenAt(at, path, flags | O_EXCL, mode);
      });
      created = fd >= 0;
      if (fd >= 0 || errno != EEXIST || (flags & O_EXCL) != 0)
        break;
    }
    fd = OpenAt(at, path, flags & ~O_CREAT, mode);
    if (fd >= 0 || errno != ENOENT || !mayCreate)
      break;
  }
  if (fd < 0 && errno == ELOOP && rules.replaceLink && IsLink(at, path)) {
    // The link goes as itself; what it points to keeps its bytes. A new
    // file, or the open fails: nothing planted meanwhile is written through.
    Unlink(at, path);
    fd = OpenAt(at, path, flags | O_EXCL, mode);
    created = fd >= 0;
  }
  if (fd < 0) {
    if (errno == ELOOP)
      RaiseLink(path);
    posix::RaiseErrno(errno, path);
  }
  posix::NoteNewName(native);
  return fd;
}

struct stat StatRegular(int fd, const std::string &path) {
  struct stat st {};
  if (posix::sys::FStat(fd, &st, path) != 0)
    posix::RaiseErrno(errno, path);
  if (!S_ISREG(st.st_mode))
    Raise(err::kPathFileAccess, path);
  return st;
}

// The descriptor, held as Windows holds the files it opens: without delete
// sharing, until CloseFile.
FileHandle Held(Fd &fd, const struct stat &st) {
  posix::NoteHeld(fd.get(), st);
  return fd.Release();
}

// Blocking mode back. F_SETFL sets only the status flags (O_NONBLOCK,
// O_APPEND and the like), and no file here keeps any of them.
void Finish(int fd) { fcntl(fd, F_SETFL, 0); }

// A file an open made: its mode is the umask's cut, which may take its
// owner's write bit, and Windows makes no new file read-only. A private
// one gets exactly 0600, any other its owner's read and write.
void MendNewFile(int fd, struct stat &st, bool privateFile,
                 const std::string &path) {
  const mode_t wanted = privateFile ? 0600 : (st.st_mode & 07777) | 0600;
  if ((st.st_mode & 07777) == wanted)
    return;
  if (posix::sys::FChmod(fd, wanted, path) != 0)
    posix::RaiseErrno(errno, path);
  st.st_mode = (st.st_mode & ~07777) | wanted;
}

// A file without its owner's write permission is read-only, as Windows
// has it: not written even by root, whom the OS would let.
void RefuseReadOnly(const struct stat &st, const std::string &path) {
  if ((st.st_mode & S_IWUSR) == 0)
    posix::RaiseErrno(EACCES, path);
  // Nor is the running program's file, which Windows holds while it runs.
  if (posix::IsRunningProgram(st))
    posix::RaiseErrno(ETXTBSY, path);
}

// A file that has other names (hard links), which may lie anywhere on the
// volume, is not written in place.
void RefuseOtherNames(const struct stat &st, const std::string &path) {
  if (st.st_nlink > 1)
    RaiseLink(path);
}

// A path with a name Windows never opens fails as it fails there, as a bad
// file name, not as a file that is not found (or opened, where posix has
// one of that name). So does a path that ends in a separator, except where
// Windows opens the name before it: a folder fails as a folder opened as a
// file, a missing name to read as a missing file (toRead), and a missing
// name in a folder that is missing (or a file) as a path not found.
void CheckNames(const std::string &path, bool toRead) {
  if (fs::HoldsRefusedCharacter(path))
    posix::RaiseAs(posix::WinError::InvalidName, path);
  if (!path.ends_with('\\') && !path.ends_with('/'))
    return;
  const std::string name = fs::WithoutTrailingSeparators(path);
  switch (fs::KindOf(name)) {
  case fs::EntryKind::Folder:
    Raise(err::kPathFileAccess, path);
  case fs::EntryKind::Missing: {
    const size_t cut = name.find_last_of("\\/");
    if (toRead || (cut != std::string::npos &&
                   !fs::FolderExists(name.substr(0, cut + 1))))
      posix::RaiseErrno(ENOENT, path);
    break;
  }
  default:
    break;
  }
  posix::RaiseAs(posix::WinError::InvalidName, path);
}

// Output, PrivateOutput and CreateNew, and the target of a copy when source
// is set.
FileHandle OpenOutput(const std::string &path, OpenMode mode,
                      const struct stat *source,
                      const std::string &sourcePath) {
  fs::CheckName(path);
  CheckNames(path, false);
  const std::string native = posix::ResolvedPath(path);
  const int create =
      O_RDWR | O_CREAT | (mode == OpenMode::CreateNew ? O_EXCL : 0);
  WriteRules rules;
  rules.privateFile =
      mode == OpenMode::PrivateOutput || mode == OpenMode::CreateNew;
  rules.replaceLink = source != nullptr;
  bool created = false;
  Fd fd(OpenForWriting(path, native, create, rules, created));
  struct stat st = StatRegular(fd.get(), path);
  if (created)
    MendNewFile(fd.get(), st, rules.privateFile, path);
  else
    RefuseReadOnly(st, path);
  if (source && st.st_dev == source->st_dev && st.st_ino == source->st_ino)
    Raise(err::kPermissionDenied,
          Message(Msg::CopyOntoItself, {sourcePath, path}));
  if (st.st_nlink > 1) {
    // Emptying it would empty every other name of the file too, wherever
    // they are: the name gets a new file instead.
    fd.Close(path);
    Unlink(posix::ReachOf(native), path);
    fd.Reset(OpenForWriting(path, native, O_RDWR | O_CREAT | O_EXCL, rules,
                            created));
    st = StatRegular(fd.get(), path);
    MendNewFile(fd.get(), st, rules.privateFile, path);
  }
  // The mode of a file that was there, and the umask's cut of a new one's.
  if (rules.privateFile && (st.st_mode & 07777) != 0600 &&
      posix::sys::FChmod(fd.get(), 0600, path) != 0)
    posix::RaiseErrno(errno, path);
  if (st.st_size != 0 && posix::sys::FTruncate(fd.get(), 0, path) != 0)
    posix::RaiseErrno(errno, path);
  Finish(fd.get());
  return Held(fd, st);
}

} // namespace

FileHandle OpenFile(const std::string &path, OpenMode mode) {
  if (mode != OpenMode::ReadWrite && mode != OpenMode::ReadOnly)
    return OpenOutput(path, mode, nullptr, {});
  // As Windows: a device name is a device wherever it stands, and a device
  // is no file on a disk.
  fs::CheckName(path, mode == OpenMode::ReadOnly);
  CheckNames(path, mode == OpenMode::ReadOnly);
  if (posix::OpensDevice(path))
    Raise(err::kBadFileName, path);
  Fd fd;
  bool created = false;
  if (mode == OpenMode::ReadWrite) {
    fd.Reset(OpenForWriting(path, posix::ResolvedPath(path), O_RDWR | O_CREAT,
                            {}, created));
  } else {
    // A name there as written opens at once; only a missing one is looked
    // up without regard to case. A file of a held folder is read from it.
    const std::string native = posix::NativePath(path);
    constexpr int kRead = O_RDONLY | kCommonFlags;
    const auto open = [&path](const std::string &name) {
      return OpenAt(posix::ReachOf(name), path, kRead);
    };
    fd.Reset(open(native));
    if (fd.get() < 0 && errno == ENOENT) {
      const std::string resolved = posix::ResolvedPath(path);
      if (resolved != native)
        fd.Reset(open(resolved));
      else
        errno = ENOENT;
    }
    if (fd.get() < 0)
      posix::RaiseErrno(errno, path);
  }
  struct stat st = StatRegular(fd.get(), path);
  if (created) {
    MendNewFile(fd.get(), st, false, path);
  } else if (mode == OpenMode::ReadWrite) {
    RefuseReadOnly(st, path);
    RefuseOtherNames(st, path);
  }
  Finish(fd.get());
  return Held(fd, st);
}

void RaiseNotOpened(int32_t number, const std::string &path) {
  // As CheckNames and RaiseErrno word them.
  if (number == err::kBadFileName)
    posix::RaiseAs(posix::WinError::InvalidName, path);
  posix::RaiseAs(number == err::kFileNotFound ? posix::WinError::FileNotFound
                                              : posix::WinError::PathNotFound,
                 path, std::string(" (") + std::strerror(ENOENT) + ")");
}

FileHandle OpenCopyTarget(const std::string &target, FileHandle source,
                          const std::string &sourcePath) {
  struct stat from {};
  if (posix::sys::FStat(static_cast<int>(source), &from, sourcePath) != 0)
    posix::RaiseErrno(errno, sourcePath);
  return OpenOutput(target, OpenMode::Output, &from, sourcePath);
}

FileHandle OpenFileIn(FileHandle folder, const std::string &name,
                      const std::string &path, OpenMode mode) {
  const int flags = mode == OpenMode::ReadWrite ? O_RDWR | O_CREAT : O_RDONLY;
  Fd fd(posix::sys::OpenAt(static_cast<int>(folder), name.c_str(),
                           flags | O_NOFOLLOW | kCommonFlags, path, 0600));
  if (fd.get() < 0) {
    if (errno == ELOOP)
      RaiseLink(path);
    posix::RaiseErrno(errno, path);
  }
  const struct stat st = StatRegular(fd.get(), path);
  if (mode == OpenMode::ReadWrite)
    RefuseOtherNames(st, path);
  Finish(fd.get());
  return Held(fd, st);
}

int64_t FileSize(FileHandle handle, const std::string &path) {
  struct stat st {};
  if (posix::sys::FStat(static_cast<int>(handle), &st, path) != 0)
    posix::RaiseErrno(errno, path);
  return st.st_size;
}

size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path) {
  for (;;) {
    const ssize_t n = posix::sys::PRead(static_cast<int>(handle), buffer, count,
                                        offset, path);
    if (n >= 0)
      return static_cast<size_t>(n);
    if (errno != EINTR)
      posix::RaiseErrno(errno, path);
  }
}

void WriteAt(FileHandle handle, int64_t offset, const void *buffer,
             size_t count, const std::string &path) {
  const auto *bytes = static_cast<const char *>(buffer);
  while (count > 0) {
    const ssize_t n = posix::sys::PWrite(static_cast<int>(handle), bytes, count,
                                         offset, path);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      posix::RaiseErrno(errno, path);
    }
    bytes += n;
    offset += n;
    count -= static_cast<size_t>(n);
  }
}

void SetModifiedTime(FileHandle handle, int64_t seconds, uint32_t nanoseconds,
                     const std::string &path) {
  const struct timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
  if (posix::sys::FutimeNs(static_cast<int>(handle), times, path) != 0)
    posix::RaiseErrno(errno, path);
}

void CloseFile(FileHandle handle, const std::string &path) {
  posix::ForgetHeld(static_cast<int>(handle));
  if (posix::sys::Close(static_cast<int>(handle), path) != 0 && errno != EINTR)
    posix::RaiseErrno(errno, path);
}

void CloseFileQuietly(FileHandle handle, const std::string &path) noexcept {
  posix::ForgetHeld(static_cast<int>(handle));
  posix::sys::Close(static_cast<int>(handle), path);
}

} // namespace platform::os
