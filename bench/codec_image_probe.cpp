// What the decoder adds to a Windows program: bench/codec.sh builds this
// twice with the program image's flags, with and without WITH_DECODER, and
// compares the sizes. Both read a file and write bytes to stdout; only one
// decodes them (and runs them through the x86 filter) on the way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef WITH_DECODER
#include "codec/lzma_decoder.h"
#include "codec/range_filter.h"
#endif

int main(int argc, char **argv) {
  if (argc != 3)
    return 64;
  std::FILE *in = std::fopen(argv[1], "rb");
  if (in == nullptr)
    return 1;
  std::vector<uint8_t> chunk(1 << 16);
  std::vector<uint8_t> out(chunk.size() + 4);
#ifdef WITH_DECODER
  codec::LzmaDecoder decoder(std::strtoull(argv[2], nullptr, 10));
  const codec::ByteRange range{0, UINT64_MAX};
  codec::RangeFilter filter(&range, 1, codec::FilterDirection::kDecode);
  std::vector<uint8_t> raw(chunk.size());
#endif
  for (;;) {
    const size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
    if (n == 0)
      break;
#ifdef WITH_DECODER
    size_t used = 0;
    codec::DecodeStep step{};
    do {
      step = decoder.Decode(&chunk[used], n - used, raw.data(), raw.size());
      used += step.consumed;
      std::fwrite(out.data(), 1,
                  filter.Convert(raw.data(), step.produced, out.data()),
                  stdout);
    } while (step.status == codec::DecodeStatus::kMore &&
             (used < n || step.produced == raw.size()));
#else
    std::fwrite(chunk.data(), 1, n, stdout);
#endif
  }
#ifdef WITH_DECODER
  std::fwrite(out.data(), 1, filter.Finish(out.data()), stdout);
  return decoder.Finish() == codec::DecodeStatus::kDone ? 0 : 1;
#else
  return 0;
#endif
}
