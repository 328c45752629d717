// updpack pack FOLDER ARCHIVE [--compression N] [--exclude PATTERN]...
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/folder_outputs.h"
#include "tools/pack_folder.h"
#include "tools/source_listing.h"
#include "tools/tool_os.h"

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

} // namespace

int PackCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(
      arguments, {{"--compression", true}, {"--exclude", true, nullptr, true}});
  if (args.help)
    return ShowUsage("pack");
  ExpectPositional(args, {"FOLDER", "ARCHIVE"});
  const std::string folder = WithoutTrailingSeparators(args.positional[0]);
  const std::string archivePath = args.positional[1];
  const uint8_t compression =
      args.Has("--compression")
          ? ParseCompression(args.options.at("--compression"))
          : 0;

  RefuseOverFolderFile(archivePath, OutputKind::Archive, folder,
                       "file of the folder packed");
  // Ctrl-C from now on cancels; the file being written then goes.
  InstalledConsole console;
  console.ui().CatchInterrupts();
  AtomicOutput output(archivePath);
  // The archive being replaced, when it lies in the folder, is no entry;
  // nor is the file being written, when it has a name there.
  const std::optional<os::FileId> older = os::IdOfPath(archivePath);
  // A folder that is not there lists no file, as the engine's Pack has it:
  // the archive is the empty one, and the warning says why.
  const bool missing = !os::KindAt(folder, false);
  std::vector<PackItem> items;
  if (missing) {
    Warn("the folder " + folder + " does not exist: the archive is empty");
  } else {
    const SourceListing listing = ListSource(folder, args.All("--exclude"));
    WarnSkipped(folder, listing);
    for (const SourceListing::File &file : listing.files)
      if (file.stamp.id != output.Id() && file.stamp.id != older)
        items.push_back(
            {file.name, file.name, {}, file.stamp.size, {}, file.stamp});
  }
  // With no file to read, the folder is never opened.
  const os::RootFolder root(missing ? "." : folder, "the folder " + folder);
  PackItems(root, items, compression, output.File(), console.ui());
  TakeCancel(console.ui());
  output.Commit();
  return kExitOk;
}

} // namespace tools
