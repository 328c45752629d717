// Raw file handles and range copies of the tool.
#include "tools/file_io.h"

#include <memory>

#include "platform/error.h"
#include "tools/cli.h"

namespace tools {

namespace {
constexpr size_t kChunk = 1 << 20;
}

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
  auto buffer = std::make_unique<uint8_t[]>(kChunk);
  for (int64_t done = 0; done < length;) {
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(kChunk, length - done));
    const size_t got = source.ReadAt(from + done, buffer.get(), want);
    if (got < want)
      throw ToolError("file became shorter while it was read: " +
                      source.path());
    target.WriteAt(at + done, buffer.get(), got);
    done += static_cast<int64_t>(got);
  }
}

std::string ReadWholeFile(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

} // namespace tools
