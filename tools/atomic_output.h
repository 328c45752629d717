// An output file written under a temporary name beside its final path and
// renamed into place only when it is complete, so that a failed or killed
// command leaves the old file or none, never half of one.
#pragma once

#include <string>

namespace tools {

class AtomicOutput {
public:
  // Chooses the temporary name: a hidden name (".NAME.updpack-N.tmp") in the
  // final path's folder, so the rename stays in one file system and the
  // engine's listing of that folder never sees it. Raises ToolError when
  // the final path names a folder or its folder does not exist.
  explicit AtomicOutput(std::string finalPath);
  // Removes the temporary file unless Commit() ran.
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput &) = delete;
  AtomicOutput &operator=(const AtomicOutput &) = delete;

  const std::string &TempPath() const { return temp_; }
  const std::string &FinalPath() const { return final_; }

  // Moves an existing file at the final path to the temporary name, for a
  // writer that would otherwise read the old file while writing the new one
  // (packing into the folder being packed). Nothing to do when there is no
  // file there.
  void TakeOverExisting();

  // Renames the temporary file onto the final path.
  void Commit();

private:
  std::string final_;
  std::string temp_;
  bool committed_ = false;
};

} // namespace tools
