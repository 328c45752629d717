// updpack pack FOLDER ARCHIVE [--compression N]
#include "archive/cls_arch.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "tools/cli.h"

namespace tools {

namespace {

uint8_t ParseCompression(const std::string &text) {
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("--compression needs a number from 0 to 255, not \"" +
                     text + "\"");
  const int value = std::stoi(text);
  if (value > 255)
    throw UsageError("--compression needs a number from 0 to 255, not \"" +
                     text + "\"");
  return static_cast<uint8_t>(value);
}

// Total bytes of the files that packing will take, for the progress line.
int64_t SourceBytes(const std::string &folder) {
  int64_t total = 0;
  for (const std::string &name : platform::fs::ListFiles(folder + "/*")) {
    try {
      total += platform::fs::FileLen(folder + "/" + name);
    } catch (const platform::Error &) {
      // Packing itself reports a file it cannot measure.
    }
  }
  return total;
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

  // A missing folder packs into the empty archive, as the engine defines
  // it; a typing error still deserves a word.
  if (!platform::fs::FolderExists(folder))
    Warn("source folder does not exist, the archive holds no file: " + folder);
  if (platform::fs::FolderExists(archivePath))
    throw ToolError("the archive path names a folder: " + archivePath);

  InstalledConsole console;
  console.ui().CatchInterrupts();
  archive::cls_arch arch;
  arch.FileName(archivePath);
  arch.Compression(compression);
  const int64_t total = SourceBytes(folder);
  // Ctrl-C cancels through the archive's flag: taken after the next byte
  // written.
  console.ui().SetInterruptHandler([&] { arch.Abort(platform::kTrue); });
  console.ui().SetPoller([&] {
    if (arch.ActionMode() != archive::mode::kPackWrite)
      return;
    const int64_t done = arch.DefSeek();
    const int percent =
        total > 0 ? static_cast<int>(std::min<int64_t>(100, done * 100 / total))
                  : 100;
    console.ui().SetToolLine("packing " + std::to_string(percent) + "%  " +
                             ByteCount(done) + "  " + arch.DefFile());
  });
  try {
    arch.Pack(folder);
  } catch (...) {
    // Once packing has created the archive, a failure leaves it half
    // written: remove it rather than leave an archive that lies.
    if (arch.ActionMode() == archive::mode::kPackWrite) {
      platform::files::CloseAllQuietly();
      RemoveQuietly(archivePath);
    }
    console.ui().ClearLine();
    throw;
  }
  console.ui().ClearLine();
  return kExitOk;
}

} // namespace tools
