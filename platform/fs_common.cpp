// File-system operations that are the same on every OS.
#include <memory>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/os_file.h"
#include "platform/ui.h"

namespace platform::fs {

void Kill(const std::string &pattern) {
  const std::vector<std::string> names = ListFiles(pattern);
  if (names.empty())
    Raise(err::kFileNotFound, pattern);
  const std::string prefix = Split(pattern).prefix;
  for (const std::string &name : names)
    RemoveFile(prefix + name);
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  return path;
}

void RemoveFileOrLink(const std::string &path) {
  switch (KindOf(path)) {
  case EntryKind::File:
    RemoveFile(path);
    break;
  case EntryKind::Link:
    RemoveLink(path);
    break;
  default:
    break;
  }
}

bool IsBelow(const std::string &folder, const std::string &path) {
  const size_t n = folder.size();
  return path.size() > n + 1 && path.compare(0, n, folder) == 0 &&
         (path[n] == '\\' || path[n] == '/');
}

bool LinkAtAFolder(const std::string &folder, const std::string &path) {
  for (size_t at = path.find_first_of("\\/", folder.size() + 1);
       at != std::string::npos; at = path.find_first_of("\\/", at + 1))
    if (KindOf(path.substr(0, at)) == EntryKind::Link)
      return true;
  return false;
}

namespace {

// The files of the copy under way, its source and its target: a program
// that ends inside its yield (an abort) closes them first, as Windows
// removes neither the part written nor the source while they are open.
struct CopySide {
  os::FileHandle handle;
  const std::string *path; // for messages, and what a close names
};
CopySide copying[2] = {{os::kNoHandle, nullptr}, {os::kNoHandle, nullptr}};

// Closes the copy's file k, if open, raising a failure.
void CloseCopied(int k) {
  const os::FileHandle handle = copying[k].handle;
  copying[k].handle = os::kNoHandle;
  if (handle != os::kNoHandle)
    os::CloseFile(handle, *copying[k].path);
}

} // namespace

void CloseCopyQuietly() noexcept {
  for (int k = 0; k < 2; ++k) {
    try {
      CloseCopied(k);
    } catch (...) {
    }
  }
}

void FileCopy(const std::string &source, const std::string &target,
              const FileTime *modified, bool yields) {
  // No file stays open, whichever way the copy ends.
  struct Closer {
    Closer() = default;
    ~Closer() { CloseCopyQuietly(); }
    Closer(const Closer &) = delete;
    Closer &operator=(const Closer &) = delete;
  } const closer;
  // Read where an abort inside the copy has closed them: a handle closed
  // is no longer one.
  const os::FileHandle &in = copying[0].handle;
  const os::FileHandle &out = copying[1].handle;
  copying[0] = {os::OpenFile(source, OpenMode::ReadOnly), &source};
  copying[1] = {os::OpenCopyTarget(target, in, source), &target};
  constexpr size_t kChunk = size_t{64} * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  for (int64_t offset = 0;;) {
    const size_t n = os::ReadAt(in, offset, buffer.get(), kChunk, source);
    if (n == 0)
      break;
    os::WriteAt(out, offset, buffer.get(), n, target);
    offset += static_cast<int64_t>(n);
    // A whole piece: more may follow. A file of one piece, the most
    // installed, leaves its yield to the one after the record.
    if (yields && n == kChunk)
      YieldFor(static_cast<int64_t>(n));
  }
  if (modified)
    os::SetModifiedTime(out, modified->seconds, modified->nanoseconds, target);
  CloseCopied(1);
  CloseCopied(0);
}

} // namespace platform::fs
