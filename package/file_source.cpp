// Reading a file of the numbered-file table at 0-based offsets.
#include "package/file_source.h"

#include "platform/files.h"

namespace package {

int64_t FileSource::Size() const {
  return platform::files::At(number_).Length();
}

bool FileSource::Read(int64_t offset, uint8_t *bytes, size_t count) const {
  platform::BufferedFile &file = platform::files::At(number_);
  if (offset < 0 || offset > file.Length() ||
      static_cast<int64_t>(count) > file.Length() - offset)
    return false;
  file.GetRun(offset + 1, bytes, static_cast<int64_t>(count));
  return true;
}

} // namespace package
