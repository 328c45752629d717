// The LZMA stream: encoder and decoder against each other in memory, every
// chunking, damaged and cut streams, and the limits the decoder holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "codec/lzma_decoder.h"
#include "codec/lzma_encoder.h"
#include "package/crc32.h"

#include "LzmaEnc.h"
#include "codec/sdk_allocator.h"

namespace {

using codec::DecodeStatus;
using codec::EncodeStatus;
using Bytes = std::vector<uint8_t>;

// Deterministic bytes: random, or text-like runs of a few words.
Bytes Random(size_t size, uint64_t seed) {
  Bytes bytes(size);
  for (uint8_t &b : bytes) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

Bytes Compressible(size_t size, uint64_t seed) {
  static const char *const words[] = {"update ", "quorix ", "1.1 ",
                                      "install\r\n", "pack "};
  const Bytes dice = Random(size, seed);
  Bytes bytes;
  for (size_t i = 0; bytes.size() < size; ++i)
    for (const char *c = words[dice[i] % 5]; *c && bytes.size() < size; ++c)
      bytes.push_back(static_cast<uint8_t>(*c));
  return bytes;
}

// Hands out raw from at on.
codec::Source SourceOf(const Bytes &raw, size_t &at) {
  return [&raw, &at](uint8_t *buffer, size_t size) {
    size = std::min(size, raw.size() - at);
    if (size > 0)
      std::memcpy(buffer, raw.data() + at, size);
    at += size;
    return size;
  };
}

Bytes Compress(const Bytes &raw, int level = 5) {
  Bytes stream;
  size_t at = 0;
  const EncodeStatus status =
      codec::Encode(raw.size(), level, SourceOf(raw, at),
                    [&](const uint8_t *bytes, size_t size) {
                      stream.insert(stream.end(), bytes, bytes + size);
                    });
  EXPECT_EQ(status, EncodeStatus::kOk);
  return stream;
}

struct Decoded {
  DecodeStatus status;
  Bytes out;
  bool stalled = false; // input left and room free, yet nothing moved
};

// Decodes stream as a reader of a package would: inChunk bytes at a time,
// into an output buffer of outChunk bytes.
Decoded Decompress(const Bytes &stream, uint64_t rawLength, size_t inChunk,
                   size_t outChunk, uint64_t restart = 0) {
  codec::LzmaDecoder decoder(rawLength, restart);
  Decoded result{DecodeStatus::kMore, {}};
  Bytes room(outChunk);
  for (size_t at = 0; at < stream.size();) {
    const size_t n = std::min(inChunk, stream.size() - at);
    size_t used = 0;
    codec::DecodeStep step{};
    do {
      step = decoder.Decode(stream.data() + at + used, n - used, room.data(),
                            outChunk);
      used += step.consumed;
      result.out.insert(result.out.end(), room.begin(),
                        room.begin() + static_cast<ptrdiff_t>(step.produced));
      if (step.status == DecodeStatus::kMore && step.consumed == 0 &&
          step.produced == 0 && used < n) {
        result.stalled = true;
        return result;
      }
    } while (step.status == DecodeStatus::kMore &&
             (used < n || step.produced == outChunk));
    at += n;
    if (step.status != DecodeStatus::kMore &&
        step.status != DecodeStatus::kDone) {
      result.status = step.status;
      return result;
    }
  }
  result.status = decoder.Finish();
  return result;
}

// ---- Round trips ----------------------------------------------------------

struct RoundTrip {
  const char *name;
  size_t size;
  bool random;
};

void PrintTo(const RoundTrip &c, std::ostream *os) { *os << c.name; }

class LzmaRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(LzmaRoundTrip, EveryChunkingGivesTheBytesBack) {
  const RoundTrip &c = GetParam();
  const Bytes raw = c.random ? Random(c.size, 7) : Compressible(c.size, 7);
  const Bytes stream = Compress(raw);
  if (!c.random && c.size > 1000) {
    EXPECT_LT(stream.size(), raw.size() / 4);
  }
  // Single bytes, primes on either side, and all at once.
  const size_t chunks[] = {1, 7, 4099, stream.size() + raw.size() + 1};
  for (size_t in : chunks)
    for (size_t out : chunks) {
      if ((in == 1 || out == 1) && raw.size() > 100000)
        continue; // a million calls prove no more than 7 bytes a call do
      SCOPED_TRACE(testing::Message() << "in " << in << " out " << out);
      const Decoded d = Decompress(stream, raw.size(), in, out);
      EXPECT_FALSE(d.stalled);
      EXPECT_EQ(d.status, DecodeStatus::kDone);
      EXPECT_TRUE(d.out == raw);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LzmaRoundTrip,
    ::testing::Values(RoundTrip{"Empty", 0, false}, RoundTrip{"One", 1, true},
                      RoundTrip{"Small", 300, false},
                      RoundTrip{"RandomMegabyte", 1 << 20, true},
                      RoundTrip{"TextMegabyte", 1 << 20, false}),
    [](const auto &info) { return info.param.name; });

TEST(LzmaLevels, EveryLevelRoundTripsAndHigherOnesAreNotLarger) {
  const Bytes raw = Compressible(200000, 3);
  size_t fastest = 0;
  for (int level = 0; level <= codec::kMaxLevel; ++level) {
    SCOPED_TRACE(level);
    const Bytes stream = Compress(raw, level);
    const Decoded d = Decompress(stream, raw.size(), 65536, 65536);
    EXPECT_EQ(d.status, DecodeStatus::kDone);
    EXPECT_TRUE(d.out == raw);
    if (level == 0)
      fastest = stream.size();
    EXPECT_LE(stream.size(), fastest);
  }
}

// ---- The stream's shape ---------------------------------------------------

TEST(LzmaStream, EveryCutIsAnErrorAndNeverMoreThanDeclared) {
  const Bytes raw = Compressible(3000, 5);
  const Bytes stream = Compress(raw);
  for (size_t chunk : {size_t{1}, stream.size()})
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      SCOPED_TRACE(testing::Message() << "cut " << cut << " chunk " << chunk);
      const Bytes part(stream.begin(),
                       stream.begin() + static_cast<ptrdiff_t>(cut));
      const Decoded d = Decompress(part, raw.size(), chunk, 512);
      EXPECT_FALSE(d.stalled);
      EXPECT_TRUE(d.status == DecodeStatus::kTruncated ||
                  d.status == DecodeStatus::kCorrupt);
      EXPECT_LE(d.out.size(), raw.size());
      EXPECT_TRUE(std::equal(d.out.begin(), d.out.end(), raw.begin()));
    }
}

TEST(LzmaStream, BytesAfterTheEndAreAnError) {
  const Bytes raw = Compressible(3000, 5);
  for (size_t extra : {1, 2, 25}) {
    Bytes stream = Compress(raw);
    stream.insert(stream.end(), extra, 0);
    for (size_t chunk : {size_t{1}, stream.size()})
      EXPECT_EQ(Decompress(stream, raw.size(), chunk, 4096).status,
                DecodeStatus::kCorrupt)
          << extra << " extra, chunk " << chunk;
  }
}

TEST(LzmaStream, ADeclaredLengthOtherThanTheRealOneIsAnError) {
  const Bytes raw = Compressible(3000, 9);
  const Bytes stream = Compress(raw);
  for (int64_t delta : {-3000, -1000, -1, 1, 1000}) {
    const uint64_t declared = raw.size() + delta;
    const Decoded d = Decompress(stream, declared, 4096, 4096);
    EXPECT_EQ(d.status, DecodeStatus::kCorrupt) << delta;
    EXPECT_LE(d.out.size(), declared) << delta;
  }
}

// Flipped bits: the decoder refuses most; what it takes decodes either to the
// original bytes (a flip in the dictionary size that the data never needed)
// or to other bytes of the declared length, which the caller's CRC-32 finds.
TEST(LzmaStream, AFlippedBitIsRefusedOrCaughtByTheCrc) {
  const Bytes raw = Compressible(2000, 11);
  const Bytes stream = Compress(raw);
  const uint32_t crc = package::Crc32(0, raw.data(), raw.size());
  size_t refused = 0;
  size_t caughtByCrc = 0;
  for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
    Bytes damaged = stream;
    damaged[bit / 8] ^= static_cast<uint8_t>(1u << bit % 8);
    const Decoded d = Decompress(damaged, raw.size(), 64, 4096);
    EXPECT_FALSE(d.stalled);
    EXPECT_LE(d.out.size(), raw.size());
    if (d.status != DecodeStatus::kDone) {
      ++refused;
      continue;
    }
    ASSERT_EQ(d.out.size(), raw.size());
    if (d.out == raw) {
      EXPECT_TRUE(bit / 8 >= 1 && bit / 8 <= 4) << "bit " << bit;
    } else {
      EXPECT_NE(package::Crc32(0, d.out.data(), d.out.size()), crc);
      ++caughtByCrc;
    }
  }
  // Most damage is found by the decoder itself.
  EXPECT_GT(refused, 4 * caughtByCrc);
}

// A stream as other writers make it, without the end marker, by the SDK's
// one-call encoder.
Bytes CompressWithoutEndMarker(const Bytes &raw) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.dictSize = 1 << 16;
  Bytes stream(codec::kPropertiesSize + raw.size() + raw.size() / 2 + 1024);
  SizeT size = stream.size() - codec::kPropertiesSize;
  SizeT headerSize = codec::kPropertiesSize;
  EXPECT_EQ(LzmaEncode(stream.data() + codec::kPropertiesSize, &size,
                       raw.data(), raw.size(), &props, stream.data(),
                       &headerSize, 0, nullptr, &codec::sdk::gAllocator,
                       &codec::sdk::gAllocator),
            SZ_OK);
  stream.resize(codec::kPropertiesSize + size);
  return stream;
}

