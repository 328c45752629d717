// The packed text tables: a Russian letter takes one byte, every other
// character stays UTF-8, and each text unpacks to exactly what was packed.
#include "platform/packed_pairs.h"

#include <gtest/gtest.h>

namespace {

using platform::TextPair;

// Each text with the number of its letters that pack into one byte.
constexpr std::array<TextPair, 8> kTable = {{
    {"ascii", "Plain {1} text\r\n"},
    {"bounds", "АЯаяЁё"},      // U+0410, U+042F, U+0430, U+044F; Ё, ё stay
    {"quotes", "«файл» — №1"}, // 0xAB and 0xBB follow a lead byte
    {"three", "€ и ‰"},        // three-byte characters
    {"four", "😀я😀"},           // four-byte characters
    {"neighbours", "ЀЏѐѠ"},    // U+0400, U+040F, U+0450, U+0460 stay
    {"latin", "Ñoño ÀÿĀ"},     // lead bytes C3 and C4
    {"empty", ""},
}};
constexpr size_t kLetters[] = {0, 4, 4, 1, 1, 0, 0, 0};

constexpr auto kPacked =
    platform::packed::Pack<platform::packed::SizeOf(kTable)>(kTable);

TEST(PackedPairs, EveryTextUnpacksToWhatWasPacked) {
  for (size_t k = 0; k < kTable.size(); ++k) {
    EXPECT_STREQ(kPacked.First(k), kTable[k].first);
    EXPECT_EQ(kPacked.Second(k), kTable[k].second) << kTable[k].first;
  }
}

// A key matches itself only: not a part of it, not more, not itself with
// the null that ends it.
TEST(PackedPairs, AKeyIsMatchedWhole) {
  for (size_t k = 0; k < kTable.size(); ++k) {
    const std::string_view key = kTable[k].first;
    EXPECT_TRUE(kPacked.FirstIs(k, key)) << key;
    EXPECT_FALSE(kPacked.FirstIs(k, key.substr(0, key.size() - 1))) << key;
    EXPECT_FALSE(kPacked.FirstIs(k, std::string(key) + "s")) << key;
    EXPECT_FALSE(kPacked.FirstIs(k, std::string(key) + '\0' + "x")) << key;
    EXPECT_FALSE(kPacked.FirstIs(k, kTable[(k + 1) % kTable.size()].first));
  }
}

TEST(PackedPairs, ARussianLetterTakesOneByte) {
  size_t utf8 = 0;
  size_t letters = 0;
  for (size_t k = 0; k < kTable.size(); ++k) {
    EXPECT_EQ(platform::packed::Length(kTable[k].second),
              std::string_view(kTable[k].second).size() - kLetters[k])
        << kTable[k].first;
    utf8 += std::string_view(kTable[k].first).size() + 1 +
            std::string_view(kTable[k].second).size() + 1;
    letters += kLetters[k];
  }
  EXPECT_EQ(kPacked.bytes.size(), utf8 - letters);
}

} // namespace
