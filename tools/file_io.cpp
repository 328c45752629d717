// Raw file handles and range copies of the tool.
#include "tools/file_io.h"

#include "platform/error.h"
#include "tools/cli.h"
#include "tools/tool_os.h"

namespace tools {

size_t OsFile::ReadAt(int64_t offset, void *buffer, size_t count) const {
  size_t done = 0;
  auto *bytes = static_cast<uint8_t *>(buffer);
  while (done < count) {
    const size_t got = platform::os::ReadAt(
        file_.Handle(), offset + static_cast<int64_t>(done), bytes + done,
        count - done, file_.Path());
    if (got == 0)
      break;
    done += got;
  }
  return done;
}

void OsFile::WriteAt(int64_t offset, const void *buffer, size_t count) {
  platform::os::WriteAt(file_.Handle(), offset, buffer, count, file_.Path());
}

void CopyBytes(const OsFile &source, int64_t from, int64_t length,
               OsFile &target, int64_t at) {
  if (os::CopyRange(source, from, length, target, at) < length)
    throw ToolError("file became shorter while it was read: " + source.path());
}

std::string ReadWholeFile(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  // Read to the end, not to the size: a file of /proc says 0 bytes and
  // has more, and one that grew is read whole.
  std::string bytes;
  size_t done = 0;
  for (size_t want = static_cast<size_t>(file.Size()) + 1;;
       want = bytes.size()) {
    bytes.resize(done + want);
    const size_t got =
        file.ReadAt(static_cast<int64_t>(done), bytes.data() + done, want);
    done += got;
    if (got < want)
      break;
  }
  bytes.resize(done);
  return bytes;
}

} // namespace tools
