// CRC-32, sliced by sixteen.
#include "package/crc32.h"

#include <array>

namespace package {

namespace {

// Slicing by sixteen: sixteen tables, sixteen bytes a step.
constexpr size_t kSlices = 16;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// Filled on first use rather than by the compiler: 16 KB of tables that the
// program image would otherwise carry as data take no room there.
const Tables &CrcTables() {
  static Tables t;
  static bool built = false;
  if (built)
    return t;
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (size_t k = 1; k < kSlices; ++k)
      t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  built = true;
  return t;
}

} // namespace

uint32_t Crc32(uint32_t crc, const uint8_t *bytes, size_t count) {
  const Tables &t = CrcTables();
  crc = ~crc;
  while (count >= kSlices) {
    const uint32_t low = crc ^ (static_cast<uint32_t>(bytes[0]) |
                                static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
    uint32_t next = t[15][low & 0xFF] ^ t[14][(low >> 8) & 0xFF] ^
                    t[13][(low >> 16) & 0xFF] ^ t[12][low >> 24];
    for (size_t k = 4; k < kSlices; ++k)
      next ^= t[kSlices - 1 - k][bytes[k]];
    crc = next;
    bytes += kSlices;
    count -= kSlices;
  }
  while (count-- > 0)
    crc = t[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

} // namespace package
