// What packing takes from a folder and what it leaves out, as the tool sees
// it with its own listing: the engine packs the ordinary files lying
// directly in one folder, so subfolders, links, hidden and special files
// are skipped, and the author is told.
#pragma once

#include <string>
#include <vector>

namespace tools {

struct SourceListing {
  struct Skipped {
    std::string name;
    std::string what;    // "subfolder", "link", "hidden file", ...
    std::string because; // for the warning
  };
  std::vector<std::string> files; // bare names, in the engine's order
  std::vector<Skipped> skipped;
};

// Lists folder. Raises ToolError when it is not an existing folder.
SourceListing ListSource(const std::string &folder);

// One warning on stderr for each skipped entry.
void WarnSkipped(const std::string &folder, const SourceListing &listing);

} // namespace tools
