// Whole-file work of the tool on raw OS handles: an owned handle, reads at
// an offset and copies of byte ranges between files.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os_file.h"

namespace tools {

// A file opened through the platform's raw layer, closed when it goes
// (failures to close then ignored: Close() reports them).
class OsFile {
public:
  OsFile(const std::string &path, platform::OpenMode mode);
  ~OsFile();
  OsFile(const OsFile &) = delete;
  OsFile &operator=(const OsFile &) = delete;

  int64_t Size() const;
  // Up to count bytes at offset; fewer only at the end of the file.
  size_t ReadAt(int64_t offset, void *buffer, size_t count) const;
  void WriteAt(int64_t offset, const void *buffer, size_t count);
  const std::string &path() const { return path_; }
  // Closes now, raising a failure (a late write error shows here).
  void Close();

private:
  std::string path_;
  platform::os::FileHandle handle_;
  bool open_ = true;
};

// Copies length bytes of source, from offset `from`, to target at offset
// `at`. Raises ToolError when source ends early.
void CopyBytes(const OsFile &source, int64_t from, int64_t length,
               OsFile &target, int64_t at);

// The whole content of a file (for small files: scripts, texts).
std::string ReadWholeFile(const std::string &path);

} // namespace tools
