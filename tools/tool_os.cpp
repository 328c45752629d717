// The tool's calls to posix.
#include "tools/tool_os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/fd.h"
#include "platform/posix/held_files.h"
#include "platform/posix/native_path.h"
#include "platform/posix/syscalls.h"
#include "tools/cli.h"

namespace tools::os {

namespace {

using platform::posix::Fd;

std::string Errno(int code) { return std::strerror(code); }

int FdOf(const OsFile &file) { return static_cast<int>(file.Handle()); }

FileId IdOfStat(const struct stat &st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

FileTime TimeOf(const struct timespec &time) {
  return {static_cast<int64_t>(time.tv_sec),
          static_cast<uint32_t>(time.tv_nsec)};
}

FileStamp StampOfStat(const struct stat &st) {
  return {IdOfStat(st), st.st_size, TimeOf(st.st_mtim), TimeOf(st.st_ctim)};
}

FolderEntry::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode))
    return FolderEntry::Kind::File;
  if (S_ISDIR(mode))
    return FolderEntry::Kind::Folder;
  if (S_ISLNK(mode))
    return FolderEntry::Kind::Link;
  return FolderEntry::Kind::Other;
}

// Calls each(dirFd, name) for every entry of the open folder but "." and
// "..". The descriptor stays the caller's.
template <typename Each> bool ForEachName(int folder, Each each) {
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    return false;
  DIR *dir = fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return false;
  }
  const std::unique_ptr<DIR, int (*)(DIR *)> owner(dir, closedir);
  while (const dirent *entry = readdir(dir)) {
    const char *name = entry->d_name;
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
      each(name);
  }
  return true;
}

// A path of any length is opened as the run opens one, a piece below
// PATH_MAX at a time (platform/posix/syscalls.h).
int OpenFolder(const std::string &path, int flags = 0) {
  return platform::posix::unhooked::Open(path.empty() ? "." : path.c_str(),
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC |
                                             flags);
}

// Why name in the open folder could not be opened as what it should be.
[[noreturn]] void RaiseOpenFailure(int code, int folder, const char *name,
                                   const std::string &relative,
                                   const std::string &rootName) {
  struct stat st {};
  const bool link = fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(st.st_mode);
  if (link || code == ELOOP)
    throw ToolError(relative + " in " + rootName +
                    " is, or lies under, a link: only regular files that "
                    "lie inside the folder are packed");
  if (code == ENOENT)
    throw ToolError("no file " + relative + " in " + rootName);
  if (code == ENOTDIR)
    throw ToolError(relative + " in " + rootName +
                    ": a name on the way is not a folder");
  throw ToolError("cannot read " + relative + " in " + rootName + ": " +
                  Errno(code));
}

// The entries of the open folder dir (-1: one that could not be opened,
// errno set), shown as folder() (a deep path is made only for a message).
template <typename Shown>
std::vector<FolderEntry> ListOpen(int dir, Shown folder) {
  std::vector<FolderEntry> entries;
  const bool listed = dir >= 0 && ForEachName(dir, [&](const char *name) {
                        FolderEntry entry;
                        entry.name = name;
                        struct stat st {};
                        if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                          if (errno == ENOENT)
                            return; // gone meanwhile
                          entry.kind = FolderEntry::Kind::Unreadable;
                        } else {
                          entry.kind = KindOf(st.st_mode);
                          entry.stamp = StampOfStat(st);
                        }
                        entries.push_back(std::move(entry));
                      });
  if (!listed)
    throw ToolError("cannot list " + folder() + ": " + Errno(errno));
  return entries;
}

constexpr int kSubfolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// O_NONBLOCK: opening a fifo must not wait for a writer; it has no effect
// on the regular files that are read.
constexpr int kFile = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// The file open as fd (-1: one that could not be opened, errno set), when
// it is a regular file; path names it.
OpenedFile Regular(int fd, const std::string &path) {
  Fd file(fd);
  struct stat st {};
  if (file.get() < 0 || fstat(file.get(), &st) != 0)
    throw ToolError("cannot read " + path + ": " + Errno(errno));
  if (!S_ISREG(st.st_mode))
    throw ToolError(path + " is not a regular file");
  return {OsFile(path, file.Release()), StampOfStat(st)};
}

} // namespace

std::vector<FolderEntry> ReadFolder(const std::string &folder) {
  const Fd dir(OpenFolder(folder));
  return ListOpen(dir.get(), [&] { return folder; });
}

std::optional<FolderEntry::Kind> KindAt(const std::string &path, bool follow) {
  namespace unhooked = platform::posix::unhooked;
  struct stat st {};
  if ((follow ? unhooked::Stat(path.c_str(), &st)
              : unhooked::LStat(path.c_str(), &st)) == 0)
    return KindOf(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR)
    return std::nullopt;
  return FolderEntry::Kind::Unreadable;
}

OpenedFile OpenRegular(const std::string &path) {
  return Regular(platform::posix::unhooked::Open(path.c_str(), kFile), path);
}

