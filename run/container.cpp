// The trailer read and the carve-out of the archive into the pack file.
#include "run/container.h"

#include <cmath>

#include "platform/env.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "ui/Setup.h"

namespace mdl_main {

namespace files = platform::files;

std::string ProgramExePath() {
  return platform::ProgramFolder() + "\\" + platform::ProgramBaseName() +
         ".exe";
}

Container ReadTrailer() {
  Container exe;
  exe.fileNum = files::FreeFile();
  files::Open(exe.fileNum, ProgramExePath(), platform::OpenMode::ReadOnly);
  exe.L = files::Lof(exe.fileNum);
  // A file shorter than the trailer gives a position below 1: an error.
  uint8_t trailer[kTrailerSize];
  for (int32_t k = 0; k < kTrailerSize; ++k)
    trailer[k] = files::GetAt(exe.fileNum, exe.L - (kTrailerSize - 1) + k);
  exe.ArchiveStart = ReadLE32(trailer);
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
  files::Open(packNum, packFile, platform::OpenMode::Output);
  const int32_t E = exe.L - kTrailerSize;
  // i <= E never lets i overflow: E is at most INT32_MAX - 4.
  for (int32_t i = exe.ArchiveStart; i <= E; ++i) {
    files::Put(packNum, files::GetAt(exe.fileNum, i));
    form.SetProgress(CarveProgress(i, exe.ArchiveStart, exe.L));
    platform::Yield();
  }
  files::Close(packNum);
  files::Close(exe.fileNum);
}

} // namespace mdl_main
