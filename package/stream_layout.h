// How a package carries its archive, as its manifest (package/manifest.h)
// declares it. Without these keys, or with kCodecKey "stored", the archive
// lies in the package as it is (the base format). With kCodecKey "lzma" the
// bytes from ArchiveStart on are:
//
//   the compressed stream (codec/lzma_stream.h), kStreamKey bytes: the raw
//       archive, the x86 branch filter applied to its kX86Key ranges, then
//       its stored ranges left out
//   the stored ranges' bytes, one after another, as they are
//   filler, then the trailer
//
// Decoding the stream, putting each stored range back at its offset and
// undoing the filter gives the PACK1 archive, kRawKey bytes whose CRC-32 is
// kRawCrcKey: the same archive a stored package carries, so the run unpacks it
// as it is. Stored ranges are what does not compress (random or already
// compressed data): outside the stream they cost nothing and are copied, not
// decoded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/range_filter.h"

namespace package {

// "lzma", or "stored" (also when absent).
inline constexpr const char *kCodecKey = "codec";
inline constexpr const char *kCodecLzma = "lzma";
inline constexpr const char *kCodecStored = "stored";
// Decimal numbers: the stream's length, the raw archive's length and the
// CRC-32 of the raw archive.
inline constexpr const char *kStreamKey = "stream";
inline constexpr const char *kRawKey = "raw";
inline constexpr const char *kRawCrcKey = "rawcrc";
// Ranges of the raw archive "OFFSET:LENGTH,OFFSET:LENGTH...", decimal,
// ascending, disjoint: the x86 filter's and the stored ones, which share no
// byte.
inline constexpr const char *kX86Key = "x86";
inline constexpr const char *kStoredKey = "stored";
// Decimal: where the stream's second part (codec/lzma_stream.h) starts, as
// an offset into its raw bytes (the archive without the stored ranges),
// above 0 and below their length. Absent for a stream of one part. The
// reader takes what it finds (the program image has no room for more
// checks): a value no writer makes leaves a stream that does not decode.
inline constexpr const char *kRestartKey = "restart";

// The largest raw archive: the pack file's positions are 32-bit.
inline constexpr int64_t kMaxRawArchive = INT32_MAX;

struct StreamLayout {
  bool compressed = false;
  int64_t streamLength = 0;
  int64_t rawLength = 0;
  uint32_t rawCrc = 0;
  std::vector<codec::ByteRange> x86;
  std::vector<codec::ByteRange> stored;
  int64_t restart = 0; // 0 for a stream of one part

  // The stored ranges' bytes together.
  int64_t StoredLength() const;
  // The stream's raw bytes: the archive without its stored ranges.
  int64_t StreamRawLength() const { return rawLength - StoredLength(); }
};

// The layout that payload declares; false for one that no writer makes (an
// unknown codec, a number or range that does not parse, ranges out of
// order or outside the archive, a stream shorter than its header).
bool ReadStreamLayout(const std::string &payload, StreamLayout &layout);
// False when a stored range shares bytes with an x86 one, which no writer
// makes. The run takes such ranges as they are: where the filter changes a
// shared byte, it finds the archive differing from its CRC-32; `verify`
// warns of them and judges the archive by that CRC-32 too.
bool RangesDisjoint(const StreamLayout &layout);
// True for the keys above.
bool IsStreamLayoutKey(std::string_view key);
// Appends the pairs of a compressed layout.
void AppendStreamLayout(std::string &payload, const StreamLayout &layout);

} // namespace package