TEST(LzmaStream, AStreamWithoutTheEndMarkerIsAnError) {
  const Bytes raw = Compressible(3000, 5);
  for (size_t extra : {0, 1, 30}) {
    Bytes stream = CompressWithoutEndMarker(raw);
    stream.insert(stream.end(), extra, 0x55);
    for (size_t chunk : {size_t{1}, stream.size()}) {
      const Decoded d = Decompress(stream, raw.size(), chunk, 4096);
      EXPECT_FALSE(d.stalled) << extra << " extra, chunk " << chunk;
      EXPECT_EQ(d.status, DecodeStatus::kCorrupt)
          << extra << " extra, chunk " << chunk;
    }
  }
}

// ---- The header -----------------------------------------------------------

TEST(LzmaHeader, TheDictionaryIsNoLargerThanDeclaredNorThanTheData) {
  struct Case {
    uint32_t declared;
    uint64_t raw;
    size_t bytes;
  } const cases[] = {
      {64u << 20, 5000, 5000},
      {64u << 20, 0, 1},
      {8192, 1 << 20, 8192},
      {100, 1 << 20, 4096}, // the format's least
  };
  for (const Case &c : cases) {
    codec::LzmaDecoder decoder(c.raw);
    EXPECT_EQ(decoder.DictionaryBytes(), 0u);
    const uint8_t header[] = {93, static_cast<uint8_t>(c.declared),
                              static_cast<uint8_t>(c.declared >> 8),
                              static_cast<uint8_t>(c.declared >> 16),
                              static_cast<uint8_t>(c.declared >> 24)};
    EXPECT_EQ(decoder.Decode(header, sizeof header, nullptr, 0).status,
              DecodeStatus::kMore);
    EXPECT_EQ(decoder.DictionaryBytes(), c.bytes) << c.declared << " " << c.raw;
  }
}

