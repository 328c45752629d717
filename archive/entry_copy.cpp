// The copy of an entry's bytes into its file: the extraction's per-byte
// path, which the program image builds for speed (-Os) where the rest of
// the extraction is built for size.
#include <algorithm>

#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace archive {

namespace files = platform::files;

namespace {

// Bytes moved at once between two yields that reach the user interface.
constexpr int64_t kCopyRun = int64_t{64} * 1024;

} // namespace

void cls_arch::CopyEntryBytes(int16_t outNum, int32_t first, int32_t last) {
  int64_t p = first;
  int64_t out = 1;  // output positions run 1, 2, 3 ...
  bool runs = true; // false once a run failed: the rest goes byte by byte
  uint8_t chunk[kCopyRun];
  while (p <= last) {
    // Yields that cannot reach the user interface: nobody can look at the
    // progress or the files meanwhile, so those bytes move in one run.
    const int32_t quiet = platform::QuietYields();
    if (runs && quiet > 0) {
      const int64_t n =
          std::min({int64_t{quiet}, int64_t{last} - p + 1, kCopyRun});
      try {
        files::At(FileNum_).GetRun(p, chunk, n);
      } catch (const platform::Error &) {
        runs = false; // byte by byte, it writes what it can, then fails
        continue;
      }
      platform::BufferedFile &target = files::At(outNum);
      try {
        target.PutRun(out, chunk, n);
      } catch (const platform::Error &) {
        const int64_t moved = target.Position() - out;
        if (moved > 0)
          Seek_[0] = static_cast<int32_t>(p + moved - 1);
        throw;
      }
      p += n;
      out += n;
      Seek_[0] = static_cast<int32_t>(p - 1);
      platform::SkipQuietYields(static_cast<int32_t>(n));
      continue;
    }
    files::PutAt(outNum, static_cast<int32_t>(out),
                 files::GetAt(FileNum_, static_cast<int32_t>(p)));
    Seek_[0] = static_cast<int32_t>(p);
    platform::Yield();
    ++p;
    ++out;
  }
}

} // namespace archive
