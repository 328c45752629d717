// Decoding a compressed package's archive.
#include "package/stream_decoder.h"

#include <algorithm>
#include <cstdlib>

#include "package/crc32.h"

namespace package {

namespace {

constexpr int64_t kBlock = int64_t{64} * 1024;

} // namespace

StreamDecoder::StreamDecoder(const ByteSource &package, int64_t start,
                             const StreamLayout &layout, Sink sink,
                             void *context)
    : package_(package), layout_(layout), sink_(sink), context_(context),
      decoder_(static_cast<uint64_t>(layout.StreamRawLength()),
               static_cast<uint64_t>(layout.restart)),
      filter_(layout.x86.data(), layout.x86.size(),
              codec::FilterDirection::kDecode),
      in_(static_cast<uint8_t *>(
          std::malloc(3 * kBlock + codec::RangeFilter::kMaxHeld))),
      out_(in_ + kBlock), filtered_(out_ + kBlock), streamAt_(start),
      streamEnd_(start + layout.streamLength), storedAt_(streamEnd_) {
  if (in_ == nullptr)
    fault_ = StreamFault::NoMemory;
  if (start < 0 || PackageBytes() > package.Size() - start)
    fault_ = StreamFault::OutsidePackage;
}

StreamDecoder::~StreamDecoder() { std::free(in_); }

bool StreamDecoder::InStored() {
  while (stored_ < layout_.stored.size() &&
         storedDone_ == layout_.stored[stored_].length) {
    ++stored_;
    storedDone_ = 0;
  }
  return stored_ < layout_.stored.size() &&
         merged_ == layout_.stored[stored_].offset + storedDone_;
}

void StreamDecoder::Emit(const uint8_t *bytes, size_t count) {
  merged_ += count;
  const size_t n = filter_.Convert(bytes, count, filtered_);
  crc_ = Crc32(crc_, filtered_, n);
  if (n > 0)
    sink_(context_, filtered_, n);
}

bool StreamDecoder::ReadAt(int64_t offset, uint8_t *bytes, int64_t count) {
  if (package_.Read(offset, bytes, static_cast<size_t>(count)))
    return true;
  fault_ = StreamFault::OutsidePackage; // the file shrank under us
  return false;
}

int64_t StreamDecoder::Advance(int64_t budget) {
  if (fault_ != StreamFault::None)
    return -1;
  int64_t used = 0;
  for (;;) {
    if (InStored()) {
      const uint64_t left = layout_.stored[stored_].length - storedDone_;
      const int64_t n = std::min<int64_t>(
          {budget - used, kBlock, static_cast<int64_t>(left)});
      if (n == 0)
        return used;
      if (!ReadAt(storedAt_, out_, n))
        return -1;
      Emit(out_, static_cast<size_t>(n));
      storedAt_ += n;
      storedDone_ += static_cast<uint64_t>(n);
      used += n;
      continue;
    }
    // The decoder makes bytes up to the next stored range, never past the
    // declared length.
    const uint64_t limit = stored_ < layout_.stored.size()
                               ? layout_.stored[stored_].offset
                               : static_cast<uint64_t>(layout_.rawLength);
    const auto room = static_cast<size_t>(
        std::min<uint64_t>(limit - merged_, static_cast<uint64_t>(kBlock)));
    const codec::DecodeStep step =
        decoder_.Decode(in_ + inUsed_, inHave_ - inUsed_, out_, room);
    inUsed_ += step.consumed;
    Emit(out_, step.produced);
    if (step.status != codec::DecodeStatus::kMore &&
        step.status != codec::DecodeStatus::kDone) {
      fault_ = step.status == codec::DecodeStatus::kNoMemory
                   ? StreamFault::NoMemory
                   : StreamFault::Corrupt;
      return -1;
    }
    if (step.consumed > 0 || step.produced > 0)
      continue;
    if (step.status == codec::DecodeStatus::kDone || used == budget ||
        streamAt_ == streamEnd_)
      return used;
    const int64_t n =
        std::min<int64_t>({budget - used, kBlock, streamEnd_ - streamAt_});
    if (!ReadAt(streamAt_, in_, n))
      return -1;
    inHave_ = static_cast<size_t>(n);
    inUsed_ = 0;
    streamAt_ += n;
    used += n;
  }
}

StreamFault StreamDecoder::Finish() {
  if (Advance(0) < 0)
    return fault_;
  if (decoder_.Finish() != codec::DecodeStatus::kDone || InStored() ||
      merged_ != static_cast<uint64_t>(layout_.rawLength) ||
      streamAt_ != streamEnd_ || inUsed_ != inHave_)
    return fault_ = StreamFault::Truncated;
  const size_t n = filter_.Finish(filtered_);
  crc_ = Crc32(crc_, filtered_, n);
  if (n > 0)
    sink_(context_, filtered_, n);
  if (crc_ != layout_.rawCrc)
    fault_ = StreamFault::Crc;
  return fault_;
}

} // namespace package
