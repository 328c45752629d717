// Raw files on Windows: CreateFileW handles, positioned ReadFile/WriteFile.
#include "platform/os_file.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/ui.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/windows_support.h"

namespace platform::os {

namespace {

HANDLE Native(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// Every call here goes to the system and may take milliseconds, more under
// Wine or on a loaded machine: the yield after it looks at the clock, so that
// the window is not kept waiting for the next countdown besides.
struct SystemCall {
  SystemCall() = default;
  SystemCall(const SystemCall &) = delete;
  SystemCall &operator=(const SystemCall &) = delete;
  ~SystemCall() { CheckClockAtNextYield(); }
};

// One ReadFile/WriteFile moves at most this much.
constexpr size_t kMaxChunk = 1u << 30;

OVERLAPPED At(int64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  overlapped.OffsetHigh =
      static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return overlapped;
}

[[noreturn]] void RaiseLink(const std::string &path) {
  Raise(err::kPathFileAccess, path + MsgText(fs::kWriteThroughLink));
}

// CreateFileW with the sharing every open of ours uses: others may read and
// write too, since the running executable reads itself while the loader
// holds it, and the numbered-file table locks nothing. Files to be written
// are opened as they are (asItIs): a reparse point is not followed.
HANDLE Create(const win32::WideText &path, DWORD access, DWORD disposition,
              bool asItIs) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL |
                           (asItIs ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                       nullptr);
}

[[noreturn]] void RaiseOpenFailure(const std::string &path) {
  const DWORD code = ::GetLastError();
  // A folder cannot be opened as a file; say so rather than "access denied".
  const DWORD attributes = win32::AttributesOf(path);
  if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    Raise(err::kPathFileAccess, path);
  win32::RaiseWin32(code, path);
}

BY_HANDLE_FILE_INFORMATION Identify(HANDLE file, const std::string &path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info))
    win32::RaiseLastError(path);
  return info;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION &a,
              const BY_HANDLE_FILE_INFORMATION &b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// A reparse point opened for writing as itself: false when it is a link (a
// name surrogate: a symbolic link, a junction, a mount point). Any other
// (a cloud-file placeholder, a deduplicated file) is an ordinary file whose
// bytes its filter provides: it is opened again through the filter, and
// must still be the same file.
bool TakeReparsePoint(win32::ScopedFile &file, const win32::WideText &wide,
                      DWORD access, BY_HANDLE_FILE_INFORMATION &info,
                      const std::string &path) {
  // The listing of the name holds the tag; if the name has changed since,
  // the file opened through it below is another, and refused.
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE)
    return false;
  ::FindClose(find); // only the first entry's data are wanted
  if (IsReparseTagNameSurrogate(data.dwReserved0))
    return false;
  const BY_HANDLE_FILE_INFORMATION before = info;
  file.Reset(Create(wide, access, OPEN_EXISTING, false));
  if (!file)
    RaiseOpenFailure(path);
  info = Identify(file.Get(), path);
  if (!SameFile(info, before))
    RaiseLink(path);
  return true;
}

// Output and CreateNew, and the target of a copy when source is set.
FileHandle OpenOutput(const std::string &path, OpenMode mode,
                      const BY_HANDLE_FILE_INFORMATION *source,
                      const std::string &sourcePath) {
  const win32::WideText wide = win32::WidePath(path);
  const DWORD access = GENERIC_READ | GENERIC_WRITE;
  // OPEN_ALWAYS and a cut at 0 rather than CREATE_ALWAYS, which refuses a
  // file marked hidden or system.
  win32::ScopedFile file(
      Create(wide, access,
             mode == OpenMode::CreateNew ? CREATE_NEW : OPEN_ALWAYS, true));
  if (!file)
    RaiseOpenFailure(path);
  // Only a file that was there needs the cut. A cut of a new file costs two
  // calls, and on Linux file systems that flush a file emptied by a cut when
  // it is closed (ext4) it makes Wine's close of a large entry wait for the
  // disk.
  bool cut = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
    Raise(err::kBadFileName, path);
  BY_HANDLE_FILE_INFORMATION info = Identify(file.Get(), path);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !TakeReparsePoint(file, wide, access, info, path)) {
    if (!source)
      RaiseLink(path);
    // The target of a copy: the folder is the user's own, and a link there
    // goes as itself for a new file; what it points to keeps its bytes.
    file.Reset();
    fs::RemoveLink(path);
    file.Reset(Create(wide, access, CREATE_NEW, true));
    if (!file)
      RaiseOpenFailure(path);
    info = Identify(file.Get(), path);
    cut = false;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    Raise(err::kPathFileAccess, path);
  // A file marked read-only is not opened for writing. Windows refuses it on
  // its own; Wine running as root would not.
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
    win32::RaiseWin32(ERROR_ACCESS_DENIED, path);
  if (source && SameFile(info, *source))
    Raise(err::kPermissionDenied,
          sourcePath + " -> " + path + " (файл копируется сам в себя)");
  if (info.nNumberOfLinks > 1) {
    // Emptying it would empty every other name of the file too: the name
    // gets a new file instead.
    file.Reset();
    if (!::DeleteFileW(wide.c_str()))
      win32::RaiseLastError(path);
    file.Reset(Create(wide, access, CREATE_NEW, true));
    if (!file)
      RaiseOpenFailure(path);
    cut = false;
  }
  LARGE_INTEGER zero{};
  if (cut && (!::SetFilePointerEx(file.Get(), zero, nullptr, FILE_BEGIN) ||
              !::SetEndOfFile(file.Get())))
    win32::RaiseLastError(path);
  return reinterpret_cast<FileHandle>(file.Release());
}

} // namespace