FolderTrail::FolderTrail(const std::string &root)
    : levels_{{"", {}, OpenFolder(root)}}, root_(root) {
  if (levels_[0].fd < 0)
    throw ToolError("cannot open " + root + ": " + Errno(errno));
}

FolderTrail::~FolderTrail() {
  for (const Level &level : levels_)
    if (level.fd >= 0)
      ::close(level.fd);
}

int FolderTrail::Here() {
  size_t open = levels_.size() - 1;
  while (levels_[open].fd < 0)
    --open;
  for (size_t k = open + 1; k < levels_.size(); ++k) {
    Level &level = levels_[k];
    level.fd = openat(levels_[k - 1].fd, level.name.c_str(), kSubfolder);
    struct stat st {};
    if (level.fd < 0 || fstat(level.fd, &st) != 0 || IdOfStat(st) != level.id) {
      if (level.fd >= 0)
        ::close(level.fd);
      levels_.resize(k); // those below were closed
      throw ToolError(PathOf(level.name) + " changed while it was read");
    }
  }
  return levels_.back().fd;
}

void FolderTrail::Enter(const std::string &name) {
  Fd fd(openat(Here(), name.c_str(), kSubfolder));
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
    throw ToolError("cannot open " + PathOf(name) + ": " + Errno(errno));
  levels_.push_back({name, IdOfStat(st), fd.Release()});
  // The folder kNear above leaves the nearest: closed, unless it is one of
  // every kNear-th.
  if (levels_.size() > kNear + 1) {
    const size_t far = levels_.size() - 1 - kNear;
    if (far % kNear != 0 && levels_[far].fd >= 0) {
      ::close(levels_[far].fd);
      levels_[far].fd = -1;
    }
  }
}

void FolderTrail::Leave() {
  if (levels_.size() == 1)
    return;
  if (levels_.back().fd >= 0)
    ::close(levels_.back().fd);
  levels_.pop_back();
}

std::vector<FolderEntry> FolderTrail::List() {
  return ListOpen(Here(), [this] { return PathOf(""); });
}

OpenedFile FolderTrail::Open(const std::string &name) {
  return Regular(openat(Here(), name.c_str(), kFile), PathOf(name));
}

std::string FolderTrail::PathOf(const std::string &name) const {
  std::string path = root_;
  for (size_t k = 1; k < levels_.size(); ++k)
    path += "/" + levels_[k].name;
  return name.empty() ? path : path + "/" + name;
}

std::vector<std::string> ReadNames(const std::string &folder) {
  const Fd dir(OpenFolder(folder));
  std::vector<std::string> names;
  if (dir.get() >= 0)
    ForEachName(dir.get(), [&](const char *name) { names.emplace_back(name); });
  return names;
}

RootFolder::RootFolder(const std::string &path, std::string name)
    : path_(path), name_(std::move(name)), fd_(OpenFolder(path)) {
  if (fd_ < 0)
    throw ToolError("cannot open " + name_ + ": " + Errno(errno));
}

RootFolder::~RootFolder() { ::close(fd_); }

int RootFolder::OpenFd(const std::string &relative) const {
  Fd held; // the folder reached so far, once below the root
  int folder = fd_;
  size_t begin = 0;
  for (;;) {
    const size_t slash = relative.find('/', begin);
    const std::string name = relative.substr(begin, slash - begin);
    const bool last = slash == std::string::npos;
    begin = slash + 1;
    if (!last && (name.empty() || name == "."))
      continue;
    if (name.empty() || name == "." || name == "..")
      throw ToolError(relative + " is no file inside " + name_);
    // O_NONBLOCK: opening a fifo must not wait for a writer; it has no
    // effect on the regular files that are kept.
    const int flags =
        O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (last ? O_NONBLOCK : O_DIRECTORY);
    const int fd = openat(folder, name.c_str(), flags);
    if (fd < 0)
      RaiseOpenFailure(errno, folder, name.c_str(), relative, name_);
    if (last)
      return fd;
    held.Close(relative); // the folder above, done with
    held.Reset(fd);
    folder = fd;
  }
}

OpenedFile RootFolder::Open(const std::string &relative) const {
  Fd file(OpenFd(relative));
  struct stat st {};
  if (fstat(file.get(), &st) != 0)
    throw ToolError("cannot read " + relative + " in " + name_ + ": " +
                    Errno(errno));
  if (!S_ISREG(st.st_mode))
    throw ToolError(relative + " in " + name_ + " is not a regular file");
  return {OsFile(path_ + "/" + relative, file.Release()), StampOfStat(st)};
}

OsFile RootFolder::OpenListed(const std::string &relative) const {
  return {path_ + "/" + relative, OpenFd(relative)};
}

FileStamp StampOf(const OsFile &file) {
  struct stat st {};
  if (fstat(FdOf(file), &st) != 0)
    throw ToolError("cannot read " + file.path() + ": " + Errno(errno));
  return StampOfStat(st);
}

FileId IdOf(const OsFile &file) { return StampOf(file).id; }

