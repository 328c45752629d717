// File-system operations that are the same on every OS.
#include <memory>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/os_file.h"

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

void FileCopy(const std::string &source, const std::string &target,
              const FileTime *modified) {
  os::File in(source, OpenMode::ReadOnly);
  os::File out(target, os::OpenCopyTarget(target, in.Handle(), source));
  constexpr size_t kChunk = size_t{64} * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  for (int64_t offset = 0;;) {
    const size_t n =
        os::ReadAt(in.Handle(), offset, buffer.get(), kChunk, source);
    if (n == 0)
      break;
    os::WriteAt(out.Handle(), offset, buffer.get(), n, target);
    offset += static_cast<int64_t>(n);
  }
  if (modified)
    os::SetModifiedTime(out.Handle(), modified->seconds, modified->nanoseconds,
                        target);
  out.Close();
  in.Close();
}

} // namespace platform::fs