struct HeaderCase {
  const char *name;
  uint8_t lcLpPb;
  uint32_t dictionary;
  DecodeStatus status;
};

void PrintTo(const HeaderCase &c, std::ostream *os) { *os << c.name; }

class LzmaHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(LzmaHeader, IsCheckedBeforeAnythingIsAllocated) {
  const HeaderCase &c = GetParam();
  const Bytes raw = Compressible(5000, 13);
  Bytes stream = Compress(raw);
  stream[0] = c.lcLpPb;
  for (int i = 0; i < 4; ++i)
    stream[1 + i] = static_cast<uint8_t>(c.dictionary >> (8 * i));
  const Decoded d = Decompress(stream, raw.size(), 3, 4096);
  EXPECT_EQ(d.status, c.status);
  if (c.status == DecodeStatus::kDone) {
    EXPECT_TRUE(d.out == raw);
  } else {
    EXPECT_TRUE(d.out.empty());
  }
}

// The encoder writes lc 3, lp 0, pb 2: (2 * 5 + 0) * 9 + 3 = 93.
INSTANTIATE_TEST_SUITE_P(
    Cases, LzmaHeader,
    ::testing::Values(
        HeaderCase{"Sound", 93, 1u << 13, DecodeStatus::kDone},
        HeaderCase{"LargestDictionary", 93, 64u << 20, DecodeStatus::kDone},
        HeaderCase{"DictionaryAboveTheLargest", 93, (64u << 20) + 1,
                   DecodeStatus::kDictionaryTooLarge},
        HeaderCase{"HugeDictionary", 93, 0xFFFFFFFF,
                   DecodeStatus::kDictionaryTooLarge},
        HeaderCase{"NoLcLpPb", 225, 1u << 13, DecodeStatus::kBadProperties},
        // lc 4, lp 1: 4 + 1 > 4.
        HeaderCase{"LcPlusLpAboveFour", (2 * 5 + 1) * 9 + 4, 1u << 13,
                   DecodeStatus::kBadProperties}),
    [](const auto &info) { return info.param.name; });

