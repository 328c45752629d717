// The trailer read and the carve-out of the archive into the pack file.
#include "run/container.h"

#include <algorithm>
#include <cmath>

#include "package/file_source.h"
#include "package/trailer.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "run/run_texts.h"
#include "ui/Setup.h"

namespace mdl_main {

namespace files = platform::files;

// Bytes moved at once between two yields that reach the window system.
constexpr int32_t kCarveRun = 64 * 1024;

std::string ProgramExePath() {
  std::string path = platform::ProgramFolder();
  path += '\\';
  path += platform::ProgramBaseName();
  path += ".exe";
  return path;
}

int32_t PackageLength(int16_t fileNum) {
  files::Lof(fileNum); // raises from 2 GiB on
  const package::FileSource file(fileNum);
  return static_cast<int32_t>(package::PackageLength(file));
}

Container ReadTrailer() {
  Container exe;
  exe.fileNum = files::FreeFile();
  files::Open(exe.fileNum, ProgramExePath(), platform::OpenMode::ReadOnly);
  exe.L = PackageLength(exe.fileNum);
  // A file shorter than the trailer gives a position below 1: an error.
  uint8_t trailer[package::kTrailerSize];
  for (int32_t k = 0; k < package::kTrailerSize; ++k)
    trailer[k] =
        files::GetAt(exe.fileNum, exe.L - (package::kTrailerSize - 1) + k);
  exe.ArchiveStart = package::DecodeTrailer(trailer);
  return exe;
}

int16_t CarveProgress(int32_t i, int32_t ArchiveStart, int32_t L) {
  const double done =
      static_cast<double>(static_cast<int64_t>(i) - ArchiveStart);
  const double whole =
      static_cast<double>(static_cast<int64_t>(L) - ArchiveStart);
  if (!(whole > 0))
    return 0; // no byte to copy: the carve-out never asks
  const double p = std::nearbyint(done / whole * 100.0);
  // nearbyint rounds halves to even in the default rounding mode. Inside the
  // carve-out p lies in 0 .. 100; the clamp keeps other inputs defined.
  if (p < INT16_MIN)
    return INT16_MIN;
  if (p > INT16_MAX)
    return INT16_MAX;
  return static_cast<int16_t>(p);
}

void CarveOut(const Container &exe, const std::string &packFile,
              ui::Setup &form) {
  const int16_t packNum = files::FreeFile();
  files::Open(packNum, packFile, platform::OpenMode::CreateNew);
  const int32_t E = exe.L - package::kTrailerSize;
  if (exe.ArchiveStart < 1 && exe.ArchiveStart <= E) {
    // No archive can begin there: the package was cut short or altered.
    try {
      files::GetAt(exe.fileNum, exe.ArchiveStart);
    } catch (const platform::Error &e) {
      RaiseWithDamagedSentence(e);
    }
  }
  bool runs = true; // false once a run failed: the rest goes byte by byte
  uint8_t chunk[kCarveRun];
  // i <= E never lets i overflow: E is at most INT32_MAX - 4.
  for (int32_t i = exe.ArchiveStart; i <= E;) {
    // Between two yields that reach the window system nobody can see the
    // progress line or the pack file, so those bytes move in one run and
    // only the run's last percentage is shown.
    const int32_t quiet = platform::QuietYields();
    if (runs && quiet > 0 && i >= 1) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(
          {int64_t{quiet}, int64_t{E} - i + 1, int64_t{kCarveRun}}));
      try {
        files::At(exe.fileNum).GetRun(i, chunk, n);
      } catch (const platform::Error &) {
        runs = false; // byte by byte, it copies what it can, then fails
        continue;
      }
      platform::BufferedFile &pack = files::At(packNum);
      pack.PutRun(pack.Position(), chunk, n);
      i += n;
      form.SetProgress(CarveProgress(i - 1, exe.ArchiveStart, exe.L));
      platform::SkipQuietYields(n);
      continue;
    }
    files::Put(packNum, files::GetAt(exe.fileNum, i));
    form.SetProgress(CarveProgress(i, exe.ArchiveStart, exe.L));
    platform::Yield();
    ++i;
  }
  files::Close(packNum);
  files::Close(exe.fileNum);
}

} // namespace mdl_main
