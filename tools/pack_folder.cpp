// Packing with a progress line.
#include "tools/pack_folder.h"

#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "tools/cli.h"

namespace tools {

namespace {

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

void PackWithProgress(const std::string &folder, const std::string &archivePath,
                      uint8_t compression) {
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
    console.ui().SetPoller(nullptr);
    console.ui().ClearLine();
    throw;
  }
  console.ui().SetPoller(nullptr);
  console.ui().ClearLine();
}

} // namespace tools