platform::os::FileHandle Duplicate(const OsFile &file) {
  const int copy = fcntl(FdOf(file), F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    throw ToolError("cannot read " + file.path() + ": " + Errno(errno));
  return copy;
}

std::optional<FileId> IdOfPath(const std::string &path) {
  struct stat st {};
  if (platform::posix::unhooked::Stat(path.c_str(), &st) != 0)
    return std::nullopt;
  return IdOfStat(st);
}

int64_t CopyRange(const OsFile &source, int64_t from, int64_t length,
                  OsFile &target, int64_t at) {
  // The kernel copies without the bytes passing through the tool; where it
  // cannot (other file systems, old kernels), through a buffer.
  static bool inKernel = true;
  constexpr int64_t kPiece = int64_t{1} << 30;
  int64_t done = 0;
  while (inKernel && done < length) {
    off64_t in = from + done;
    off64_t out = at + done;
    const ssize_t n = copy_file_range(
        FdOf(source), &in, FdOf(target), &out,
        static_cast<size_t>(std::min(kPiece, length - done)), 0);
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      return done; // the source ends here
    } else if (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
               errno == EOPNOTSUPP || errno == EBADF) {
      inKernel = false;
    } else if (errno != EINTR) {
      throw ToolError("cannot copy " + source.path() + " to " + target.path() +
                      ": " + Errno(errno));
    }
  }
  constexpr size_t kBuffer = size_t{1} << 20;
  std::unique_ptr<char[]> buffer;
  while (done < length) {
    if (!buffer)
      buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(kBuffer, length - done));
    const size_t got = source.ReadAt(from + done, buffer.get(), want);
    target.WriteAt(at + done, buffer.get(), got);
    done += static_cast<int64_t>(got);
    if (got < want)
      break;
  }
  return done;
}

std::optional<platform::os::FileHandle> OpenUnnamed(const std::string &folder) {
  // Naming it later goes through /proc (linkat with AT_EMPTY_PATH needs a
  // privilege).
  if (access("/proc/self/fd", X_OK) != 0)
    return std::nullopt;
  const int fd =
      platform::posix::unhooked::Open(folder.empty() ? "." : folder.c_str(),
                                      O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0)
    return std::nullopt;
  return fd;
}

void NameUnnamed(const OsFile &file, const std::string &path) {
  const std::string self = "/proc/self/fd/" + std::to_string(FdOf(file));
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(),
             AT_SYMLINK_FOLLOW) != 0)
    throw ToolError("cannot create " + path + ": " + Errno(errno));
}

int ProcessId() { return static_cast<int>(getpid()); }

namespace {

void Lock(int fd, const std::string &path) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    throw ToolError("cannot lock " + path + ": " + Errno(errno));
}

} // namespace

void HoldLock(const OsFile &file) { Lock(FdOf(file), file.path()); }

OsFile LockFolder(const std::string &path) {
  Fd fd(OpenFolder(path, O_NOFOLLOW));
  if (fd.get() < 0)
    throw ToolError("cannot open " + path + ": " + Errno(errno));
  Lock(fd.get(), path);
  return OsFile(path, fd.Release());
}

void RemoveIfLeftover(const std::string &folder, const std::string &name,
                      int pid, bool isFolder) {
  // A process that still exists, or one we may not signal, may be at work.
  if (pid <= 0 || kill(pid, 0) == 0 || errno != ESRCH)
    return;
  const Fd dir(OpenFolder(folder));
  if (dir.get() < 0)
    return;
  const Fd entry(openat(dir.get(), name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK |
                            (isFolder ? O_DIRECTORY : 0)));
  struct stat st {};
  if (entry.get() < 0 || fstat(entry.get(), &st) != 0 ||
      st.st_uid != geteuid() ||
      (isFolder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) ||
      flock(entry.get(), LOCK_EX | LOCK_NB) != 0)
    return;
  if (!isFolder) {
    unlinkat(dir.get(), name.c_str(), 0);
    return;
  }
  std::error_code error; // remove_all removes links inside as links
  std::filesystem::remove_all(std::filesystem::path(folder) / name, error);
}

HeldFolder::HeldFolder(const std::string &folder) {
  const std::string native = platform::posix::ResolvedPath(folder);
  fd_ = OpenFolder(native);
  if (fd_ < 0)
    throw ToolError("cannot open the target folder: " + folder + " (" +
                    Errno(errno) + ")");
  platform::posix::NoteHeldFolder(fd_, native);
}

HeldFolder::~HeldFolder() {
  platform::posix::ForgetHeldFolder(fd_);
  ::close(fd_);
}

std::optional<uint64_t> AvailableMemory() {
  std::ifstream info("/proc/meminfo");
  constexpr std::string_view kKey = "MemAvailable:"; // then "N kB"
  for (std::string line; std::getline(info, line);)
    if (line.starts_with(kKey))
      return std::strtoull(line.c_str() + kKey.size(), nullptr, 10) * 1024;
  return std::nullopt;
}

} // namespace tools::os
