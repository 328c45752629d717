// The codec as the program image builds it, under Windows: streams of the
// encoder decoded in pieces, through the x86 filter, and a cut stream.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/lzma_decoder.h"
#include "codec/lzma_encoder.h"
#include "codec/range_filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Text with calls in it: every 64th window an E8 with a small displacement.
Bytes Sample(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>("quorix update 1.1 "[i % 18]);
  for (size_t i = 0; i + 5 <= size; i += 64) {
    bytes[i] = 0xE8;
    bytes[i + 1] = static_cast<uint8_t>(i / 64);
    bytes[i + 2] = bytes[i + 3] = bytes[i + 4] = 0;
  }
  return bytes;
}

// raw through the filter and the encoder (in two parts when restart is not
// 0), then back through the decoder (chunk bytes at a time) and the filter.
codec::DecodeStatus RoundTrip(const Bytes &raw, size_t cut, size_t chunk,
                              Bytes &back, uint64_t restart = 0) {
  const codec::ByteRange range{0, raw.size()};
  codec::X86Filter encoder(codec::FilterDirection::kEncode);
  Bytes filtered(raw.size() + codec::X86Filter::kMaxHeld);
  size_t size = encoder.Convert(raw.data(), raw.size(), filtered.data());
  size += encoder.Finish(filtered.data() + size);
  filtered.resize(size);
  Bytes parts[2];
  size_t at[2] = {0, 0};
  size_t sources = 0;
  EXPECT_EQ(codec::EncodeParts(
                raw.size(), codec::kDefaultLevel, restart,
                [&]() -> codec::Source {
                  size_t *from = &at[sources++];
                  return [&filtered, from](uint8_t *buffer, size_t size) {
                    size = std::min(size, filtered.size() - *from);
                    std::memcpy(buffer, filtered.data() + *from, size);
                    *from += size;
                    return size;
                  };
                },
                [&](size_t part, const uint8_t *bytes, size_t size) {
                  parts[part].insert(parts[part].end(), bytes, bytes + size);
                }),
            codec::EncodeStatus::kOk);
  Bytes stream = parts[0];
  stream.insert(stream.end(), parts[1].begin(), parts[1].end());
  stream.resize(std::min(stream.size(), cut));

  codec::LzmaDecoder decoder(raw.size(), restart);
  codec::RangeFilter filter(&range, 1, codec::FilterDirection::kDecode);
  Bytes room(chunk);
  Bytes plain(chunk + codec::RangeFilter::kMaxHeld);
  for (size_t in = 0; in < stream.size();) {
    const size_t n = std::min(chunk, stream.size() - in);
    size_t used = 0;
    codec::DecodeStep step{};
    do {
      step = decoder.Decode(&stream[in + used], n - used, room.data(), chunk);
      used += step.consumed;
      const size_t made =
          filter.Convert(room.data(), step.produced, plain.data());
      back.insert(back.end(), plain.begin(), plain.begin() + made);
    } while (step.status == codec::DecodeStatus::kMore &&
             (used < n || step.produced == chunk));
    if (step.status != codec::DecodeStatus::kMore &&
        step.status != codec::DecodeStatus::kDone)
      return step.status;
    in += n;
  }
  const size_t made = filter.Finish(plain.data());
  back.insert(back.end(), plain.begin(), plain.begin() + made);
  return decoder.Finish();
}

TEST(CodecWin32, RoundTripsInPieces) {
  const Bytes raw = Sample(1 << 20);
  for (size_t chunk : {size_t{7}, size_t{65536}}) {
    Bytes back;
    EXPECT_EQ(RoundTrip(raw, SIZE_MAX, chunk, back),
              codec::DecodeStatus::kDone);
    EXPECT_TRUE(back == raw) << chunk;
  }
}

// Without threads the parts are made one after the other, the same bytes.
TEST(CodecWin32, AStreamInTwoPartsRoundTrips) {
  const Bytes raw = Sample(1 << 20);
  Bytes back;
  EXPECT_EQ(RoundTrip(raw, SIZE_MAX, 65536, back, 700000),
            codec::DecodeStatus::kDone);
  EXPECT_TRUE(back == raw);
}

TEST(CodecWin32, ACutStreamIsTruncated) {
  const Bytes raw = Sample(5000);
  Bytes back;
  EXPECT_EQ(RoundTrip(raw, 40, 4096, back), codec::DecodeStatus::kTruncated);
  EXPECT_LT(back.size(), raw.size());
}

} // namespace
