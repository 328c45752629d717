// Tables of text pairs (a key and its text) as the program image carries
// them: every string one after the other, each ending in a null, and where
// each pair begins. The table they are made from is read only while
// compiling, so the image holds neither its pointers nor their
// relocations.
//
// A Russian letter (U+0410 to U+044F) takes one byte there instead of two:
// 0x80 plus its place among them, a byte that UTF-8 has only after a lead
// byte, so that every other character stays UTF-8 as written. Most of the
// program's texts are Russian; this takes 3 KB off the image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// The text packed right after key, as the UTF-8 it was packed from.
std::string UnpackedAfter(const char *key);

template <size_t Count, size_t Size> struct PackedPairs {
  std::array<char, Size> bytes{};
  std::array<uint16_t, Count> at{};

  // The key, ASCII and so packed as it is.
  const char *First(size_t k) const { return bytes.data() + at[k]; }
  // Whether the key of pair k is key; read up to its end and no further.
  bool FirstIs(size_t k, std::string_view key) const {
    const char *first = First(k);
    for (const char c : key)
      if (*first == '\0' || *first++ != c)
        return false;
    return *first == '\0';
  }
  // The text, unpacked.
  std::string Second(size_t k) const { return UnpackedAfter(First(k)); }
};

using TextPair = std::pair<const char *, const char *>;

namespace packed {

// The byte that packs the Russian letter whose UTF-8 starts at text[i];
// 0 when none does.
constexpr char LetterAt(const char *text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead != 0xD0 && lead != 0xD1)
    return 0;
  const unsigned code =
      ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
  return code >= 0x410 && code <= 0x44F
             ? static_cast<char>(0x80 + (code - 0x410))
             : static_cast<char>(0);
}

// The bytes text takes packed, without its null.
constexpr size_t Length(const char *text) {
  size_t n = 0;
  for (size_t i = 0; text[i] != '\0'; ++i, ++n)
    if (LetterAt(text, i) != 0)
      ++i;
  return n;
}

// The bytes that pairs take packed.
template <size_t Count>
constexpr size_t SizeOf(const std::array<TextPair, Count> &pairs) {
  size_t n = 0;
  for (const TextPair &pair : pairs)
    n += Length(pair.first) + 1 + Length(pair.second) + 1;
  return n;
}

template <size_t Size, size_t Count>
constexpr PackedPairs<Count, Size>
Pack(const std::array<TextPair, Count> &pairs) {
  static_assert(Size <= UINT16_MAX, "a pair's place fits 16 bits");
  PackedPairs<Count, Size> packed;
  size_t n = 0;
  for (size_t k = 0; k < Count; ++k) {
    packed.at[k] = static_cast<uint16_t>(n);
    for (const char *text : {pairs[k].first, pairs[k].second}) {
      for (size_t i = 0; text[i] != '\0'; ++i) {
        const char letter = LetterAt(text, i);
        packed.bytes[n++] = letter != 0 ? letter : text[i];
        i += letter != 0 ? 1 : 0;
      }
      packed.bytes[n++] = '\0';
    }
  }
  return packed;
}

} // namespace packed

} // namespace platform