// ---- The encoder ----------------------------------------------------------

TEST(LzmaEncoder, DictionaryFollowsTheLevelAndTheData) {
  struct Case {
    int level;
    uint64_t raw;
    uint32_t dictionary;
  } const cases[] = {
      {9, 0, 4096},
      {9, 5000, 5000},
      {9, 1u << 20, 1u << 20},
      {9, (1u << 20) + 1, (1u << 20) + 1},
      {9, 1ull << 31, 64u << 20},
      {7, 64u << 20, 64u << 20},
      {0, 1ull << 31, 64u << 10},
      {6, 44646400, 44646400},
      {6, 1ull << 31, 64u << 20},
      {5, 1ull << 31, 8u << 20},
  };
  for (const Case &c : cases)
    EXPECT_EQ(codec::DictionarySize(c.level, c.raw), c.dictionary)
        << c.level << " " << c.raw;
  // The header carries it, rounded up to 2^n or 3 * 2^(n-1).
  const Bytes stream = Compress(Compressible(5000, 1), 9);
  EXPECT_EQ(stream[0], 93);
  EXPECT_EQ(stream[1] | stream[2] << 8 | stream[3] << 16 | stream[4] << 24,
            6144);
}

TEST(LzmaEncoder, RefusesASourceOfAnotherLengthAndABadLevel) {
  const Bytes raw = Compressible(100000, 2);
  for (int64_t delta : {-1, 1, 5000}) {
    size_t at = 0;
    const EncodeStatus status =
        codec::Encode(raw.size() + delta, 5, SourceOf(raw, at),
                      [](const uint8_t *, size_t) {});
    EXPECT_EQ(status, EncodeStatus::kWrongLength) << delta;
  }
  for (int level : {-1, codec::kMaxLevel + 1})
    EXPECT_EQ(codec::Encode(
                  0, level, [](uint8_t *, size_t) { return size_t{0}; },
                  [](const uint8_t *, size_t) {}),
              EncodeStatus::kBadLevel);
}

