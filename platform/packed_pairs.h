// Tables of text pairs (a key and its text) as the program image carries
// them: every string one after the other, each ending in a null, and where
// each pair begins. The table they are made from is read only while
// compiling, so the image holds neither its pointers nor their
// relocations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

template <size_t Count, size_t Size> struct PackedPairs {
  std::array<char, Size> bytes{};
  std::array<uint16_t, Count> at{};

  const char *First(size_t k) const { return bytes.data() + at[k]; }
  const char *Second(size_t k) const {
    const char *first = First(k);
    return first + std::char_traits<char>::length(first) + 1;
  }
};

using TextPair = std::pair<const char *, const char *>;

namespace packed {

constexpr size_t Length(const char *text) {
  size_t n = 0;
  while (text[n] != '\0')
    ++n;
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
      for (size_t i = 0; text[i] != '\0'; ++i)
        packed.bytes[n++] = text[i];
      packed.bytes[n++] = '\0';
    }
  }
  return packed;
}

} // namespace packed

} // namespace platform
