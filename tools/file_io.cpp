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
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

} // namespace tools
