// The compressed stream of a package's archive, as our encoder writes it and
// our decoder accepts it: LZMA (the LZMA SDK's coder) with a fixed header and
// an end marker.
//
//   offset 0, 1 byte   lc, lp and pb as (pb * 5 + lp) * 9 + lc, with
//                      lc + lp <= kMaxLcPlusLp
//   offset 1, 4 bytes  dictionary size, little-endian, at most
//                      kMaxDictionary
//   offset 5           the range-coded data, ending with the end marker
//
// A stream may come in two parts, so that two threads encode it at once:
// the first part's range-coded data ends at a raw offset declared beside
// the stream (the restart), flushed, with the coder at rest and no end
// marker; the second part's follows at once and starts the coder afresh
// (probabilities, state and range coder), as after the header, except that
// its matches may reach back into the bytes before it and its positions
// count on from the restart. One header serves both.
//
// The stream holds neither its raw length, its restart nor a checksum:
// whoever stores it declares them beside it (the package's manifest: the
// stream's length, the raw length, the restart and the CRC-32 of the raw
// bytes). The decoder holds the stream
// to the raw length: it produces exactly that many bytes, and the end marker
// must follow the last of them and end the input. The end marker (six bytes
// or so) is what lets the decoder tell a stream that ends early, goes on
// past the declared length or is followed by other bytes from a sound one.
// Damage that still decodes to a stream of the declared shape is left to
// the caller's CRC-32 of the output.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

// The header: lc/lp/pb and the dictionary size.
inline constexpr size_t kPropertiesSize = 5;
// The largest dictionary a stream may declare (64 MiB): the decoder's
// memory, and the encoder's largest window.
inline constexpr uint32_t kMaxDictionary = 64u << 20;
// Literal context and position bits together: at most 16 literal coders
// (LZMA2 has the same rule), so a hostile header cannot make the decoder
// allocate megabytes of probabilities.
inline constexpr unsigned kMaxLcPlusLp = 4;

} // namespace codec
