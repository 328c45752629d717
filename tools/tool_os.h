// The tool's own calls to the operating system, in one place beside the
// engine's file layer (platform/): a folder listed once with what each
// entry is, files opened without following any link, copies made in the
// kernel, unnamed output files, and what tells a leftover of a killed
// command from work in progress. The tool runs on posix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/file_io.h"

namespace tools::os {

// Which file a name led to, unique on the machine while the file exists.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileId &) const = default;
};

// A file's time of last change, since 1970 (UTC).
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  bool operator==(const FileTime &) const = default;
};

// What a file was when it was looked at. Another file put at its name, or
// the same file written since, has another stamp (as far as the file
// system's clock tells the write from the look).
struct FileStamp {
  FileId id;
  int64_t size = 0;
  FileTime modified{};
  FileTime changed{}; // the inode's change, which no call sets back
  bool operator==(const FileStamp &) const = default;
};

// An entry of a folder as it is: a link is a link, not what it points to.
struct FolderEntry {
  enum class Kind { File, Folder, Link, Other, Unreadable };
  std::string name;
  Kind kind = Kind::Other;
  FileStamp stamp; // size: bytes of a File
};

// Every entry of folder except "." and "..", in the order the file system
// gives them: one pass over the folder and one look at each entry. Raises
// ToolError when folder cannot be listed.
std::vector<FolderEntry> ReadFolder(const std::string &folder);
// Only the names, without a look at each entry; none when folder cannot be
// listed.
std::vector<std::string> ReadNames(const std::string &folder);

// A file opened for reading, with what it was when opened.
struct OpenedFile {
  OsFile file;
  FileStamp stamp;
};

// A walk down a folder tree that stands in one folder at a time, held open,
// so that a path longer than Linux takes whole (PATH_MAX, 4,096 bytes) is
// reached as Windows reaches it, and a deep walk resolves no path from the
// root again at each level. Every name on the way is opened as a folder,
// never through a link. Of the folders above, the nearest kNear and every
// kNear-th stay open: a deep walk holds few descriptors, and one closed is
// opened again from the nearest open one when it is needed, and must then
// be the folder it was.
class FolderTrail {
public:
  static constexpr size_t kNear = 64;

  // Raises ToolError naming root (a path of any length, itself perhaps a
  // link) when it is no folder that can be opened.
  explicit FolderTrail(const std::string &root);
  ~FolderTrail();
  FolderTrail(const FolderTrail &) = delete;
  FolderTrail &operator=(const FolderTrail &) = delete;

  // Down into the folder name where it stands; raises ToolError naming it
  // when that is no folder now (a link, say) or cannot be opened.
  void Enter(const std::string &name);
  // Back up into the folder above (never above the root).
  void Leave();
  // Where it stands, listed as ReadFolder lists a folder.
  std::vector<FolderEntry> List();
  // The regular file name where it stands, opened without following a
  // link; ToolError naming it when it cannot be.
  OpenedFile Open(const std::string &name);
  // The path of name where it stands (the root's path, then "/" and the
  // names), for messages.
  std::string PathOf(const std::string &name) const;

private:
  struct Level {
    std::string name;
    FileId id;
    int fd; // -1 while closed
  };
  int Here();

  std::vector<Level> levels_; // the root's first, always open
  std::string root_;
};

// What is at path (a path of any length), a link followed when follow:
// nullopt when nothing is there (nor a folder on the way), Unreadable
// (errno set) when it cannot be looked at.
std::optional<FolderEntry::Kind> KindAt(const std::string &path, bool follow);
// The regular file at path (a path of any length) opened for reading, a
// link at its end not followed; ToolError naming path when it cannot be.
OpenedFile OpenRegular(const std::string &path);

// A folder held open, the root from which files are opened for reading
// without following any link on the way.
class RootFolder {
public:
  // Raises ToolError naming name ("the product folder v1.1") when path is
  // no folder that can be opened (path itself may be a link).
  RootFolder(const std::string &path, std::string name);
  ~RootFolder();
  RootFolder(const RootFolder &) = delete;
  RootFolder &operator=(const RootFolder &) = delete;

  // Opens the regular file at relative ("/" between its names): each
  // folder on the way and the file itself are opened as what they are, so
  // the file lies inside the root whatever links it or its folders are.
  // Raises ToolError naming relative and the root when a name on the way is
  // missing, a link or not a folder, or the end is not a regular file or
  // cannot be read.
  OpenedFile Open(const std::string &relative) const;
  // The same without a look at what was opened, for a file just listed as
  // a regular file: a reader then tells a file that changed by its bytes
  // and its stamp (StampOf).
  OsFile OpenListed(const std::string &relative) const;

private:
  int OpenFd(const std::string &relative) const;

  std::string path_;
  std::string name_;
  int fd_;
};

FileId IdOf(const OsFile &file);
FileStamp StampOf(const OsFile &file);
// A second handle of the file open as file, for a reader that closes its
// own: the same file, whatever is at its name now. Raises ToolError.
platform::os::FileHandle Duplicate(const OsFile &file);
// The file that path names (a link followed), if any.
std::optional<FileId> IdOfPath(const std::string &path);

// Copies up to length bytes of source, from offset `from`, into target at
// offset `at`, in the kernel where the file systems allow; returns the
// bytes copied, fewer only where source ends.
int64_t CopyRange(const OsFile &source, int64_t from, int64_t length,
                  OsFile &target, int64_t at);

// A new file in folder that has no name until NameUnnamed gives it one, so
// that a killed command leaves nothing behind; nullopt where the file system
// makes no such files. Opened for reading and writing, as mode 0666 less the
// umask.
std::optional<platform::os::FileHandle> OpenUnnamed(const std::string &folder);
// Gives an unnamed file the name path, which must be free.
void NameUnnamed(const OsFile &file, const std::string &path);

// Leftovers of a killed command: its temporary files and folders carry the
// id of the process that made it, and that process holds a lock on each
// of them for as long as it runs.
int ProcessId();
// Takes the lock on an open file; ToolError when another holds it.
void HoldLock(const OsFile &file);
// Opens the folder at path (no link) and takes its lock, held as long as
// the handle stays open.
OsFile LockFolder(const std::string &path);
// Removes folder/name when it is provably a leftover: made by a process
// that no longer exists (pid), owned by the running user, a real file or
// folder as expected (never a link), and locked by nobody. A folder goes
// with everything in it, links inside as links. Failures are ignored: a
// leftover that stays is no failure of the command.
void RemoveIfLeftover(const std::string &folder, const std::string &name,
                      int pid, bool isFolder);

// A folder held open while files are written into it: the file layer
// opens the files of a held folder relative to it, so that a link renamed
// into the folder's place meanwhile leads nowhere. ToolError when it cannot
// be opened.
class HeldFolder {
public:
  explicit HeldFolder(const std::string &folder);
  ~HeldFolder();
  HeldFolder(const HeldFolder &) = delete;
  HeldFolder &operator=(const HeldFolder &) = delete;

private:
  int fd_;
};

// The memory the system could give without swapping (Linux's
// MemAvailable), or nothing where it does not say.
std::optional<uint64_t> AvailableMemory();

} // namespace tools::os
