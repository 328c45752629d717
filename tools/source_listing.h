// What packing takes from a folder and what it leaves out, from one pass
// over the folder: the ordinary files lying directly in it, dot-files
// included, in the engine's listing order; subfolders, links, special
// files, names no path can address and names the author excluded are
// skipped, and the author is told.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "tools/tool_os.h"

namespace tools {

struct SourceListing {
  struct File {
    std::string name;    // bare name
    os::FileStamp stamp; // when listed
  };
  struct Skipped {
    std::string name;
    std::string what;    // "subfolder", "link", "special file", ...
    std::string because; // for the warning
  };
  std::vector<File> files; // in the engine's order (SortInListingOrder)
  std::vector<Skipped> skipped;
};

// Lists folder. A name that matches one of excludes (* and ?, without
// regard to case, as platform::fs::MatchesPattern) is skipped whatever it
// is. Raises ToolError when folder is not an existing folder or an entry
// cannot be looked at.
SourceListing ListSource(const std::string &folder,
                         const std::vector<std::string> &excludes = {});

// One warning on stderr for each skipped entry, and for each file whose
// name is in decomposed form (HoldsCombiningMark).
void WarnSkipped(const std::string &folder, const SourceListing &listing);

// Sorts items by the names that nameOf gives into the order in which the
// engine's listing gives names: without regard to case as NTFS orders them
// (by platform::fs::FoldName, each name folded once), then by bytes (names
// that differ in case only).
template <typename T, typename NameOf>
void SortInListingOrder(std::vector<T> &items, NameOf nameOf) {
  std::vector<std::pair<std::u16string, size_t>> keys;
  keys.reserve(items.size());
  for (size_t k = 0; k < items.size(); ++k)
    keys.emplace_back(platform::fs::FoldName(nameOf(items[k])), k);
  std::sort(keys.begin(), keys.end(), [&](const auto &a, const auto &b) {
    return a.first != b.first
               ? a.first < b.first
               : nameOf(items[a.second]) < nameOf(items[b.second]);
  });
  std::vector<T> sorted;
  sorted.reserve(items.size());
  for (const auto &key : keys)
    sorted.push_back(std::move(items[key.second]));
  items = std::move(sorted);
}

} // namespace tools