TEST(LzmaEncoder, ACallbacksExceptionComesOut) {
  const Bytes raw = Random(300000, 4);
  enum Thrower { kSource, kSink, kProgress };
  // One part, or two, the second part's callbacks throwing (on a thread of
  // its own): the first part stops, and the exception comes out.
  for (const uint64_t restart : {0, 200000})
    for (Thrower thrower : {kSource, kSink, kProgress}) {
      size_t at[2] = {0, 0};
      size_t sources = 0;
      const size_t thrown = restart == 0 ? 0 : 1;
      uint64_t reported = 0;
      auto call = [&] {
        return codec::EncodeParts(
            raw.size(), 1, restart,
            [&]() -> codec::Source {
              const size_t part = sources++;
              const codec::Source source = SourceOf(raw, at[part]);
              return [&, part, source](uint8_t *buffer, size_t size) {
                if (thrower == kSource && part == thrown && at[part] > 0)
                  throw std::runtime_error("read");
                return source(buffer, size);
              };
            },
            [&](size_t part, const uint8_t *, size_t) {
              if (thrower == kSink && part == thrown && at[part] > 0)
                throw std::runtime_error("write");
            },
            [&](uint64_t rawDone, uint64_t) {
              EXPECT_GE(rawDone, reported);
              reported = rawDone;
              if (thrower == kProgress)
                throw std::runtime_error("progress");
            });
      };
      EXPECT_THROW(call(), std::runtime_error) << restart << " " << thrower;
    }
}

// ---- Streams in two parts ------------------------------------------------

Bytes CompressParts(const Bytes &raw, uint64_t restart, int level = 5,
                    EncodeStatus expected = EncodeStatus::kOk,
                    bool atOnce = true) {
  std::vector<Bytes> made(2);
  std::vector<size_t> at(2, 0);
  size_t sources = 0;
  const EncodeStatus status = codec::EncodeParts(
      raw.size(), level, restart,
      [&] { return SourceOf(raw, at.at(sources++)); },
      [&](size_t part, const uint8_t *bytes, size_t size) {
        made.at(part).insert(made[part].end(), bytes, bytes + size);
      },
      {}, atOnce);
  EXPECT_EQ(status, expected);
  Bytes stream = made[0];
  stream.insert(stream.end(), made[1].begin(), made[1].end());
  return stream;
}

// Text, random bytes, then the text again: the second part repeats the
// first.
Bytes ThreeKinds() {
  Bytes raw = Compressible(120000, 21);
  const Bytes random = Random(40000, 22);
  raw.insert(raw.end(), random.begin(), random.end());
  const Bytes text(raw.begin(), raw.begin() + 120000);
  raw.insert(raw.end(), text.begin(), text.end());
  return raw;
}

TEST(LzmaParts, EveryChunkingGivesTheBytesBack) {
  const Bytes raw = ThreeKinds();
  // Level 0's window is 64 KiB, so the decoder's dictionary wraps, at the
  // restart itself for 131072.
  const struct {
    int level;
    uint64_t restart;
  } cases[] = {{5, 0},      {5, 1},      {5, 150000},
               {5, 279999}, {0, 131072}, {0, 131073}};
  for (const auto &c : cases) {
    const Bytes stream = CompressParts(raw, c.restart, c.level);
    for (size_t in : {size_t{7}, size_t{4099}, stream.size()})
      for (size_t out : {size_t{13}, size_t{65536}}) {
        const Decoded d = Decompress(stream, raw.size(), in, out, c.restart);
        EXPECT_FALSE(d.stalled);
        EXPECT_EQ(d.status, DecodeStatus::kDone)
            << c.level << " " << c.restart << " " << in << " " << out;
        EXPECT_TRUE(d.out == raw);
      }
  }
}

