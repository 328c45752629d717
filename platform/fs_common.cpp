// File-system operations that are the same on every OS.
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"

namespace platform::fs {

void Kill(const std::string &pattern) {
  const std::vector<std::string> names = ListFiles(pattern);
  if (names.empty())
    Raise(err::kFileNotFound, pattern);
  const std::string prefix = Split(pattern).prefix;
  for (const std::string &name : names)
    RemoveFile(prefix + name);
}

} // namespace platform::fs
