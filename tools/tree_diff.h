// The text install script that turns an installed copy of one folder tree
// into another: what `updpack diff` writes.
#pragma once

#include <string>
#include <vector>

namespace tools {

struct TreeDiff {
  std::string script;               // the text form, install lines included
  std::vector<std::string> errors;  // each names its path; no script then
  std::vector<std::string> skipped; // links and special files, for warnings
  // Paths (under their tree's folder) whose last name holds combining
  // marks, as names in decomposed form do: the first such name of each
  // path, once. Windows takes them as they are, so they are other names
  // than the precomposed ones users type.
  std::vector<std::string> decomposed;
  size_t operations = 0;
};

// Compares oldDir and newDir (both existing folders). In the script, in
// this order: rmdir for each topmost folder gone from newDir, delete for
// each other file gone, mkdir for each folder new in newDir (parents
// first), install for each file new or changed (by size, then content).
// Removals come first so that a file may become a folder and a folder a
// file. Targets are {app}\PATH (one longer than the 48-byte field goes
// into the long script when built); each must be a name Windows can hold, and
// all must be written in one code page: codePage, or when 0 the first that
// holds them all (tools/code_page_choice.h), which is left in effect. A
// file of either folder that is one of leaveOut (the package being built
// and the script written, whose earlier versions may lie there) is no
// product file.
TreeDiff DiffTrees(const std::string &oldDir, const std::string &newDir,
                   int codePage = 0,
                   const std::vector<std::string> &leaveOut = {});

} // namespace tools
