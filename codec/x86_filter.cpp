// The x86 branch filter (codec/x86_filter.h has the rule).
#include "codec/x86_filter.h"

#include <cstring>

#include "platform/byte_order.h"

namespace codec {

namespace {

constexpr size_t kWindow = 5; // the opcode and the displacement

} // namespace

size_t X86Filter::Scan(uint8_t *bytes, size_t size) {
  size_t i = 0;
  while (i < size) {
    if ((bytes[i] & 0xFE) != 0xE8) { // neither E8 nor E9
      ++i;
      continue;
    }
    if (size - i < kWindow)
      return i;
    uint8_t *displacement = bytes + i + 1;
    const uint64_t at = position_ + i;
    if (at < windowFrom_ ||
        (displacement[3] != 0x00 && displacement[3] != 0xFF)) {
      windowFrom_ = at + kWindow - 1;
      ++i;
      continue;
    }
    const uint32_t next = static_cast<uint32_t>(at + kWindow);
    uint32_t value = platform::ReadLE32(displacement);
    value =
        direction_ == FilterDirection::kEncode ? value + next : value - next;
    // Sign-extended from bit 24: the top byte is 00 or FF again.
    value = ((value & 0x01FFFFFF) ^ 0x01000000) - 0x01000000;
    platform::WriteLE32(displacement, value);
    i += kWindow;
  }
  return size;
}

size_t X86Filter::Convert(const uint8_t *in, size_t size, uint8_t *out) {
  std::memcpy(out, held_, heldSize_);
  if (size > 0)
    std::memcpy(out + heldSize_, in, size);
  const size_t total = heldSize_ + size;
  const size_t done = Scan(out, total);
  heldSize_ = total - done;
  std::memcpy(held_, out + done, heldSize_);
  position_ += done;
  return done;
}

size_t X86Filter::Finish(uint8_t *out) {
  const size_t count = heldSize_;
  std::memcpy(out, held_, count);
  heldSize_ = 0;
  position_ = 0;
  windowFrom_ = 0;
  return count;
}

} // namespace codec
