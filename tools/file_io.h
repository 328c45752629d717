// Whole-file work of the tool on raw OS handles: an owned handle, reads at
// an offset and copies of byte ranges between files.
#pragma once

#include <cstdint>
#include <string>

#include "package/byte_source.h"
#include "platform/os_file.h"

namespace tools {

// A file opened through the platform's raw layer, closed when it goes
// (failures to close then ignored: Close() reports them).
class OsFile {
public:
  OsFile(const std::string &path, platform::OpenMode mode)
      : file_(path, mode) {}
  // Takes over a handle opened elsewhere (tools/tool_os.h).
  OsFile(std::string path, platform::os::FileHandle handle)
      : file_(std::move(path), handle) {}

  int64_t Size() const { return file_.Size(); }
  // Up to count bytes at offset; fewer only at the end of the file.
  size_t ReadAt(int64_t offset, void *buffer, size_t count) const;
  void WriteAt(int64_t offset, const void *buffer, size_t count);
  const std::string &path() const { return file_.Path(); }
  platform::os::FileHandle Handle() const { return file_.Handle(); }
  // Closes now, raising a failure (a late write error shows here).
  void Close() { file_.Close(); }

private:
  platform::os::File file_;
};

// An open file as a byte source for the package's readers; its size is
// taken once. Raises the file layer's error for a read that fails.
class OsFileSource final : public package::ByteSource {
public:
  explicit OsFileSource(const OsFile &file) : file_(file), size_(file.Size()) {}
  int64_t Size() const override { return size_; }
  bool Read(int64_t offset, uint8_t *bytes, size_t count) const override {
    return offset >= 0 && file_.ReadAt(offset, bytes, count) == count;
  }

private:
  const OsFile &file_;
  int64_t size_;
};

// Copies length bytes of source, from offset `from`, to target at offset
// `at` (os::CopyRange). Raises ToolError when source ends early.
void CopyBytes(const OsFile &source, int64_t from, int64_t length,
               OsFile &target, int64_t at);

// The whole content of a file (for small files: scripts, texts).
std::string ReadWholeFile(const std::string &path);

} // namespace tools
