// updpack extract ARCHIVE FOLDER
#include "archive/cls_arch.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "tools/cli.h"

namespace tools {

// Raises the platform's error (with its number) when the archive cannot be
// opened for reading; Load itself only answers false.
void CheckReadable(const std::string &path) {
  if (platform::fs::FolderExists(path))
    throw ToolError("the archive path names a folder: " + path);
  const platform::os::FileHandle handle =
      platform::os::OpenFile(path, platform::OpenMode::ReadOnly);
  platform::os::CloseFile(handle, path);
}

int ExtractCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("extract");
  ExpectPositional(args, 2);
  const std::string archivePath = args.positional[0];
  const std::string folder = WithoutTrailingSeparators(args.positional[1]);

  if (!platform::fs::FolderExists(folder))
    throw ToolError("target folder does not exist: " + folder +
                    " (create it first)");
  CheckReadable(archivePath);

  InstalledConsole console;
  console.ui().CatchInterrupts();
  archive::cls_arch arch;
  arch.FileName(archivePath);
  if (!arch.Load())
    throw ToolError("cannot open the archive: " + archivePath);
  // Ctrl-C cancels through the archive's flag: taken after the entry in
  // progress.
  console.ui().SetInterruptHandler([&] { arch.Abort(platform::kTrue); });
  console.ui().SetPoller([&] {
    if (arch.ActionMode() != archive::mode::kExtractCopy ||
        arch.FullSeek() <= 0)
      return;
    const int64_t done = arch.DefSeek();
    const int percent =
        static_cast<int>(std::min<int64_t>(100, done * 100 / arch.FullSeek()));
    console.ui().SetToolLine("extracting " + std::to_string(percent) + "%  " +
                             arch.DefFile());
  });
  // Extract shows its own failure (in the console: an error line on stderr).
  const bool extracted = arch.Extract(folder) != platform::kFalse;
  console.ui().SetPoller(nullptr);
  console.ui().ClearLine();
  arch.UnLoad();
  return extracted ? kExitOk : kExitFailed;
}

} // namespace tools