FileHandle OpenFile(const std::string &path, OpenMode mode) {
  const SystemCall call;
  // An archive entry or a script path must not reach a device: opening one
  // may block (a serial port) or swallow the bytes (NUL).
  fs::CheckName(path, mode == OpenMode::ReadOnly);
  if (mode != OpenMode::ReadWrite && mode != OpenMode::ReadOnly)
    return OpenOutput(path, mode, nullptr, {});
  const bool writing = mode == OpenMode::ReadWrite;
  const win32::WideText wide = win32::WidePath(path);
  const DWORD access = writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  win32::ScopedFile file(
      Create(wide, access, writing ? OPEN_ALWAYS : OPEN_EXISTING, writing));
  if (!file)
    RaiseOpenFailure(path);
  // Anything else that is not a file on a disk (a pipe, \\.\ names).
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
    Raise(err::kBadFileName, path);
  if (writing) {
    BY_HANDLE_FILE_INFORMATION info = Identify(file.Get(), path);
    // Nor is a file written in place that has other names (hard links):
    // they may lie anywhere on the volume.
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         !TakeReparsePoint(file, wide, access, info, path)) ||
        info.nNumberOfLinks > 1)
      RaiseLink(path);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      win32::RaiseWin32(ERROR_ACCESS_DENIED, path);
  }
  return reinterpret_cast<FileHandle>(file.Release());
}

void RaiseNotOpened(int32_t number, const std::string &path) {
  win32::RaiseWin32(number == err::kFileNotFound   ? ERROR_FILE_NOT_FOUND
                    : number == err::kPathNotFound ? ERROR_PATH_NOT_FOUND
                                                   : ERROR_INVALID_NAME,
                    path);
}

FileHandle OpenCopyTarget(const std::string &target, FileHandle source,
                          const std::string &sourcePath) {
  const SystemCall call;
  fs::CheckName(target);
  const BY_HANDLE_FILE_INFORMATION from = Identify(Native(source), sourcePath);
  return OpenOutput(target, OpenMode::Output, &from, sourcePath);
}

FileHandle OpenFileIn(FileHandle /*folder*/, const std::string & /*name*/,
                      const std::string &path, OpenMode mode) {
  // The folder is held without FILE_SHARE_DELETE: its path names it still.
  return OpenFile(path, mode);
}

int64_t FileSize(FileHandle handle, const std::string &path) {
  // The call the backend makes anyway, rather than one import more.
  const BY_HANDLE_FILE_INFORMATION info = Identify(Native(handle), path);
  return static_cast<int64_t>(
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
}

size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path) {
  const SystemCall call;
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
  const SystemCall call;
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

void SetModifiedTime(FileHandle handle, int64_t seconds, uint32_t nanoseconds,
                     const std::string &path) {
  const SystemCall call;
  // 100-nanosecond intervals since 1601.
  const auto ticks = static_cast<uint64_t>(seconds) * 10000000u +
                     116444736000000000u + nanoseconds / 100u;
  const FILETIME time{static_cast<DWORD>(ticks),
                      static_cast<DWORD>(ticks >> 32)};
  if (!::SetFileTime(Native(handle), nullptr, nullptr, &time))
    win32::RaiseLastError(path);
}

void CloseFile(FileHandle handle, const std::string &path) {
  const SystemCall call;
  if (!::CloseHandle(Native(handle)))
    win32::RaiseLastError(path);
}

void CloseFileQuietly(FileHandle handle,
                      const std::string & /*path*/) noexcept {
  const SystemCall call;
  ::CloseHandle(Native(handle));
}

} // namespace platform::os
