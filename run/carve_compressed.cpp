// Decoding the archive of a compressed package into the pack file.
#include "run/carve_compressed.h"

#include <algorithm>
#include <new>

#include "package/file_source.h"
#include "package/stream_decoder.h"
#include "package/trailer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/ui.h"
#include "run/own_manifest.h"
#include "ui/Setup.h"

namespace mdl_main {

namespace {

namespace files = platform::files;

// Package bytes read at most between two yields that reach the window
// system.
constexpr int64_t kCarveRun = int64_t{64} * 1024;

// One sentence for every fault of the stream: the program image has no
// room for more, and `updpack verify` tells them apart. Memory that runs
// out is no damage: the run reports it as such.
[[noreturn]] void RaiseStreamDamaged(package::StreamFault fault) {
  if (fault == package::StreamFault::NoMemory)
    throw std::bad_alloc();
  RaiseDamaged(platform::MsgText(platform::Msg::StreamDamaged));
}

} // namespace

void CarveCompressed(const Container &exe, const package::StreamLayout &layout,
                     const std::string &packFile, ui::Setup &form) {
  const int16_t packNum = files::FreeFile();
  files::Open(packNum, packFile, platform::OpenMode::CreateNew);
  // The package ends before the trailer, a signing tool's table aside.
  const int64_t start = int64_t{exe.ArchiveStart} - 1;
  const int64_t end = int64_t{exe.L} - package::kTrailerSize;
  if (start < 0 || layout.streamLength + layout.StoredLength() > end - start)
    RaiseStreamDamaged(package::StreamFault::OutsidePackage);
  const package::FileSource file(exe.fileNum);
  int16_t number = packNum;
  package::StreamDecoder decoder(
      file, start, layout,
      [](void *context, const uint8_t *bytes, size_t count) {
        platform::BufferedFile &pack =
            files::At(*static_cast<int16_t *>(context));
        pack.PutRun(pack.Position(), bytes, static_cast<int64_t>(count));
      },
      &number);
  for (int64_t read = 0; read < decoder.PackageBytes();) {
    // As CarveOut: the bytes between two yields that reach the window
    // system move at once, else one package byte a step.
    const int32_t quiet = platform::QuietYields();
    const int64_t n =
        decoder.Advance(quiet > 0 ? std::min<int64_t>(quiet, kCarveRun) : 1);
    if (n < 0)
      RaiseStreamDamaged(decoder.Fault());
    if (n == 0)
      break; // the stream ended early: Finish tells
    read += n;
    form.SetProgress(
        CarveProgress(static_cast<int32_t>(exe.ArchiveStart + read - 1),
                      exe.ArchiveStart, exe.L));
    if (quiet > 0)
      platform::SkipQuietYields(static_cast<int32_t>(n));
    else
      platform::Yield();
  }
  if (const package::StreamFault fault = decoder.Finish();
      fault != package::StreamFault::None)
    RaiseStreamDamaged(fault);
  files::Close(packNum);
  files::Close(exe.fileNum);
}

} // namespace mdl_main
