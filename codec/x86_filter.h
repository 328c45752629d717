// The x86 branch filter: relative call and jump targets in x86 and x86-64
// code made absolute before compression, so that the many calls of one
// function look alike to the compressor, and made relative again after
// decompression.
//
// The rule, over a range of bytes whose first byte is position 0: scanning
// from the start, a byte E8 (call) or E9 (jmp) followed by four bytes whose
// last (the displacement's top byte) is 00 or FF is a window, unless an E8
// or E9 that was no window lies in the three bytes before it. The
// displacement d, a 32-bit little-endian number that lies in [-2^24, 2^24),
// becomes d + p when encoding and d - p when decoding, p being the position
// just after the window, taken modulo 2^25 and sign-extended from bit 24, so
// that its top byte is 00 or FF again; the scan goes on after the window.
// Any other byte is passed and the scan goes on at the next byte. A window
// that the range's end cuts short is left as it is.
//
// Both directions see the same windows: a window's bytes leave it a window,
// and the bytes that an E8 or E9 that is no window looks at are the same on
// both sides, since no window may start among them (the three-byte rule).
// The map is a bijection on such displacements, so decoding gives back any
// input exactly, code or not.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

enum class FilterDirection : uint8_t { kEncode, kDecode };

// The filter over one range fed in pieces: it holds back the start of a
// window (at most kMaxHeld bytes) until the bytes that complete it arrive or
// the range ends. Pieces of any size give the same bytes as the whole range
// at once.
class X86Filter {
public:
  static constexpr size_t kMaxHeld = 4;

  explicit X86Filter(FilterDirection direction) : direction_(direction) {}

  // Converts the next size bytes of the range from in into out, which has
  // room for size + kMaxHeld bytes (and does not overlap in); returns how
  // many bytes it wrote there.
  size_t Convert(const uint8_t *in, size_t size, uint8_t *out);
  // The range has ended: writes the bytes held back (at most kMaxHeld), as
  // they are, and returns their count. The filter is then ready for a new
  // range.
  size_t Finish(uint8_t *out);

private:
  // Converts the windows of bytes[0, size), the next bytes of the range,
  // and returns how many leading bytes are final: size, or less when a
  // window starting in the last four bytes is cut short there.
  size_t Scan(uint8_t *bytes, size_t size);

  FilterDirection direction_;
  uint64_t position_ = 0;   // of the first byte held, or of the next byte
  uint64_t windowFrom_ = 0; // no window starts before this position
  uint8_t held_[kMaxHeld] = {};
  size_t heldSize_ = 0;
};

} // namespace codec
