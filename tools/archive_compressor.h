// The archive of a compressed package (package/stream_layout.h): the raw
// PACK1 archive, given as pieces, through the x86 filter and the encoder
// into one stream, its stored ranges left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "package/stream_layout.h"

namespace tools {

class OsFile;

// length bytes of the raw archive: from file at a 0-based offset, or, when
// file is null, bytes.
struct RawPiece {
  const OsFile *file = nullptr;
  int64_t offset = 0;
  std::string_view bytes;
  int64_t length = 0;
};

// Compresses the raw archive that pieces make, in their order, at level
// into stream (from its offset 0), leaving out layout.stored; layout.x86
// and layout.stored must be in order (codec::RangesInOrder) and share no
// byte. Sets layout's lengths, restart and CRC-32. A stream in two parts
// (codec::RestartOf) has its second part made at the same time into a new
// file at spillPath, then appended to stream. progress(rawDone, rawLength)
// after every block. Raises ToolError when the encoder fails.
void CompressArchive(const std::vector<RawPiece> &pieces, int level,
                     package::StreamLayout &layout, OsFile &stream,
                     const std::string &spillPath,
                     const std::function<void(int64_t, int64_t)> &progress);

// Whether the first bytes of a file shrink under a quick LZMA pass by at
// least 1/32: random and already compressed data does not, and is carried
// stored rather than through the stream, which would only make it longer.
bool Compressible(const uint8_t *sample, size_t size);

// The bytes of a file's start that Compressible looks at.
inline constexpr size_t kSampleSize = size_t{64} * 1024;

} // namespace tools
