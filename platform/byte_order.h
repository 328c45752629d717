// Little-endian fields in byte buffers, both ways, never by overlaying a
// struct; the caller checks that the bytes are there. The one set for every
// format of the system (the package's, the compressed stream's).
#pragma once

#include <cstdint>

namespace platform {

inline uint16_t ReadLE16(const uint8_t *bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t ReadLE32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteLE16(uint8_t *bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLE32(uint8_t *bytes, uint32_t value) {
  for (int k = 0; k < 4; ++k)
    bytes[k] = static_cast<uint8_t>(value >> (8 * k));
}

} // namespace platform
