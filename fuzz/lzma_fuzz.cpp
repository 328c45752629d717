// Fuzz target: any bytes as a compressed stream, decoded in memory (no file
// system). The first six bytes choose the declared raw length (16 bits,
// little-endian), the sizes of the input and output pieces and where a
// second part starts (16 bits, 0 for none); the rest is the stream. Decoding
// must end with a result, never produce more than the declared length, and
// produce all of it when it reports success. What it produced then goes through
// the x86 branch filter both ways, in pieces of the same sizes, and must come
// back exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/lzma_decoder.h"
#include "codec/x86_filter.h"

namespace {

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "lzma_fuzz: %s\n", what);
  std::abort();
}

std::vector<uint8_t> Filter(const std::vector<uint8_t> &in, size_t chunk,
                            codec::FilterDirection direction) {
  codec::X86Filter filter(direction);
  std::vector<uint8_t> out(in.size() + codec::X86Filter::kMaxHeld);
  size_t written = 0;
  for (size_t at = 0; at < in.size(); at += chunk) {
    const size_t n = chunk < in.size() - at ? chunk : in.size() - at;
    written += filter.Convert(in.data() + at, n, out.data() + written);
  }
  written += filter.Finish(out.data() + written);
  if (written != in.size())
    Fail("the filter changed the length");
  out.resize(written);
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6)
    return 0;
  const uint64_t declared = data[0] | data[1] << 8;
  const size_t inChunk = data[2] == 0 ? size : data[2];
  const size_t outChunk = data[3] == 0 ? 4096 : data[3];
  const uint64_t restart = data[4] | data[5] << 8;
  data += 6;
  size -= 6;

  codec::LzmaDecoder decoder(declared, restart);
  std::vector<uint8_t> out;
  std::vector<uint8_t> room(outChunk);
  codec::DecodeStatus status = codec::DecodeStatus::kMore;
  // After the end, input goes on being fed: it must be refused.
  for (size_t at = 0; at < size && (status == codec::DecodeStatus::kMore ||
                                    status == codec::DecodeStatus::kDone);) {
    const size_t n = inChunk < size - at ? inChunk : size - at;
    size_t used = 0;
    codec::DecodeStep step{};
    do {
      step = decoder.Decode(data + at + used, n - used, room.data(), outChunk);
      used += step.consumed;
      out.insert(out.end(), room.data(), room.data() + step.produced);
      if (out.size() > declared)
        Fail("more output than declared");
      if (step.status == codec::DecodeStatus::kMore && step.consumed == 0 &&
          step.produced == 0 && used < n)
        Fail("no progress with input and room");
    } while (step.status == codec::DecodeStatus::kMore &&
             (used < n || step.produced == outChunk));
    at += n;
    status = step.status;
  }
  if (status == codec::DecodeStatus::kMore ||
      status == codec::DecodeStatus::kDone)
    status = decoder.Finish();
  if (status == codec::DecodeStatus::kDone && out.size() != declared)
    Fail("success without the declared length");
  if (decoder.Produced() != out.size())
    Fail("the count of bytes produced is off");

  const std::vector<uint8_t> encoded =
      Filter(out, inChunk, codec::FilterDirection::kEncode);
  if (Filter(encoded, outChunk, codec::FilterDirection::kDecode) != out)
    Fail("the x86 filter did not give the bytes back");
  return 0;
}