// On a machine short of memory the parts are made one after the other: the
// same bytes, in less memory, progress told through the second part too.
TEST(LzmaParts, OneAfterTheOtherGivesTheSameStream) {
  const Bytes raw = ThreeKinds();
  for (const uint64_t restart : {0, 150000}) {
    EXPECT_TRUE(CompressParts(raw, restart, 5, EncodeStatus::kOk, false) ==
                CompressParts(raw, restart))
        << restart;
    EXPECT_EQ(codec::EncodeMemory(raw.size(), 5, restart, false) <
                  codec::EncodeMemory(raw.size(), 5, restart, true),
              restart > 0);
  }
  size_t at[2] = {0, 0};
  size_t sources = 0;
  uint64_t told = 0;
  EXPECT_EQ(codec::EncodeParts(
                raw.size(), 5, 150000,
                [&] { return SourceOf(raw, at[sources++]); },
                [](size_t, const uint8_t *, size_t) {},
                [&](uint64_t rawDone, uint64_t) { told = rawDone; }, false),
            EncodeStatus::kOk);
  EXPECT_GT(told, 150000u);
}

TEST(LzmaParts, TheSecondPartMatchesTheBytesBeforeIt) {
  // Random bytes twice: the second copy costs next to nothing only if its
  // part finds the first.
  const Bytes random = Random(200000, 5);
  Bytes raw(400000);
  std::copy(random.begin(), random.end(), raw.begin());
  std::copy(random.begin(), random.end(), raw.begin() + 200000);
  const Bytes stream = CompressParts(raw, 200000);
  EXPECT_LT(stream.size(), 200000u * 21 / 20);
  EXPECT_TRUE(Decompress(stream, raw.size(), 4096, 4096, 200000).out == raw);
}

TEST(LzmaParts, TheDecoderHoldsTheStreamToItsRestart) {
  const Bytes raw = ThreeKinds();
  const Bytes parted = CompressParts(raw, 150000);
  const Bytes whole = Compress(raw);
  const struct {
    const char *name;
    const Bytes &stream;
    uint64_t restart;
  } cases[] = {
      {"read as one part", parted, 0},
      {"the restart a byte early", parted, 149999},
      {"the restart a byte late", parted, 150001},
      {"one part read as two", whole, 150000},
  };
  for (const auto &c : cases) {
    const Decoded d = Decompress(c.stream, raw.size(), 4099, 65536, c.restart);
    EXPECT_EQ(d.status, DecodeStatus::kCorrupt) << c.name;
    EXPECT_LE(d.out.size(), raw.size()) << c.name;
  }
  // A restart at or past the end is none: no more than the raw length.
  for (const uint64_t restart : {raw.size(), raw.size() + 1}) {
    const Decoded d = Decompress(whole, raw.size(), 4099, 65536, restart);
    EXPECT_EQ(d.status, DecodeStatus::kDone);
    EXPECT_TRUE(d.out == raw);
  }
}

TEST(LzmaParts, TheEncoderRefusesABadRestartAndAShortSource) {
  const Bytes raw = Compressible(100000, 3);
  for (const uint64_t restart : {raw.size(), raw.size() + 1})
    CompressParts(raw, restart, 5, EncodeStatus::kBadRestart);
  // The second part drops the bytes before its window and finds the source
  // short.
  Bytes shorter = raw;
  shorter.resize(80000);
  std::vector<size_t> at(2, 0);
  size_t sources = 0;
  EXPECT_EQ(codec::EncodeParts(
                raw.size(), 0, 90000,
                [&] { return SourceOf(shorter, at.at(sources++)); },
                [](size_t, const uint8_t *, size_t) {}),
            EncodeStatus::kWrongLength);
}

TEST(LzmaParts, TheDefaultSplitsLargeStreamsOnly) {
  for (const uint64_t length :
       {uint64_t{0}, codec::kLeastSplit - 1, codec::kLeastSplit,
        uint64_t{44646400}, uint64_t{1} << 31}) {
    const uint64_t restart = codec::RestartOf(length, codec::kDefaultLevel);
    if (length < codec::kLeastSplit) {
      EXPECT_EQ(restart, 0u) << length;
    } else {
      // The second part also indexes the window before it: it is the
      // smaller one.
      EXPECT_GT(restart, length / 2) << length;
      EXPECT_LT(restart, length) << length;
    }
  }
}

} // namespace
