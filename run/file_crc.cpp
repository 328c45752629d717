// Reading a file's length and CRC-32.
#include "run/file_crc.h"

#include <algorithm>
#include <memory>

#include "package/crc32.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace mdl_main {

namespace files = platform::files;

namespace {

// The piece of a file read at a time.
constexpr size_t kPiece = size_t{256} * 1024;

} // namespace

FileFacts ReadFileFacts(const std::string &path, int64_t crcIfLength,
                        int64_t orIfLength) {
  const int16_t number = files::FreeFile();
  files::Open(number, path, platform::OpenMode::ReadOnly);
  platform::BufferedFile &file = files::At(number);
  FileFacts facts;
  facts.length = file.Length();
  if (facts.length != crcIfLength && facts.length != orIfLength) {
    files::Close(number);
    return facts;
  }
  try {
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kPiece);
    for (int64_t done = 0; done < facts.length;) {
      const auto n = static_cast<int64_t>(std::min<uint64_t>(
          kPiece, static_cast<uint64_t>(facts.length - done)));
      file.GetRun(done + 1, buffer.get(), n);
      facts.crc =
          package::Crc32(facts.crc, buffer.get(), static_cast<size_t>(n));
      done += n;
      platform::YieldFor(n);
    }
  } catch (const std::exception &) {
    // Closed, or the file stays ours until the run ends: it counts as in
    // use from then on (the pre-flight's Retry never ends), and Windows
    // would refuse to move it aside.
    try {
      files::Close(number);
    } catch (const platform::Error &) {
    }
    throw;
  }
  files::Close(number);
  return facts;
}

} // namespace mdl_main
