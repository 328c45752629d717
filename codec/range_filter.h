// The x86 branch filter (codec/x86_filter.h) applied to given ranges of one
// stream, such as the bytes of the program files in an archive, and passing
// the other bytes through. Each range is filtered on its own, its first byte
// at position 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/x86_filter.h"

namespace codec {

// A range of the stream: offset of its first byte (0-based) and length.
struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

// True when the ranges are in ascending order, do not overlap and lie within
// a stream of streamLength bytes: the only ranges whose meaning is as
// described. (Others are still handled safely: a range, or the part of it,
// that starts before the end of the one before is filtered from where the
// stream stands, and its positions count from there.)
bool RangesInOrder(const ByteRange *ranges, size_t count,
                   uint64_t streamLength);

class RangeFilter {
public:
  static constexpr size_t kMaxHeld = X86Filter::kMaxHeld;

  // ranges[0, count) must outlive the filter.
  RangeFilter(const ByteRange *ranges, size_t count, FilterDirection direction)
      : ranges_(ranges), count_(count), filter_(direction) {}

  // The next size bytes of the stream from in into out, which has room for
  // size + kMaxHeld bytes (and does not overlap in); returns how many bytes
  // it wrote there. Only inside a range are bytes held back.
  size_t Convert(const uint8_t *in, size_t size, uint8_t *out);
  // The stream has ended: writes what a range that reaches its end held back
  // (at most kMaxHeld bytes) and returns the count.
  size_t Finish(uint8_t *out);

private:
  const ByteRange *ranges_;
  size_t count_;
  size_t next_ = 0;      // the range being filtered or the next one
  uint64_t offset_ = 0;  // of the next input byte in the stream
  bool inRange_ = false; // filter_ has started on ranges_[next_]
  X86Filter filter_;
};

} // namespace codec
