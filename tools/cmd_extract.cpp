// updpack extract ARCHIVE_OR_PACKAGE FOLDER
#include "archive/catalog.h"
#include "archive/cls_arch.h"
#include "package/manifest.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_file.h"
#include "tools/staging.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

// Extracts the archive file with the engine, as the update run does: held
// to its data region (cls_arch::DataBound) when the package is one of ours.
// Its failures name `given`, the file the user named.
int ExtractArchive(const std::string &archivePath, const std::string &folder,
                   const std::string &given, bool ours = false) {
  const os::HeldFolder target(folder);
  InstalledConsole console;
  console.ui().CatchInterrupts();
  console.ui().SetErrorSubject(given);
  archive::cls_arch arch;
  arch.FileName(archivePath);
  arch.DataBound(ours ? platform::kTrue : platform::kFalse);
  if (!arch.Load())
    throw ToolError("cannot open the archive: " + given);
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
  // Extract shows its own failure (an error line on stderr).
  const bool extracted = arch.Extract(folder) != platform::kFalse;
  console.ui().SetPoller(nullptr);
  console.ui().ClearLine();
  arch.UnLoad();
  return extracted ? kExitOk : kExitFailed;
}

// The package may lie in the folder it is extracted into, and hold an
// entry of its own name: that entry would replace the package. The engine
// refuses an entry that is the archive it reads; here that is the carved
// copy, so the package itself is looked for by name, as the extraction
// names the file it writes (the dots and blanks that end it dropped).
void RefuseReplacingPackage(const std::string &carved,
                            const std::string &package,
                            const std::string &folder) {
  const size_t slash = package.find_last_of("/\\");
  const std::u16string own = platform::fs::FoldName(
      slash == std::string::npos ? package : package.substr(slash + 1));
  ArchiveReader reader(carved);
  ListedEntry entry;
  while (reader.Next(entry)) {
    const std::string name(archive::WithoutTrailingDotsAndSpaces(entry.name));
    if (platform::fs::FoldName(name) == own &&
        platform::fs::SameFile(folder + "\\" + name, package))
      throw ToolError("the entry " + entry.name +
                      " would replace the package itself: " + package);
  }
}

bool HasIntactManifest(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  return package::FindManifest(OsFileSource(file)).state ==
         package::ManifestState::Intact;
}

} // namespace

void CheckReadable(const std::string &path) {
  if (platform::fs::FolderExists(path))
    throw ToolError("a folder, not a file: " + path);
  const platform::os::FileHandle handle =
      platform::os::OpenFile(path, platform::OpenMode::ReadOnly);
  platform::os::CloseFile(handle, path);
}

int ExtractCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("extract");
  ExpectPositional(args, {"ARCHIVE_OR_PACKAGE", "FOLDER"});
  const std::string archivePath = args.positional[0];
  const std::string folder = WithoutTrailingSeparators(args.positional[1]);

  if (!platform::fs::FolderExists(folder))
    throw ToolError("target folder does not exist: " + folder +
                    " (create it first)");
  CheckReadable(archivePath);

  const ArchiveSpan span = LocateReadableArchive(archivePath);
  if (span.kind != FileKind::Package && span.kind != FileKind::Compressed)
    return ExtractArchive(archivePath, folder, archivePath);
  // A package's archive is carved out into a file of its own, as the
  // update run does, and extracted from there.
  ScratchFolder scratch("extract");
  const std::string carved = scratch / "archive.pack";
  {
    const OsFile package(archivePath, platform::OpenMode::ReadOnly);
    OsFile out(carved, platform::OpenMode::Output);
    if (span.kind == FileKind::Compressed)
      DecodeArchive(archivePath, span, out);
    else
      CopyBytes(package, span.first - 1, span.last - span.first + 1, out, 0);
    out.Close();
  }
  RefuseReplacingPackage(carved, archivePath, folder);
  return ExtractArchive(carved, folder, archivePath,
                        HasIntactManifest(archivePath));
}

} // namespace tools
