// The x86 branch filter over ranges of a stream.
#include "codec/range_filter.h"

#include <algorithm>
#include <cstring>

namespace codec {

namespace {

// One past the range's last byte, kept from overflowing.
uint64_t End(const ByteRange &range) {
  return range.length > UINT64_MAX - range.offset ? UINT64_MAX
                                                  : range.offset + range.length;
}

} // namespace

bool RangesInOrder(const ByteRange *ranges, size_t count,
                   uint64_t streamLength) {
  uint64_t reached = 0;
  for (size_t i = 0; i < count; ++i) {
    if (ranges[i].offset < reached || End(ranges[i]) > streamLength)
      return false;
    reached = End(ranges[i]);
  }
  return true;
}

size_t RangeFilter::Convert(const uint8_t *in, size_t size, uint8_t *out) {
  size_t written = 0;
  while (size > 0) {
    if (next_ == count_) {
      std::memcpy(out + written, in, size);
      offset_ += size;
      return written + size;
    }
    const ByteRange &range = ranges_[next_];
    const uint64_t end = End(range);
    size_t step = 0;
    if (offset_ >= end) { // passed (or empty)
      if (inRange_)
        written += filter_.Finish(out + written);
      inRange_ = false;
      ++next_;
      continue;
    }
    if (offset_ < range.offset) {
      step =
          static_cast<size_t>(std::min<uint64_t>(size, range.offset - offset_));
      std::memcpy(out + written, in, step);
      written += step;
    } else {
      step = static_cast<size_t>(std::min<uint64_t>(size, end - offset_));
      written += filter_.Convert(in, step, out + written);
      inRange_ = true;
    }
    in += step;
    size -= step;
    offset_ += step;
  }
  return written;
}

size_t RangeFilter::Finish(uint8_t *out) {
  const size_t count = inRange_ ? filter_.Finish(out) : 0;
  inRange_ = false;
  next_ = count_;
  return count;
}

} // namespace codec
