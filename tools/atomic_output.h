// An output file written apart from its final path and put there only
// when it is complete, so that a failed or killed command leaves the old
// file or none, never half of one, and nothing beside it.
#pragma once

#include <optional>
#include <string>

#include "tools/file_io.h"
#include "tools/tool_os.h"

namespace tools {

// Raises ToolError naming finalPath when it names a folder, a read-only
// file or something else than a regular file, when its folder does not
// exist, or when it is no shorter than PATH_MAX: what AtomicOutput checks
// first, for a command to check before work that the output would waste.
void CheckOutputPath(const std::string &finalPath);

class AtomicOutput {
public:
  // Opens the file being written in the final path's folder (so that the
  // rename stays in one file system): an unnamed file where the file system
  // makes them, else one under a hidden temporary name
  // (".NAME.updpack-PID-N.tmp") that its process keeps locked. Temporary
  // names left there by killed commands are removed first
  // (os::RemoveIfLeftover). Raises ToolError naming the final path when it
  // names a folder, a read-only file or no regular file, when its folder
  // does not exist or takes no new file.
  explicit AtomicOutput(std::string finalPath);
  // Removes the file being written unless Commit() ran.
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput &) = delete;
  AtomicOutput &operator=(const AtomicOutput &) = delete;

  OsFile &File() { return *file_; }
  const std::string &FinalPath() const { return final_; }
  // The file being written, as a listing of its folder may meet it.
  os::FileId Id() const { return id_; }

  // Closes the file (a late write error shows here) and puts it at the
  // final path, replacing what was there.
  void Commit();

private:
  std::string final_;
  std::string temp_; // the temporary name; given at Commit when unnamed
  bool unnamed_ = false;
  std::optional<OsFile> file_;
  os::FileId id_;
  bool committed_ = false;
};

} // namespace tools
