// Scratch space of a command: a temporary folder removed with its content,
// and files placed in it as hard links where the file system allows.
#pragma once

#include <string>

namespace tools {

// A fresh folder under the system's temporary folder (TMPDIR, else /tmp),
// removed with everything in it when the object goes, on success and on
// failure alike.
class ScratchFolder {
public:
  explicit ScratchFolder(const std::string &purpose);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;

  const std::string &Path() const { return path_; }
  std::string operator/(const std::string &name) const {
    return path_ + "/" + name;
  }

private:
  std::string path_;
};

// Makes `to` hold the bytes of `from` (a link is followed): a hard link
// where the file system allows, a copy otherwise. Raises ToolError.
void LinkOrCopy(const std::string &from, const std::string &to);

// Writes bytes into a new file.
void WriteNewFile(const std::string &path, const std::string &bytes);

} // namespace tools
