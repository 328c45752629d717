// The tool's own listing of a folder to pack.
#include "tools/source_listing.h"

#include <algorithm>
#include <filesystem>

#include "platform/fs.h"
#include "tools/cli.h"

namespace tools {

namespace stdfs = std::filesystem;

namespace {

constexpr const char *kLink = "link";

struct Reason {
  const char *what;
  const char *because;
};

// Why the engine leaves an entry out, or nullptr for a file it packs.
const Reason *SkipReason(const stdfs::directory_entry &entry,
                         const std::string &name) {
  static constexpr Reason kUnreadable{"entry", "it cannot be read"};
  static constexpr Reason kLinked{kLink, "links are not packed"};
  static constexpr Reason kFolder{
      "subfolder", "an archive holds the files of one folder only"};
  static constexpr Reason kSpecial{"special file",
                                   "only ordinary files are packed"};
  static constexpr Reason kHidden{"hidden file", "hidden files are not packed"};
  // "\" separates folders in every path the engine builds.
  static constexpr Reason kBackslash{"file", "its name holds a backslash"};
  std::error_code error;
  const stdfs::file_status status = entry.symlink_status(error);
  if (error)
    return &kUnreadable;
  if (stdfs::is_symlink(status))
    return &kLinked;
  if (stdfs::is_directory(status))
    return &kFolder;
  if (!stdfs::is_regular_file(status))
    return &kSpecial;
  if (name[0] == '.')
    return &kHidden;
  if (name.find('\\') != std::string::npos)
    return &kBackslash;
  return nullptr;
}

bool NameLess(const std::string &a, const std::string &b) {
  const int order = platform::fs::CompareNamesNoCase(a, b);
  return order != 0 ? order < 0 : a < b;
}

} // namespace

SourceListing ListSource(const std::string &folder) {
  std::error_code error;
  if (!stdfs::is_directory(folder, error))
    throw ToolError("source folder does not exist: " + folder);
  SourceListing listing;
  stdfs::directory_iterator it(folder, error);
  if (error)
    throw ToolError("cannot list " + folder + ": " + error.message());
  for (const stdfs::directory_entry &entry : it) {
    const std::string name = entry.path().filename().string();
    if (const Reason *reason = SkipReason(entry, name))
      listing.skipped.push_back({name, reason->what, reason->because});
    else
      listing.files.push_back(name);
  }
  std::sort(listing.files.begin(), listing.files.end(), NameLess);
  std::sort(
      listing.skipped.begin(), listing.skipped.end(),
      [](const auto &a, const auto &b) { return NameLess(a.name, b.name); });
  return listing;
}

void WarnSkipped(const std::string &folder, const SourceListing &listing) {
  for (const SourceListing::Skipped &skipped : listing.skipped)
    Warn("skipping " + skipped.what + " " + folder + "/" + skipped.name + ": " +
         skipped.because);
}

} // namespace tools
