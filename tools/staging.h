// Scratch space of a command: a temporary folder removed with its content
// when the command ends, and by a later command when a kill left it.
#pragma once

#include <string>

#include "tools/cli.h"
#include "tools/file_io.h"

namespace tools {

// A failure of the scratch space itself (no folder for it, a full disk):
// no fault of the file a command reads.
class ScratchError : public ToolError {
public:
  using ToolError::ToolError;
};

// A fresh folder "updpack-PURPOSE-PID-XXXXXX" under the system's temporary
// folder (TMPDIR, else /tmp), locked while the object lives and removed with
// everything in it when the object goes, on success and on failure alike.
// Folders of that form that killed commands left are removed first
// (os::RemoveIfLeftover).
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
  OsFile lock_;
};

} // namespace tools
