// The raw archive of a compressed package (package/stream_layout.h) out of
// the package's bytes: the stream decoded, the stored ranges put back at
// their offsets, the x86 filter undone, the CRC-32 checked. In pieces, in
// flat memory: the run's carve-out yields between them, the tool reads in
// one go.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/lzma_decoder.h"
#include "package/byte_source.h"
#include "package/stream_layout.h"

namespace package {

enum class StreamFault : uint8_t {
  None,
  OutsidePackage, // the stream and stored ranges do not fit before the end
  Corrupt,        // the stream does not decode
  Truncated,      // it ends before the raw length or leaves bytes over
  Crc,            // the raw archive differs from its CRC-32
  NoMemory,       // for the buffers or the dictionary
};

class StreamDecoder {
public:
  // Takes the raw archive's bytes, in order, at most 64 KiB at a time;
  // context is the one given to the decoder. (A plain function: the
  // program image has no room to spare for std::function.)
  using Sink = void (*)(void *context, const uint8_t *bytes, size_t count);

  // layout and package must outlive the decoder; the stream begins at the
  // 0-based offset start of package.
  StreamDecoder(const ByteSource &package, int64_t start,
                const StreamLayout &layout, Sink sink, void *context);
  ~StreamDecoder();
  StreamDecoder(const StreamDecoder &) = delete;
  StreamDecoder &operator=(const StreamDecoder &) = delete;

  // The package bytes that the layout reads: the stream and stored ranges.
  int64_t PackageBytes() const {
    return layout_.streamLength + layout_.StoredLength();
  }
  // Reads up to budget package bytes and hands on what they give; returns
  // how many it read (0 only when there is nothing left to read, or at a
  // fault), or -1 with Fault() set.
  int64_t Advance(int64_t budget);
  // Every package byte is read: hands on the last bytes and checks that the
  // raw archive is whole and its CRC-32 right. Never more than the raw
  // length reaches the sink.
  StreamFault Finish();
  StreamFault Fault() const { return fault_; }

private:
  bool InStored();
  void Emit(const uint8_t *bytes, size_t count);
  bool ReadAt(int64_t offset, uint8_t *bytes, int64_t count);

  const ByteSource &package_;
  const StreamLayout &layout_;
  Sink sink_;
  void *context_;
  codec::LzmaDecoder decoder_;
  codec::RangeFilter filter_;
  // Input, decoded and filtered bytes, in one allocation; null without
  // memory (the fault NoMemory).
  uint8_t *in_, *out_, *filtered_;
  size_t inHave_ = 0, inUsed_ = 0;
  int64_t streamAt_;  // offset of the stream's next byte in the package
  int64_t streamEnd_; // just past it
  int64_t storedAt_;  // offset of the next stored byte in the package
  size_t stored_ = 0;
  uint64_t storedDone_ = 0; // of layout_.stored[stored_]
  uint64_t merged_ = 0;     // raw bytes made, before the filter
  uint32_t crc_ = 0;
  StreamFault fault_ = StreamFault::None;
};

} // namespace package
