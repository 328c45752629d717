// The runtime's LZMA decoder: a stream (codec/lzma_stream.h) fed in pieces,
// its raw bytes handed out in pieces, in flat memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/lzma_stream.h"

namespace codec {

enum class DecodeStatus : uint8_t {
  kMore,               // not finished: give more input or more output room
  kDone,               // the raw length produced and the stream's end read
  kBadProperties,      // the first byte is no lc/lp/pb, or lc + lp is above
                       // kMaxLcPlusLp
  kDictionaryTooLarge, // the header declares more than kMaxDictionary
  kNoMemory,
  kCorrupt,   // damaged data, an end before the raw length, data past it,
              // no end marker after it, or bytes after the end marker
  kTruncated, // (from Finish) the input ended before the stream's end
};

// What one call of Decode did.
struct DecodeStep {
  DecodeStatus status;
  size_t consumed; // input bytes taken
  size_t produced; // output bytes written
};

// Decodes one stream of a declared raw length. Memory: the dictionary is
// allocated once, when the header has arrived, at the size the header
// declares, or at the raw length when that is smaller (at least one byte);
// a header that declares more than kMaxDictionary is refused. Besides it a
// few kilobytes of probabilities and the object itself. Nothing throws;
// after an error every call returns that error.
//
// The CRC-32 of the output is the caller's to compute and compare: the
// decoder finds damage that breaks the stream's shape (kCorrupt), not every
// changed byte.
//
// A loop that reads the stream in chunks and writes the output:
//
//   codec::LzmaDecoder decoder(rawLength);
//   while (a chunk of the stream is read into in[0, n)) {
//     size_t used = 0;
//     codec::DecodeStep step;
//     do {
//       step = decoder.Decode(in + used, n - used, out, sizeof out);
//       used += step.consumed;
//       write out[0, step.produced), add it to the CRC-32;
//     } while (step.status == codec::DecodeStatus::kMore &&
//              (used < n || step.produced == sizeof out));
//     if (step.status != kMore && step.status != kDone) fail;
//   }
//   if (decoder.Finish() != codec::DecodeStatus::kDone) fail;
//
// that is, call again while input is left or the output room was filled.
class LzmaDecoder {
public:
  // A stream in two parts (codec/lzma_stream.h) comes with the raw offset
  // where the second one starts; 0 for a stream of one part.
  explicit LzmaDecoder(uint64_t rawLength, uint64_t restart = 0)
      // restart - 1 wraps for 0: one comparison for none, and for one past
      // the raw length, which no writer makes.
      : raw_(rawLength), end_(restart - 1 < rawLength ? restart : rawLength) {}
  ~LzmaDecoder();
  LzmaDecoder(const LzmaDecoder &) = delete;
  LzmaDecoder &operator=(const LzmaDecoder &) = delete;

  // Takes input from in[0, inSize) and writes output to out[0, outSize),
  // until the input is used up, the output room is full or the stream has
  // ended. Input after the stream's end is an error (kCorrupt).
  DecodeStep Decode(const uint8_t *in, size_t inSize, uint8_t *out,
                    size_t outSize);
  // The input has ended: kDone when the whole stream was read, kTruncated
  // when it stopped short, or the error met before.
  DecodeStatus Finish();

  // Raw bytes produced so far.
  uint64_t Produced() const { return produced_; }
  // The dictionary's size in bytes: 0 until the header has been taken.
  size_t DictionaryBytes() const;

private:
  struct Sdk;

  DecodeStatus Start();
  DecodeStep Fail(DecodeStatus status, size_t consumed, size_t produced);

  const uint64_t raw_;
  uint64_t end_; // of the part being decoded
  uint64_t produced_ = 0;
  Sdk *sdk_ = nullptr; // the SDK's state and buffers, once the header is in
  uint8_t header_[kPropertiesSize] = {};
  size_t headerSize_ = 0;
  DecodeStatus status_ = DecodeStatus::kMore;
};

} // namespace codec
