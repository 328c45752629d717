// The x86 branch filter: windows converted as the rule says, and exact
// round trips of any bytes, in any pieces, one range or many.
#include <gtest/gtest.h>

#include <vector>

#include "codec/range_filter.h"
#include "codec/x86_filter.h"

namespace {

using codec::ByteRange;
using codec::FilterDirection;
using Bytes = std::vector<uint8_t>;

// Bytes full of would-be windows: E8, E9, 00 and FF, with random ones among
// them.
Bytes CallHeavy(size_t size, uint64_t seed) {
  Bytes bytes(size);
  for (uint8_t &b : bytes) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const uint8_t pick[] = {0xE8, 0xE9, 0x00, 0xFF,
                            static_cast<uint8_t>(seed >> 40)};
    b = pick[(seed >> 33) % 5];
  }
  return bytes;
}

// The filter fed chunk bytes at a time, then finished.
template <typename Filter>
Bytes Stream(Filter filter, const Bytes &in, size_t chunk) {
  Bytes out(in.size() + Filter::kMaxHeld);
  size_t written = 0;
  for (size_t at = 0; at < in.size(); at += chunk) {
    const size_t n = std::min(chunk, in.size() - at);
    const size_t made = filter.Convert(in.data() + at, n, out.data() + written);
    EXPECT_LE(made, n + Filter::kMaxHeld);
    written += made;
  }
  written += filter.Finish(out.data() + written);
  EXPECT_EQ(written, in.size());
  out.resize(written);
  return out;
}

// The whole range at once.
Bytes Whole(const Bytes &in, FilterDirection direction) {
  return Stream(codec::X86Filter(direction), in, in.size() + 1);
}

struct Window {
  const char *name;
  size_t lead; // zero bytes in front: the window's position in the range
  Bytes plain;
  Bytes encoded;
};

void PrintTo(const Window &c, std::ostream *os) { *os << c.name; }

class X86Windows : public ::testing::TestWithParam<Window> {};

TEST_P(X86Windows, ConvertBothWays) {
  const Window &w = GetParam();
  Bytes plain(w.lead, 0);
  plain.insert(plain.end(), w.plain.begin(), w.plain.end());
  const Bytes encoded = Whole(plain, FilterDirection::kEncode);
  EXPECT_EQ(
      Bytes(encoded.begin() + static_cast<ptrdiff_t>(w.lead), encoded.end()),
      w.encoded);
  EXPECT_EQ(Whole(encoded, FilterDirection::kDecode), plain);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, X86Windows,
    ::testing::Values(
        // The next instruction is at 5: displacement 0 becomes 5.
        Window{"Call", 0, {0xE8, 0, 0, 0, 0}, {0xE8, 5, 0, 0, 0}},
        Window{"JumpBackToPositionZero",
               0,
               {0xE9, 0xFB, 0xFF, 0xFF, 0xFF},
               {0xE9, 0, 0, 0, 0}},
        Window{"PositionInTheRange",
               0x100,
               {0xE8, 0, 0, 0, 0},
               {0xE8, 5, 1, 0, 0}},
        // 0x00FFFFFF + 5 passes bit 24: sign-extended, FF000004.
        Window{"WrapsAtBit25",
               0,
               {0xE8, 0xFF, 0xFF, 0xFF, 0x00},
               {0xE8, 0x04, 0x00, 0x00, 0xFF}},
        Window{"TopByteNeither00NorFF",
               0,
               {0xE8, 0, 0, 0, 0x12},
               {0xE8, 0, 0, 0, 0x12}},
        Window{"CutShortByTheEnd",
               0,
               {0x90, 0xE8, 0, 0, 0},
               {0x90, 0xE8, 0, 0, 0}},
        // A converted window is passed whole: the E8 inside is data.
        Window{"ScanSkipsAConvertedWindow",
               0,
               {0xE8, 0xE8, 0, 0, 0, 0, 0},
               {0xE8, 0xED, 0, 0, 0, 0, 0}},
        // An E8 that is no window (top byte 12) keeps the next three bytes
        // from starting one...
        Window{"NoWindowRightAfterANonWindow",
               0,
               {0xE8, 0x11, 0xE8, 0, 0x12, 0, 0},
               {0xE8, 0x11, 0xE8, 0, 0x12, 0, 0}},
        // ...but not the fourth.
        Window{"AWindowFourBytesAfterANonWindow",
               0,
               {0xE8, 0x11, 0x22, 0x33, 0xE8, 0, 0, 0, 0},
               {0xE8, 0x11, 0x22, 0x33, 0xE8, 9, 0, 0, 0}}),
    [](const auto &info) { return info.param.name; });

TEST(X86Filter, AnyBytesInAnyPiecesComeBackExactly) {
  for (size_t size : {0, 1, 4, 5, 6, 1000, 100000}) {
    const Bytes plain = CallHeavy(size, size);
    const Bytes encoded = Whole(plain, FilterDirection::kEncode);
    if (size >= 1000) {
      EXPECT_NE(encoded, plain); // there was something to convert
    }
    for (size_t chunk : {1, 2, 3, 4, 5, 6, 7, 11, 4096}) {
      SCOPED_TRACE(testing::Message() << size << " in pieces of " << chunk);
      EXPECT_EQ(
          Stream(codec::X86Filter(FilterDirection::kEncode), plain, chunk),
          encoded);
      EXPECT_EQ(
          Stream(codec::X86Filter(FilterDirection::kDecode), encoded, chunk),
          plain);
    }
  }
}

TEST(RangeFilter, FiltersEachRangeOnItsOwnAndPassesTheRest) {
  const Bytes plain = CallHeavy(10000, 99);
  // Touching, empty, and reaching the stream's end.
  const ByteRange ranges[] = {
      {0, 100}, {100, 0}, {100, 53}, {500, 3001}, {9000, 1000}};
  ASSERT_TRUE(codec::RangesInOrder(ranges, std::size(ranges), plain.size()));
  Bytes expected = plain;
  for (const ByteRange &r : ranges) {
    const auto begin = plain.begin() + static_cast<ptrdiff_t>(r.offset);
    const Bytes range =
        Whole(Bytes(begin, begin + static_cast<ptrdiff_t>(r.length)),
              FilterDirection::kEncode);
    std::copy(range.begin(), range.end(),
              expected.begin() + static_cast<ptrdiff_t>(r.offset));
  }
  ASSERT_NE(expected, plain);
  for (size_t chunk : {1, 3, 7, 4096, 10000}) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(Stream(codec::RangeFilter(ranges, std::size(ranges),
                                        FilterDirection::kEncode),
                     plain, chunk),
              expected);
    EXPECT_EQ(Stream(codec::RangeFilter(ranges, std::size(ranges),
                                        FilterDirection::kDecode),
                     expected, chunk),
              plain);
  }
}

TEST(RangeFilter, RangesInOrderOnlyWhenAscendingDisjointAndInside) {
  struct Case {
    std::vector<ByteRange> ranges;
    bool inOrder;
  } const cases[] = {
      {{}, true},
      {{{0, 10}, {10, 5}}, true},
      {{{0, 0}, {15, 0}}, true},
      {{{0, 10}, {9, 1}}, false},
      {{{10, 1}, {0, 1}}, false},
      {{{0, 16}}, false},
      {{{1, UINT64_MAX}}, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(codec::RangesInOrder(c.ranges.data(), c.ranges.size(), 15),
              c.inOrder)
        << c.ranges.size();
}

} // namespace
