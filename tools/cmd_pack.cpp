// updpack pack FOLDER ARCHIVE [--compression N]
#include <filesystem>

#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/pack_folder.h"
#include "tools/source_listing.h"

namespace tools {

namespace {

uint8_t ParseCompression(const std::string &text) {
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) > 255)
    throw UsageError("--compression needs a number from 0 to 255, not \"" +
                     text + "\"");
  return static_cast<uint8_t>(std::stoi(text));
}

// True when the file at path would lie directly in folder.
bool LiesIn(const std::string &path, const std::string &folder) {
  std::error_code error;
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty())
    parent = ".";
  return std::filesystem::equivalent(parent, folder, error);
}

} // namespace

int PackCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--compression", true}});
  if (args.help)
    return ShowUsage("pack");
  ExpectPositional(args, 2);
  const std::string folder = WithoutTrailingSeparators(args.positional[0]);
  const std::string archivePath = args.positional[1];
  const uint8_t compression =
      args.Has("--compression")
          ? ParseCompression(args.options.at("--compression"))
          : 0;

  const SourceListing listing = ListSource(folder);
  if (platform::fs::FolderExists(archivePath))
    throw ToolError("the archive path names a folder: " + archivePath);
  WarnSkipped(folder, listing);

  AtomicOutput output(archivePath);
  // An older archive in the folder being packed would be packed as an
  // entry: moved to the temporary name, it is the file the engine writes
  // (and, hidden, never lists).
  const bool inside = LiesIn(archivePath, folder);
  if (inside)
    output.TakeOverExisting();
  // The engine skips links itself; the warnings above have named them.
  PackWithProgress(folder, output.TempPath(), compression);
  output.Commit();
  return kExitOk;
}

} // namespace tools
