// The tool's own listing of a folder to pack.
#include "tools/source_listing.h"

#include <algorithm>
#include <optional>

#include "archive/catalog.h"
#include "platform/fs.h"
#include "tools/cli.h"
#include "tools/entry_names.h"

namespace tools {

namespace {

using Kind = os::FolderEntry::Kind;

struct Reason {
  const char *what;
  const char *because;
};

// Why an entry is left out, or nullptr for a file that is packed.
const Reason *SkipReason(const os::FolderEntry &entry) {
  static constexpr Reason kLinked{"link", "links are not packed"};
  static constexpr Reason kFolder{
      "subfolder", "an archive holds the files of one folder only"};
  static constexpr Reason kSpecial{"special file",
                                   "only ordinary files are packed"};
  // "\" separates folders in every path the engine builds, and Windows
  // drops the dots and blanks that end a name: no path addresses these.
  static constexpr Reason kBackslash{"file", "its name holds a backslash"};
  static constexpr Reason kTrailing{
      "file", "its name ends in a dot or a blank, which Windows drops"};
  switch (entry.kind) {
  case Kind::Link:
    return &kLinked;
  case Kind::Folder:
    return &kFolder;
  case Kind::Other:
    return &kSpecial;
  case Kind::File:
  case Kind::Unreadable:
    break;
  }
  if (entry.name.find('\\') != std::string::npos)
    return &kBackslash;
  if (archive::WithoutTrailingDotsAndSpaces(entry.name).size() !=
      entry.name.size())
    return &kTrailing;
  return nullptr;
}

const char *KindWord(Kind kind) {
  switch (kind) {
  case Kind::Link:
    return "link";
  case Kind::Folder:
    return "subfolder";
  case Kind::Other:
    return "special file";
  case Kind::File:
  case Kind::Unreadable:
    break;
  }
  return "file";
}

} // namespace

SourceListing ListSource(const std::string &folder,
                         const std::vector<std::string> &excludes) {
  const std::optional<Kind> kind = os::KindAt(folder, true);
  if (kind != Kind::Folder)
    throw ToolError((kind && kind != Kind::Unreadable
                         ? "the source is not a folder: "
                         : "source folder does not exist: ") +
                    folder);
  SourceListing listing;
  for (os::FolderEntry &entry : os::ReadFolder(folder)) {
    const auto excluded =
        std::find_if(excludes.begin(), excludes.end(), [&](const auto &p) {
          return platform::fs::MatchesPattern(entry.name, p);
        });
    if (excluded != excludes.end()) {
      listing.skipped.push_back({std::move(entry.name), KindWord(entry.kind),
                                 "excluded by --exclude " + *excluded});
    } else if (entry.kind == Kind::Unreadable) {
      throw ToolError("cannot look at " + folder + "/" + entry.name);
    } else if (const Reason *reason = SkipReason(entry)) {
      listing.skipped.push_back(
          {std::move(entry.name), reason->what, reason->because});
    } else {
      listing.files.push_back({std::move(entry.name), entry.stamp});
    }
  }
  const auto name = [](const auto &entry) -> const std::string & {
    return entry.name;
  };
  SortInListingOrder(listing.files, name);
  SortInListingOrder(listing.skipped, name);
  return listing;
}

void WarnSkipped(const std::string &folder, const SourceListing &listing) {
  for (const SourceListing::Skipped &skipped : listing.skipped)
    Warn("skipping " + skipped.what + " " + folder + "/" + skipped.name + ": " +
         skipped.because);
  for (const SourceListing::File &file : listing.files)
    if (HoldsCombiningMark(file.name))
      Warn(DecomposedNameWarning(folder + "/" + file.name));
}

} // namespace tools
