// The tool's LZMA encoder: a stream as codec/lzma_stream.h describes it, from
// a source the encoder pulls raw bytes from to a sink it pushes the stream
// to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace codec {

// Levels from 0 (fastest) to 9 (smallest stream); lzma_encoder.cpp has what
// each one sets. The default parses over a binary tree with 64 fast bytes,
// as NSIS's solid LZMA does, but in a window of up to 64 MiB rather than
// 8 MiB and trying 32 candidates rather than 48: program files repeat one
// another farther apart than 8 MiB, and the fewer tries pay for the larger
// window (bench/README.md). Levels 7 and up try more candidates and take
// longer matches, in about 1.4 times the time and more.
inline constexpr int kMaxLevel = 9;
inline constexpr int kDefaultLevel = 6;

// Fills buffer[0, size) with the next raw bytes and returns how many it
// wrote, 0 only at the end of the raw bytes.
using Source = std::function<size_t(uint8_t *buffer, size_t size)>;
// A new source of the raw bytes from their first one on. Each part of a
// stream reads from its own, on its own thread; EncodeParts makes them on
// the calling thread, in the parts' order, before it starts.
using SourceMaker = std::function<Source()>;
// Takes the next bytes of the stream.
using Sink = std::function<void(const uint8_t *bytes, size_t size)>;
// Takes the next bytes of the stream's part `part`: the parts' bytes one
// after another are the stream. Parts are made at the same time, each on
// its own thread, so calls for different parts may overlap.
using PartSink =
    std::function<void(size_t part, const uint8_t *bytes, size_t size)>;
// Told after every block of some tens of kilobytes: raw bytes read and
// stream bytes written so far.
using Progress = std::function<void(uint64_t rawDone, uint64_t streamDone)>;

enum class EncodeStatus : uint8_t {
  kOk,
  kBadLevel, // not in 0 .. kMaxLevel
  kNoMemory,
  kWrongLength, // the source gave fewer or more bytes than declared
  kBadRestart,  // a second part that would start at or past the end
};

// The dictionary of a level for rawLength bytes: the level's own, but no
// larger than rawLength, and at least 4 KiB (the format's least). The
// header carries it rounded up to 2^n or 3 * 2^(n-1) bytes, as the SDK
// writes it; the decoder takes no more than the raw length.
uint32_t DictionarySize(int level, uint64_t rawLength);

// Encodes the rawLength bytes of source into one stream, which goes to sink,
// header first. An exception from a callback stops the encoding and comes
// out of Encode; what sink took by then is no stream.
EncodeStatus Encode(uint64_t rawLength, int level, const Source &source,
                    const Sink &sink, const Progress &progress = {});

// Where EncodeParts starts the second part of a stream of rawLength bytes
// at level: 0 (one part) below kLeastSplit bytes, else where two processors
// take about as long over each part. The second part indexes the bytes
// before it (at most the window's worth) before it encodes its own, which
// costs about half of encoding them; the cut evens that out. It depends on
// nothing but its arguments, so a build makes the same package on any
// machine.
uint64_t RestartOf(uint64_t rawLength, int level);
inline constexpr uint64_t kLeastSplit = uint64_t{4} << 20;

// Encodes the rawLength bytes that sources from maker give into a stream
// whose second part starts at restart (codec/lzma_stream.h), or of one part
// when restart is 0; part 0's bytes begin with the header. With atOnce each
// part is encoded on a thread of its own where the platform has threads,
// else one after the other: the same bytes either way. progress, when
// given, is told on the calling thread the raw bytes done in both parts. An
// exception from a callback stops the encoding and the first one comes out
// of EncodeParts.
EncodeStatus EncodeParts(uint64_t rawLength, int level, uint64_t restart,
                         const SourceMaker &maker, const PartSink &sink,
                         const Progress &progress = {}, bool atOnce = true);

// About the most memory EncodeParts takes for these arguments: each part's
// encoder holds some 11 bytes for every byte of its window, and the parts
// encoded at once hold theirs together.
uint64_t EncodeMemory(uint64_t rawLength, int level, uint64_t restart,
                      bool atOnce);

} // namespace codec
