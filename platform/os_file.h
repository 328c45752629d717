// Raw file handles of the operating system, under the numbered-file table.
// One implementation per OS (posix/os_file.cpp, win32/os_file.cpp); every
// function raises platform::Error with the path and the OS code in its text.
//
// A file opened for writing is never opened through a link: a symbolic link
// (on Windows a name-surrogate reparse point: a symbolic link, a junction, a
// mount point) at the name is refused, so bytes meant for a folder cannot
// land wherever the link points; the target of a copy replaces the link
// instead. Any other reparse point (a cloud-file placeholder, a
// deduplicated file) is an ordinary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class OpenMode {
  ReadWrite,     // raw bytes for reading and writing; a missing file is created
  ReadOnly,      // the file must exist
  Output,        // a new empty file for writing; an existing file is emptied
                 // (also one marked hidden or system), except that a file with
                 // other hard links keeps its bytes: the name gets a new file
  CreateNew,     // a new empty file for writing; anything at the name, a
                 // dangling link included, is a failure; the running user's
                 // alone (posix: mode 0600 whatever the umask)
  PrivateOutput, // as Output, and the file is the running user's alone
                 // (posix: mode 0600 whatever the umask; Windows: the
                 // access its folder hands down)
};

namespace os {

using FileHandle = intptr_t; // a file descriptor or a HANDLE
// No handle: none is ever -1 (nor INVALID_HANDLE_VALUE, which is -1 too).
inline constexpr FileHandle kNoHandle = -1;

FileHandle OpenFile(const std::string &path, OpenMode mode);
// The target of a copy, opened as OpenFile(target, Output) does, except that
// a target that is the file open as source (by another path or a hard link)
// is refused with kPermissionDenied before any byte of it is lost, and that
// a link at the name is removed (itself, never what it points to) and a new
// file made there: the folder copied into is the user's own.
FileHandle OpenCopyTarget(const std::string &target, FileHandle source,
                          const std::string &sourcePath);
// Raises what OpenFile raises where it finds no file to open, with the
// system's text of that failure: number is kFileNotFound (no such name in
// its folder), kPathNotFound (a folder on the way missing or a file) or
// kBadFileName (a name with a separator after it: a file, or a missing
// name to write). For a failure that the disk as it is cannot show yet.
[[noreturn]] void RaiseNotOpened(int32_t number, const std::string &path);
// A file inside a folder held open (fs::PrivateFolder), opened as
// OpenFile(path, mode) would open it (ReadWrite or ReadOnly); never through a
// link at the name. path names it in messages.
FileHandle OpenFileIn(FileHandle folder, const std::string &name,
                      const std::string &path, OpenMode mode);
int64_t FileSize(FileHandle handle, const std::string &path);
// Reads up to count bytes at offset; returns the number read, 0 at the end.
size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path);
void WriteAt(FileHandle handle, int64_t offset, const void *buffer,
             size_t count, const std::string &path);
// Sets the time of last change of a file open for writing, in seconds since
// 1970 (UTC) and nanoseconds (Windows keeps them to 100 ns).
void SetModifiedTime(FileHandle handle, int64_t seconds, uint32_t nanoseconds,
                     const std::string &path);
// Closes the handle; raises if the OS reports a failure (the handle is gone
// all the same).
void CloseFile(FileHandle handle, const std::string &path);
// The same, a failure ignored: for the closes that follow another failure
// or end the program, which need no message built.
void CloseFileQuietly(FileHandle handle, const std::string &path) noexcept;

// An open handle that is closed when it goes (a failure then ignored);
// Close() closes it earlier and reports a failure.
class File {
public:
  File(const std::string &path, OpenMode mode)
      : path_(path), handle_(OpenFile(path, mode)) {}
  File(std::string path, FileHandle handle)
      : path_(std::move(path)), handle_(handle) {}
  ~File();
  File(const File &) = delete;
  File &operator=(const File &) = delete;

  FileHandle Handle() const { return handle_; }
  const std::string &Path() const { return path_; }
  int64_t Size() const { return FileSize(handle_, path_); }
  void Close();

private:
  std::string path_;
  FileHandle handle_;
  bool open_ = true;
};

} // namespace os
} // namespace platform
