// What packing takes from a folder and what it leaves out, from one pass
// over the folder: the ordinary files lying directly in it, dot-files
// included, in the engine's listing order; subfolders, links, special
// files, names no path can address and names the author excluded are
// skipped, and the author is told.
#pragma once

#include <string>
#include <vector>

#include "tools/tool_os.h"

namespace tools {

struct SourceListing {
  struct File {
    std::string name; // bare name
    int64_t size = 0; // bytes when listed
    os::FileId id;
  };
  struct Skipped {
    std::string name;
    std::string what;    // "subfolder", "link", "special file", ...
    std::string because; // for the warning
  };
  std::vector<File> files; // in the engine's order (ListingOrder)
  std::vector<Skipped> skipped;
};

// Lists folder. A name that matches one of excludes (* and ?, without
// regard to case, as platform::fs::MatchesPattern) is skipped whatever it
// is. Raises ToolError when folder is not an existing folder or an entry
// cannot be looked at.
SourceListing ListSource(const std::string &folder,
                         const std::vector<std::string> &excludes = {});

// One warning on stderr for each skipped entry.
void WarnSkipped(const std::string &folder, const SourceListing &listing);

// The order in which the engine's listing gives names: without regard to
// case as NTFS orders them, then by bytes (names that differ in case only).
bool ListingOrder(const std::string &a, const std::string &b);

} // namespace tools
